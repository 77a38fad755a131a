#include "shell/window_placement.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

#include "infra/profile_file.h"
#include "shell/options.h"
#include "shell/shell_state.h"

namespace {

// Far beyond any screen, near enough to zero that no sum of them overflows.
constexpr std::int64_t kMaxCoordinate = 1 << 20;

std::string ReadWindowKey(const std::string& file, const char* key) {
    return ReadProfileString(file, kWindowSection, key, "");
}

bool Remembering(const std::string& file) {
    return ReadLenientNumber(ReadProfileString(file, kWindowSection, "Remember", "1").c_str()) != 0;
}

int Coordinate(const std::string& text) {
    return static_cast<int>(std::clamp<std::int64_t>(ReadLenientNumber(text.c_str()), -kMaxCoordinate,
                                                     kMaxCoordinate));
}

// The keys in the order they are written, with their values.
std::array<std::pair<const char*, std::string>, 5> Keys(const WindowPlacement& placement) {
    return {{{"Left", std::to_string(placement.x)},
             {"Top", std::to_string(placement.y)},
             {"Width", std::to_string(placement.width)},
             {"Height", std::to_string(placement.height)},
             {"Maximized", placement.maximized ? "1" : "0"}}};
}

}  // namespace

std::optional<WindowPlacement> ReadWindowPlacement(const std::string& optionsFile) {
    if (optionsFile.empty() || !Remembering(optionsFile)) return std::nullopt;
    WindowPlacement placement;
    placement.x = Coordinate(ReadWindowKey(optionsFile, "Left"));
    placement.y = Coordinate(ReadWindowKey(optionsFile, "Top"));
    placement.width = Coordinate(ReadWindowKey(optionsFile, "Width"));
    placement.height = Coordinate(ReadWindowKey(optionsFile, "Height"));
    placement.maximized = ReadLenientNumber(ReadWindowKey(optionsFile, "Maximized").c_str()) > 0;
    if (placement.width <= 0 || placement.height <= 0) return std::nullopt;
    return placement;
}

void RestoreWindowPlacement() {
    const WindowHandle window = Shell().mainWindow;
    if (window == kNoWindow) return;
    if (const auto placement = ReadWindowPlacement(GetOptionsFile()))
        CurrentPlatform().SetWindowPlacement(window, *placement);
}

bool SaveWindowPlacement() {
    const std::string file = GetOptionsFile();
    WindowPlacement placement;
    if (file.empty() || !Remembering(file) ||
        !CurrentPlatform().GetWindowPlacement(Shell().mainWindow, placement))
        return true;
    bool saved = true;
    for (const auto& [key, value] : Keys(placement))
        if (ReadWindowKey(file, key) != value)
            saved = WriteOptionsFileValue(kWindowSection, key, value) && saved;
    return saved;
}
