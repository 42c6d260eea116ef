// The system services the `sumbrel` command uses, behind one interface. Each service is
// implemented once per system (*_posix.cpp, *_windows.cpp) and the build links one set, so
// that the command's own code stays free of system calls.
#pragma once
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace HostOs {

// --- names -----------------------------------------------------------------

// Each job's folder beside its output starts so; walks pass over such folders, which only a
// job of an earlier, killed command leaves behind.
constexpr char kJobFolderPrefix[] = ".sumbrel-job-";
constexpr size_t kJobFolderPrefixLength = sizeof kJobFolderPrefix - 1;

// --- files (files_*.cpp) ---------------------------------------------------

// Names one file whatever path leads to it.
using FileIdentity = std::pair<uint64_t, uint64_t>;

enum class FileType { Regular, Folder, Other };

struct FileStatus {
  FileType type = FileType::Other;
  int64_t size = 0;
  FileIdentity identity;
};

// The status of the file `path` opens (links followed), looked at through an open handle, so
// that a FIFO is refused rather than waited on. False with "cannot open: reason" or "cannot
// read: reason" in `error`.
bool OpenedStatus(const std::string& path, FileStatus& status, std::string& error);
// The status of `path` itself (a link is not followed); false when there is nothing there.
bool OwnStatus(const std::string& path, FileStatus& status);
// The status of `path` with links followed; false when it cannot be looked at.
bool Status(const std::string& path, FileStatus& status);
// Reads up to `count` bytes from the start of a regular file. False with the reason ("cannot
// open: ...", "is a folder", "is not a regular file", "cannot read: ...") in `error`.
bool ReadFileStart(const std::string& path, unsigned char* bytes, size_t count, size_t& have,
                   int64_t& size, std::string& error);

// The folder's absolute, resolved name; false when it cannot be found.
bool ResolvedFolder(const std::string& folder, std::string& resolved);

// The folder for the command's private files (TMPDIR, else the system's).
std::string TemporaryBase();
// Creates a new folder `prefix` + a unique ending; false with the reason in `error`.
bool MakeUniqueFolder(const std::string& prefix, std::string& folder, std::string& error);
// Creates a new, empty file `prefix` + a unique part + `suffix`; false with the reason.
bool MakeUniqueFile(const std::string& prefix, const char* suffix, std::string& path,
                    std::string& error);
// A new, empty file in `folder` named after `name`. The suffix keeps the extension the library
// looks at. False with the reason in `error`. (files.cpp: the same on every system.)
bool MakeTempIn(const std::string& folder, const std::string& name, const char* suffix,
                std::string& temp, std::string& error);
// Removes a folder and everything in it; failures are ignored.
void RemoveTree(const std::string& folder);
// Removes a file; false with the reason in `reason` (when given) on a failure.
bool RemoveFile(const std::string& path, std::string* reason = nullptr);
// The reason of the last failed call, as the system words it.
std::string LastReason();
// How the system words a full disk ("No space left on device").
std::string DiskFullReason();

// The file's size, or -1 when it cannot be looked at.
int64_t FileSize(const std::string& path);
// True when the file system that holds `folder` has at least `bytes` free for this user.
bool RoomFor(const std::string& folder, int64_t bytes);

// Moves the finished file `temp` to `output`. With a non-empty `attributesFrom` it takes that
// file's time and permissions first; with `durable` it reaches the disk before the call
// returns. Without `force` an output that exists is kept. False with the message in `error`
// (the temporary file is then still there).
bool PlaceFile(const std::string& temp, const std::string& output,
               const std::string& attributesFrom, bool force, bool durable, std::string& error);

// The library takes only names ending in the lower-case `extension`. Gives in `name` a name of
// that form for the file `input`, made in `folder` when one must be made (then `made` is that
// name, to be removed after the job); false with the reason in `error`.
bool NameForLibrary(const std::string& input, const char* extension, const std::string& folder,
                    std::string& name, std::string& made, std::string& error);

// The file creation mask at start-up, so that outputs get the permissions a plain create gives.
void RememberCreationMask();

// --- folder walks (walk_*.cpp) ---------------------------------------------

// Every regular file below `root` (links to files taken, links to folders not followed) for
// which `take(path)` holds, unsorted, named as `root` + separator + the rest; what cannot be
// read goes to `errors` as path and reason.
void WalkFolder(const std::string& root, bool (*take)(const std::string& path, const char* extension),
                const char* extension, std::vector<std::string>& found,
                std::vector<std::pair<std::string, std::string>>& errors);

// --- console and standard streams (console_*.cpp) --------------------------

enum class Stream { Input, Output, Error };

bool IsTerminal(Stream stream);
// The width of the console that standard error shows, 80 when it cannot be told.
int TerminalColumns();
// Draws `line` in place of the status line on standard error, and removes it.
void ShowStatusLine(const std::string& line);
void ClearStatusLine();
// Copies all of standard input to a new file `path`, and all of `path` to standard output.
bool SpoolStandardInput(const std::string& path, std::string& error);
bool SendToStandardOutput(const std::string& path, std::string& error);

// Ctrl-C, and whatever else ends a command from outside, sets `g_interrupted` (below) instead
// of ending the process, so that the jobs clean up.
void CatchInterrupts();

}  // namespace HostOs

// Set by the system layer when the command is asked to stop (CatchInterrupts, and in a job's
// process the parent closing its pipe); a running job then asks the library to stop at its
// next step, and the pool starts no more jobs.
inline volatile std::sig_atomic_t g_interrupted = 0;
