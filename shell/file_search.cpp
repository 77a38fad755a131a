#include "shell/file_search.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "shell/options.h"

namespace {

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

bool PathIsPresent(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

std::vector<std::string> OptionsFileCandidates(const std::string& programPath, const char* xdgConfigHome,
                                               const char* home) {
    std::vector<std::string> candidates;
    if (!programPath.empty()) candidates.push_back(OptionsFileForProgram(programPath));
    // A relative $XDG_CONFIG_HOME is invalid under the XDG base-directory rules, and ignored.
    if (xdgConfigHome != nullptr && IsAbsolute(xdgConfigHome))
        candidates.push_back(JoinPath(xdgConfigHome, "pelvok/pelvok.ini"));
    else if (home != nullptr && home[0] != '\0')
        candidates.push_back(JoinPath(home, ".config/pelvok/pelvok.ini"));
    candidates.emplace_back(kSystemOptionsFile);
    return candidates;
}

std::optional<std::string> FirstPresent(const std::vector<std::string>& candidates, const PathProbe& present) {
    for (const std::string& candidate : candidates)
        if (present(candidate)) return candidate;
    return std::nullopt;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return (std::filesystem::path(folder) / name).lexically_normal().string();
}

std::string ResolveOptionsPath(const std::string& path, const std::string& optionsFolder, const PathProbe& present) {
    if (path.empty() || IsAbsolute(path) || present(path) || optionsFolder.empty()) return path;
    const std::string fromOptions = JoinPath(optionsFolder, path);
    return present(fromOptions) ? fromOptions : path;
}

DictionaryPlace FindDictionaryFolder(const DictionarySearch& search, const PathProbe& present) {
    DictionaryPlace place{search.dictDir, {JoinPath(search.dictDir, search.dictName)}};
    if (present(place.tried.back()) || IsAbsolute(search.dictDir)) return place;
    std::vector<std::string> folders;
    if (!search.optionsFolder.empty()) folders.push_back(JoinPath(search.optionsFolder, search.dictDir));
    if (search.dictDir == kDefaultDictDir && !search.installedDataFolder.empty())
        folders.push_back(search.installedDataFolder);
    for (const std::string& folder : folders) {
        const std::string path = JoinPath(folder, search.dictName);
        if (std::find(place.tried.begin(), place.tried.end(), path) != place.tried.end()) continue;  // "." and "./"
        place.tried.push_back(path);
        if (present(path)) {
            place.folder = folder;
            break;
        }
    }
    return place;
}
