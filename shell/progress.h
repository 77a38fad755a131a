// The one-line progress display of a headless run, on standard error when that is a
// terminal: drawn once the run has lasted two seconds, redrawn in place with "\r" at most
// four times a second, and wiped before anything else is written to the terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct ProgressFigures {
    std::uint64_t linesRead = 0;
    std::uint64_t sessionsLive = 0;
    std::uint64_t outstanding = 0;  // requests waiting for a reply (or for an identifier)
    std::uint64_t accepted = 0;
    std::uint64_t rejected = 0;
    std::uint64_t dropped = 0;
};

std::string FormatProgress(const ProgressFigures& figures);

class ProgressDisplay {
public:
    static constexpr std::uint32_t kQuietStartMs = 2000;
    static constexpr std::uint32_t kRedrawIntervalMs = 250;

    // Draws on out only when enabled; times are millisecond ticks (compared by unsigned
    // subtraction), the run started at startMs.
    ProgressDisplay(std::FILE* out, bool enabled, std::uint32_t startMs)
        : out_(out), enabled_(enabled && out != nullptr), startMs_(startMs) {}
    ~ProgressDisplay() { Clear(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    void Update(std::uint32_t nowMs, const ProgressFigures& figures);
    // Whether Update would draw now: the figures walk every session, so they are gathered
    // only then, not for every message of the run.
    bool Due(std::uint32_t nowMs) const {
        return enabled_ && nowMs - startMs_ >= kQuietStartMs &&
               (!drawnOnce_ || nowMs - lastDrawMs_ >= kRedrawIntervalMs);
    }
    // Wipes the line when one is shown; the next Update due draws it again.
    void Clear();
    bool Shown() const { return shownLength_ > 0; }

private:
    std::FILE* out_;
    bool enabled_;
    std::uint32_t startMs_;
    std::uint32_t lastDrawMs_ = 0;
    bool drawnOnce_ = false;
    std::size_t shownLength_ = 0;
    std::string shownText_;
};

// Whether standard error is a terminal (the display is for people, not for logs).
bool StandardErrorIsTerminal();
