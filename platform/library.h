// Shared libraries loaded at run time by path: orvane's codec, the sumbrel command's plug-in.
#pragma once
#include <string>

namespace platform {

// How the system names a library file: "lib" + name + ".so" on Linux, name + ".dll" on Windows.
extern const char* const kLibraryPrefix;
extern const char* const kLibraryExtension;

// Null when the library cannot be loaded, with the system's reason in `reason` when given. A
// file that is there but is no loadable library fails quietly too, without a dialog box.
void* LoadLibraryFile(const std::string& path, std::string* reason = nullptr);
// Null when the library has no such entry point.
void* FindEntry(void* library, const char* name);
void FreeLibraryFile(void* library);

}  // namespace platform
