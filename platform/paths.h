// Names of files and folders, as the running system spells them.
#pragma once
#include <string>

namespace platform {

// The characters that end a folder's part of a path: "/", and on Windows "\\" too.
extern const char* const kSeparators;
// Whether paths may start with a drive letter and a colon (Windows).
extern const bool kDriveLetters;

// The folder part of a path: "." when it has none, the root when the file is in it (on
// Windows a drive's root too, "C:\\" rather than "C:", which names the drive's current folder).
std::string FolderOf(const std::string& path);
// The name after the last separator.
std::string BaseOf(const std::string& path);

}  // namespace platform
