// Where Pelvok looks for its files: the options file when no --config names one, a relative
// path written in the options file, and the dictionary. Pure over the places given and a
// probe of the file system, so tests need neither /etc nor the real home folder.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

// True when something is at the path (a file, a folder, even a link whose target is missing:
// what is there is used, and its problem told, rather than passed over).
using PathProbe = std::function<bool(const std::string& path)>;
bool PathIsPresent(const std::string& path);

inline constexpr const char* kSystemOptionsFile = "/etc/pelvok/pelvok.ini";

// The options files looked for, in order: beside the program (its path with ".ini"), then
// $XDG_CONFIG_HOME/pelvok/pelvok.ini ($HOME/.config when XDG_CONFIG_HOME is unset, empty or
// relative), then /etc/pelvok/pelvok.ini. A place whose variable is missing is left out.
std::vector<std::string> OptionsFileCandidates(const std::string& programPath, const char* xdgConfigHome,
                                               const char* home);
// The first candidate the probe finds.
std::optional<std::string> FirstPresent(const std::vector<std::string>& candidates, const PathProbe& present);

// "folder" and "name" joined with one "/" and made lexically normal; an empty folder gives the
// name as it is.
std::string JoinPath(const std::string& folder, const std::string& name);

// A path written in the options file: as written when it is absolute or present from the
// current folder; else from the options file's folder when it is present there; else as
// written (its failure then names it as the user wrote it).
std::string ResolveOptionsPath(const std::string& path, const std::string& optionsFolder, const PathProbe& present);

inline constexpr const char* kDefaultDictDir = "./";

struct DictionarySearch {
    std::string dictDir;              // DictDir as written (or the --dictionary folder)
    std::string dictName;             // DictName
    std::string optionsFolder;        // empty: no options file (or --dictionary from the command line)
    std::string installedDataFolder;  // empty: none to fall back on
};
struct DictionaryPlace {
    std::string folder;              // the DictDir to use
    std::vector<std::string> tried;  // the dictionary paths looked at, in order
};
// DictDir from the current folder; a relative one not found there from the options file's
// folder; the default DictDir ("./") not found either way from the installed data folder.
// When none has the dictionary, the folder stays as written.
DictionaryPlace FindDictionaryFolder(const DictionarySearch& search, const PathProbe& present);
