// A real RadiusEngine on the system clock and a real UDP socket, moved as the main window
// moves it: Tick() every 100 ms and OnReadable() whenever the socket has data, until a
// condition holds or a bounded time is up.
#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "protocol/attribute_list.h"
#include "radius/radius_engine.h"
#include <gtest/gtest.h>

#include "tests/support/capturing_logger.h"

namespace integration {

struct EngineSettings {
    std::string secret = "MeadowLantern";
    std::uint16_t serverPort = 0;
    std::uint32_t serverAddress = 0x7F000001;  // 127.0.0.1
    std::int32_t nasPorts = 16;
    bool resendAuth = true;
    std::uint32_t authTimeout = 1;
    bool resendAcct = true;
    std::uint32_t acctTimeout = 1;
    bool authOnly = false;
    std::string dictionaryDir = PELVOK_DATA_DIR;
    std::string dictionaryName = "default.dic";
    std::size_t sockets = 1;
    SessionLifeSettings life;
};

class EngineDriver {
public:
    explicit EngineDriver(const EngineSettings& settings) {
        engine_.SetTransport({.sockets = settings.sockets});
        engine_.SetSessionLife(settings.life);
        initialized_ = engine_.Init(settings.secret.c_str(), settings.serverPort, settings.serverAddress,
                                    settings.nasPorts, settings.resendAuth, settings.authTimeout, settings.resendAcct,
                                    settings.acctTimeout, settings.authOnly, settings.dictionaryDir.c_str(),
                                    settings.dictionaryName.c_str());
        engine_.SetResultCallback([this](const char* line) { lines_.emplace_back(line); });
    }

    bool Initialized() const { return initialized_; }
    RadiusEngine& Engine() { return engine_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    const CapturingLogger& Log() const { return log_; }

    bool Add(const char* user, const char* password, std::uint32_t duration, const AttributeList& auth = {}) {
        return engine_.AddSession(user, password, duration, auth, {}, {});
    }

    bool HasLine(const std::string& line) const {
        for (const auto& each : lines_)
            if (each == line) return true;
        return false;
    }

    // Ticks and reads until done() holds; false when the limit passes first.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + limit;
        auto nextTick = Clock::now() + kTick;
        while (!done()) {
            const auto now = Clock::now();
            if (now >= deadline) return false;
            if (now >= nextTick) {
                engine_.Tick();
                nextTick = now + kTick;
                continue;
            }
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(std::min(nextTick, deadline) - now);
            std::vector<pollfd> fds;
            for (const int fd : engine_.Descriptors()) fds.push_back(pollfd{fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) <= 0) continue;
            for (const pollfd& ready : fds)
                if (ready.revents & POLLIN) engine_.OnReadable(ready.fd);
        }
        return true;
    }

    // Until no session is left.
    bool RunUntilIdle(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return RunUntil([this] { return engine_.SessionCount() == 0; }, limit);
    }

    std::string Dump() const {
        std::string text = "result lines:\n";
        for (const auto& line : lines_) text += "  " + line + "\n";
        text += "log:\n";
        for (const auto& line : log_.Lines()) text += "  " + line + "\n";
        return text;
    }

private:
    static constexpr std::chrono::milliseconds kTick{100};

    CapturingLogger log_{3};
    RadiusEngine engine_;
    std::vector<std::string> lines_;
    bool initialized_ = false;
};

// Tests against a FreeRADIUS that a ctest fixture started with scripts/freeradius.sh in
// folder, on port; skipped, with the reason, when that server does not run.
class FreeRadiusTest : public ::testing::Test {
protected:
    FreeRadiusTest(std::string folder, std::uint16_t port) : folder_(std::move(folder)), port_(port) {}
    void SetUp() override {
        if (!Running())
            GTEST_SKIP() << "FreeRADIUS is not running in " << folder_
                         << " (is the freeradius package installed? see scripts/freeradius.sh)";
    }
    EngineSettings Settings() const {
        EngineSettings settings;
        settings.serverPort = port_;
        return settings;
    }

private:
    // Its process id file names a live process.
    bool Running() const {
        std::ifstream file(folder_ + "/freeradius.pid");
        long pid = 0;
        return (file >> pid) && pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
    }

    std::string folder_;
    std::uint16_t port_;
};

}  // namespace integration
