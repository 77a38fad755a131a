// Small questions about the file system, and making a folder with all its parents.
#pragma once

#include <string>

// True when path names an existing entry that is not a directory.
bool FileExists(const char* path);
// True when path names a directory that can be entered; one trailing "/" is ignored and the
// empty path counts as existing.
bool DirectoryExists(const char* path);
// Creates every missing directory of path, parents first. True when all exist afterwards.
bool MakeDirectoryTree(const char* path);
// The running program's own file, links resolved (/proc/self/exe); empty when it cannot be had.
std::string ProgramPath();
