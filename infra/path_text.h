// The parts of a path, as text.
#pragma once

#include <string>
#include <string_view>

// The folder a path names its entry in: the text before the last "/"; "/" for an entry of the
// root folder, and "." (the current folder) for a path without "/".
std::string FolderOf(std::string_view path);
