// The two system services of mp3frames, one file per system.
#pragma once
#include <cstdio>
#include <string>

// True when `path` names the file that `in` reads, by whatever name.
bool IsSameFile(FILE* in, const char* path);
// Creates an empty temporary file opened for update in binary mode; sets `path` to its
// name. Null when none can be made.
FILE* CreateTemporary(std::string& path);
