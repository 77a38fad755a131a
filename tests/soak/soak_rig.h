// The engine and the Simulation on the real clock and a real UDP socket, moved as the
// program's loop moves them: every 100 ms the engine's Tick and then the Simulation's Step,
// and the socket read whenever poll says it has data. Between turns a test may do its own
// mischief (send hostile datagrams at the engine). Everything stays on 127.0.0.1 and every
// loop ends by itself.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "radius/radius_engine.h"
#include "simulation/simulation.h"
#include "tests/infra/temp_folder.h"
#include "tests/support/capturing_logger.h"

namespace soak {

using Bytes = std::vector<std::uint8_t>;
using SteadyClock = std::chrono::steady_clock;

// A number from the environment (the long runs of scripts/soak.sh), else the fallback.
inline long EnvironmentNumber(const char* name, long fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && value > 0 ? value : fallback;
}

// A socket of its own on 127.0.0.1 that sends datagrams at the engine's port.
// Seeded dice for hostile datagrams: sizes, random octets, a Length field set at will.
class DatagramDice {
public:
    explicit DatagramDice(unsigned seed) : engine_(seed) {}
    std::size_t Pick(std::size_t low, std::size_t high) {
        return std::uniform_int_distribution<std::size_t>(low, high)(engine_);
    }
    Bytes RandomBytes(std::size_t size) {
        Bytes bytes(size);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(engine_());
        return bytes;
    }
    static void SetLength(Bytes& datagram, std::size_t length) {
        datagram[2] = static_cast<std::uint8_t>(length >> 8);
        datagram[3] = static_cast<std::uint8_t>(length);
    }

private:
    std::mt19937 engine_;
};

class HostileSender {
public:
    explicit HostileSender(std::uint16_t targetPort) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        target_.sin_family = AF_INET;
        target_.sin_port = htons(targetPort);
        target_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~HostileSender() {
        if (fd_ >= 0) ::close(fd_);
    }
    HostileSender(const HostileSender&) = delete;
    HostileSender& operator=(const HostileSender&) = delete;

    bool Ready() const { return fd_ >= 0 && target_.sin_port != 0; }
    bool Send(const Bytes& datagram) {
        const ssize_t sent = ::sendto(fd_, datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<const sockaddr*>(&target_), sizeof target_);
        if (sent < 0) return false;
        ++sent_;
        return true;
    }
    std::size_t SentCount() const { return sent_; }

private:
    int fd_ = -1;
    sockaddr_in target_{};
    std::size_t sent_ = 0;
};

struct RigSettings {
    std::string secret = "MeadowLantern";
    std::int32_t nasPorts = 4000;
    std::uint32_t authTimeout = 1;
    std::uint32_t acctTimeout = 1;
    SessionLifeSettings life;
};

// How a session ended, by its last result line.
enum class Outcome { Completed, Rejected, AuthDropped, AccountingDropped };

inline const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Completed: return "completed";
        case Outcome::Rejected: return "rejected";
        case Outcome::AuthDropped: return "dropped (auth)";
        case Outcome::AccountingDropped: return "dropped (acct)";
    }
    return "?";
}

struct ResultTally {
    std::map<std::string, std::vector<Outcome>> byUser;  // every ending line of each user
    int acceptLines = 0;
    int startReplyLines = 0;
    std::vector<std::string> report;  // the counter report's lines, as often as it came
    std::vector<std::string> unknown;
};

// Sorts result lines into endings per user, the other lines and the counter report.
inline ResultTally TallyResults(const std::vector<std::string>& lines) {
    ResultTally tally;
    for (const std::string& line : lines) {
        if (line.rfind("---------- ", 0) == 0 || line.rfind("Start=", 0) == 0 ||
            line.rfind("Requests: ", 0) == 0 || line.rfind("Responses: ", 0) == 0) {
            tally.report.push_back(line);
            continue;
        }
        const auto colon = line.find(": ");
        if (colon == std::string::npos) {
            tally.unknown.push_back(line);
            continue;
        }
        const std::string user = line.substr(0, colon);
        const std::string text = line.substr(colon + 2);
        if (text == "Account STOP Reply") tally.byUser[user].push_back(Outcome::Completed);
        else if (text.rfind("Auth Reject", 0) == 0) tally.byUser[user].push_back(Outcome::Rejected);
        else if (text == "No response from server - Dropping request.")
            tally.byUser[user].push_back(Outcome::AuthDropped);
        else if (text == "No response from server - Dropping Accounting request.")
            tally.byUser[user].push_back(Outcome::AccountingDropped);
        else if (text.rfind("Auth Accept", 0) == 0) ++tally.acceptLines;
        else if (text == "Account START Reply") ++tally.startReplyLines;
        else tally.unknown.push_back(line);
    }
    return tally;
}

// One line of a simulation file: starts `offsetSeconds` after loading, lasts `seconds`.
struct SimLine {
    int offsetSeconds = 0;
    std::string user;
    std::string password = "pw";
    int seconds = 1;
};

inline bool WriteSimulationFile(const std::string& path, const std::vector<SimLine>& lines) {
    std::ofstream out(path);
    char text[256];
    for (const SimLine& line : lines) {
        std::snprintf(text, sizeof text, "0:%02d:%02d:%02d,%s,%s,%02d:%02d\n", line.offsetSeconds / 3600,
                      line.offsetSeconds / 60 % 60, line.offsetSeconds % 60, line.user.c_str(),
                      line.password.c_str(), line.seconds / 60, line.seconds % 60);
        out << text;
    }
    return static_cast<bool>(out);
}

class SoakRig {
public:
    explicit SoakRig(std::uint16_t serverPort, const RigSettings& settings = {}) {
        engine_.SetSessionLife(settings.life);
        initialized_ = engine_.Init(settings.secret.c_str(), serverPort, 0x7F000001, settings.nasPorts, true,
                                    settings.authTimeout, true, settings.acctTimeout, false, PELVOK_DATA_DIR,
                                    "default.dic");
        engine_.SetResultCallback([this](const char* line) { lines_.emplace_back(line); });
        if (initialized_) initialized_ = simulation_.Attach(&engine_, "default.dic");
    }

    bool Initialized() const { return initialized_; }
    RadiusEngine& Engine() { return engine_; }
    const std::vector<std::string>& Lines() const { return lines_; }
    const CapturingLogger& Log() const { return log_; }
    std::uint16_t EnginePort() const {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (::getsockname(engine_.SocketFd(), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
        return ntohs(address.sin_port);
    }

    // As the service does: counters reset, the file loaded, the simulation running.
    bool Play(const std::string& path) {
        engine_.ResetCounters();
        simulationRunning_ = simulation_.LoadFile(path.c_str());
        return simulationRunning_;
    }

    // Turns the loop until the simulation is played out and no session is left, or the limit
    // passes (false). `between` runs once per turn, before the socket is polled.
    bool RunUntilIdle(std::chrono::milliseconds limit, const std::function<void()>& between = {}) {
        return Run(limit, between, true);
    }
    // Turns the loop for that long, idle or not.
    void RunFor(std::chrono::milliseconds time, const std::function<void()>& between = {}) {
        Run(time, between, false);
    }

    std::size_t DatagramsRead() const { return datagramsRead_; }
    std::string Invariants() const { return engine_.Sessions().CheckConsistency(); }

private:
    static constexpr std::chrono::milliseconds kTick{100};

    bool Run(std::chrono::milliseconds limit, const std::function<void()>& between, bool untilIdle) {
        const auto deadline = SteadyClock::now() + limit;
        auto nextTick = SteadyClock::now();
        for (;;) {
            const auto now = SteadyClock::now();
            if (now >= nextTick) {
                Tick();
                nextTick = now + kTick;
                if (untilIdle && !simulationRunning_ && engine_.SessionCount() == 0) return true;
            }
            if (now >= deadline) return !untilIdle;
            if (between) between();
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextTick - SteadyClock::now());
            pollfd fds{engine_.SocketFd(), POLLIN, 0};
            int timeout = static_cast<int>(std::max<long>(0, wait.count()));
            if (between) timeout = std::min(timeout, 2);  // keep the mischief flowing
            // One notification per datagram, as the window gets them; a bounded batch per turn.
            for (int read = 0; read < 256 && ::poll(&fds, 1, read == 0 ? timeout : 0) == 1; ++read) {
                if ((fds.revents & POLLIN) == 0) break;
                engine_.OnReadable(engine_.SocketFd());
                ++datagramsRead_;
            }
            // The CoA listener, when there is one, reads its own batch.
            pollfd coa{engine_.CoaFd(), POLLIN, 0};
            if (coa.fd >= 0 && ::poll(&coa, 1, 0) == 1 && (coa.revents & POLLIN)) engine_.OnReadable(coa.fd);
        }
    }

    void Tick() {
        engine_.Tick();
        if (!simulationRunning_) return;
        simulationRunning_ = simulation_.Step();
        if (!simulationRunning_) engine_.SetSimulationDone();
    }

    CapturingLogger log_{1};  // failures and warnings; the packet trace would be too much
    RadiusEngine engine_;
    Simulation simulation_;
    std::vector<std::string> lines_;
    bool initialized_ = false;
    bool simulationRunning_ = false;
    std::size_t datagramsRead_ = 0;
};

// Once every session is gone nothing may stay held: every port back in the pool (the rig's
// 4000), no identifier in use, the session table consistent.
inline void ExpectNothingHeld(SoakRig& rig) {
    EXPECT_EQ(rig.Engine().SessionCount(), 0u);
    EXPECT_EQ(rig.Engine().NasPorts().FreeCount(), 4000u);
    EXPECT_EQ(rig.Engine().RequestIds().InUseCount(), 0);
    EXPECT_EQ(rig.Invariants(), "");
}

}  // namespace soak
