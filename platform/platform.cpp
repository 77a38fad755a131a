#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "infra/clock.h"
#include "platform/headless_platform.h"

namespace {
std::atomic<Platform*> currentPlatform{nullptr};
}  // namespace

Platform& CurrentPlatform() {
    Platform* platform = currentPlatform.load();
    if (platform != nullptr) return *platform;
    // Nobody chose a back end: the headless one on the real clocks, made once.
    static HeadlessPlatform fallback(SystemClock::Instance());
    Platform* expected = nullptr;
    currentPlatform.compare_exchange_strong(expected, &fallback);
    return *currentPlatform.load();
}

void SetCurrentPlatform(Platform* platform) { currentPlatform.store(platform); }

bool HasCurrentPlatform() { return currentPlatform.load() != nullptr; }

bool DialogHandle::WaitResponsive(const std::function<bool()>& done) {
    while (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

bool Platform::GetWindowPlacement(WindowHandle, WindowPlacement&) const { return false; }

void Platform::SetWindowPlacement(WindowHandle, const WindowPlacement&) {}
