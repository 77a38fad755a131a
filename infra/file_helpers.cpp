#include "infra/file_helpers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

bool FileExists(const char* path) {
    struct stat info {};
    return path != nullptr && *path != '\0' && stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const char* path) {
    if (path == nullptr) return false;
    std::string folder(path);
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    if (folder.empty()) return true;
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           access(folder.c_str(), X_OK) == 0;
}

bool MakeDirectoryTree(const char* path) {
    if (DirectoryExists(path)) return true;
    const std::string whole(path);
    std::size_t next = 0;
    for (;;) {
        const auto slash = whole.find('/', next);
        const std::string prefix =
            slash == std::string::npos ? whole : whole.substr(0, slash + 1);
        if (!DirectoryExists(prefix.c_str()) && mkdir(prefix.c_str(), 0777) != 0 &&
            errno != EEXIST)
            return false;
        if (slash == std::string::npos) break;
        next = slash + 1;
    }
    return DirectoryExists(path);
}

std::string ProgramPath() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.string();
}
