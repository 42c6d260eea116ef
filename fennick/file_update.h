#pragma once
#include <string>

// Reads the whole file at `path`, zero bytes included. Fails (false) when the
// file cannot be opened or read, or is a directory.
bool ReadWholeFile(const std::string& path, std::string& contents);

// Replaces the file at `path` by `contents` atomically: the bytes go to a
// temporary file in the same directory, which takes over the original's
// permission bits (and owner, where allowed) and is renamed over it. A symbolic
// link is followed, so the link stays and its target is replaced. On failure
// the original is untouched, no temporary file remains, and `error` says why.
bool ReplaceFile(const std::string& path, const std::string& contents, std::string& error);
