#include "shell/progress.h"

#include <unistd.h>

std::string FormatProgress(const ProgressFigures& figures) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "lines %llu | live %llu | outstanding %llu | accepted %llu | rejected %llu | dropped %llu",
                  static_cast<unsigned long long>(figures.linesRead),
                  static_cast<unsigned long long>(figures.sessionsLive),
                  static_cast<unsigned long long>(figures.outstanding),
                  static_cast<unsigned long long>(figures.accepted),
                  static_cast<unsigned long long>(figures.rejected),
                  static_cast<unsigned long long>(figures.dropped));
    return text;
}

void ProgressDisplay::Update(std::uint32_t nowMs, const ProgressFigures& figures) {
    if (!enabled_ || nowMs - startMs_ < kQuietStartMs) return;
    // Wiped or not, the line is drawn at most once per interval.
    if (drawnOnce_ && nowMs - lastDrawMs_ < kRedrawIntervalMs) return;
    std::string text = FormatProgress(figures);
    if (shownLength_ > 0 && text == shownText_) return;  // nothing new to show
    // Blanks over what a longer previous line left behind.
    const std::size_t blanks = shownLength_ > text.size() ? shownLength_ - text.size() : 0;
    std::fprintf(out_, "\r%s%*s", text.c_str(), static_cast<int>(blanks), "");
    std::fflush(out_);
    shownLength_ = text.size() + blanks;
    shownText_ = std::move(text);
    lastDrawMs_ = nowMs;
    drawnOnce_ = true;
}

void ProgressDisplay::Clear() {
    if (!enabled_ || shownLength_ == 0) return;
    std::fprintf(out_, "\r%*s\r", static_cast<int>(shownLength_), "");
    std::fflush(out_);
    shownLength_ = 0;
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
