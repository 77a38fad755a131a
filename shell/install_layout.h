// Where the files of an installed Pelvok are, found from the program's own path: the
// installation keeps the program in bin/ and its data (default.dic, examples/) in
// share/pelvok/ under one prefix.
#pragma once

#include <string>

// The data folder of a program installed at programPath, with a trailing "/"
// (/usr/bin/pelvok -> /usr/share/pelvok/); empty for an empty path.
std::string InstalledDataFolderFor(const std::string& programPath);
// The same for this program; empty when the program's path cannot be had.
std::string InstalledDataFolder();
