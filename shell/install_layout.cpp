#include "shell/install_layout.h"

#include <filesystem>

#include "infra/file_helpers.h"
#include "install_dirs.h"

std::string InstalledDataFolderFor(const std::string& programPath) {
    if (programPath.empty()) return {};
    const std::filesystem::path folder =
        std::filesystem::path(programPath).parent_path() / kDataFolderFromProgramFolder;
    std::string text = folder.lexically_normal().string();
    if (text.empty() || text.back() != '/') text += '/';
    return text;
}

std::string InstalledDataFolder() { return InstalledDataFolderFor(ProgramPath()); }
