#include "shell/load_plan.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "infra/number_text.h"
#include "infra/regular_file.h"

#include "shell/run_mode.h"
#include "shell/run_report.h"

namespace {

constexpr const char* kOptions[] = {"--load", "--rate", "--sessions", "--session-time", "--ramp"};
constexpr double kMaxRate = 1'000'000;
constexpr std::size_t kMaxLoadUsersBytes = std::size_t{1} << 30;

std::string Replace(std::string text, const std::string& number) {
    for (std::size_t at = text.find("{n}"); at != std::string::npos; at = text.find("{n}", at + number.size()))
        text.replace(at, 3, number);
    return text;
}

}  // namespace

const char* LoadPlan::OptionName(const char* argument) {
    for (const char* name : kOptions) {
        const std::size_t length = std::strlen(name);
        if (std::strncmp(argument, name, length) == 0 && (argument[length] == '\0' || argument[length] == '='))
            return name;
    }
    return nullptr;
}

bool LoadPlan::Set(const std::string& name, const std::string& value, std::string& error) {
    std::uint64_t number = 0;
    if (name == "--load") {
        users = value;
        return true;
    }
    if (name == "--rate") {
        // N or N/s, a number of sessions a second (fractions allowed: 0.5 is one every 2 s).
        const std::string digits = value.size() > 2 && value.compare(value.size() - 2, 2, "/s") == 0
                                       ? value.substr(0, value.size() - 2) : value;
        char* end = nullptr;
        errno = 0;
        const double parsed = digits.empty() ? 0 : std::strtod(digits.c_str(), &end);
        if (digits.empty() || errno != 0 || *end != '\0' || !(parsed > 0) || parsed > kMaxRate ||
            !(digits[0] >= '0' && digits[0] <= '9')) {
            error = "pelvok: --rate needs a number of sessions a second above 0, at most 1000000 (N or N/s)";
            return false;
        }
        rate = parsed;
        return true;
    }
    if (name == "--sessions") {
        if (!ParseWholeNumber(value.c_str(), kMaxLoadSessions, number)) {
            error = "pelvok: --sessions needs a whole number from 1 to " + std::to_string(kMaxLoadSessions);
            return false;
        }
        sessions = number;
        return true;
    }
    if (name == "--session-time") {
        if (!ParseWholeNumber(value.c_str(), kMaxLoadSessionSeconds, number)) {
            error = "pelvok: --session-time needs a whole number of seconds from 1 to " +
                    std::to_string(kMaxLoadSessionSeconds);
            return false;
        }
        sessionSeconds = static_cast<std::uint32_t>(number);
        return true;
    }
    if (!ParseWholeNumber(value.c_str(), 86400, number)) {
        error = "pelvok: --ramp needs a whole number of seconds from 1 to 86400";
        return false;
    }
    rampSeconds = static_cast<std::uint32_t>(number);
    return true;
}

bool LoadPlan::Complete(std::string& error) const {
    const char* missing = users.empty() ? "--load USERS" : rate <= 0 ? "--rate N" : sessions == 0 ? "--sessions N"
                          : sessionSeconds == 0 ? "--session-time SECONDS" : nullptr;
    if (missing == nullptr) return true;
    error = std::string("pelvok: a load run needs ") + missing;
    return false;
}

bool ReadLoadUsers(const std::string& users, std::vector<UserPassword>& pairs, bool& patterned, std::string& error) {
    pairs.clear();
    patterned = users.find("{n}") != std::string::npos;
    // A line of a simulation file is split at "," and its sections at ";": a name or password
    // holding either would shift the fields.
    const auto split = [&pairs](const std::string& line) {
        const std::size_t comma = line.find(',');
        if (comma == std::string::npos || comma == 0 || line.find(';') != std::string::npos ||
            line.find(',', comma + 1) != std::string::npos)
            return false;
        pairs.emplace_back(line.substr(0, comma), line.substr(comma + 1));
        return true;
    };
    if (patterned) {
        if (!split(users)) {
            error = "pelvok: a --load pattern is USER,PASSWORD with {n} for the session's number: " + users;
            return false;
        }
        return true;
    }
    // Only a regular file: a FIFO would hold the run until a writer came.
    std::string text;
    if (int reason = 0; !ReadRegularFile(users, &text, kMaxLoadUsersBytes, &reason)) {
        error = "pelvok: cannot read the users file " + users + ": " + FileErrorText(reason);
        return false;
    }
    std::istringstream lines(text);
    std::size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (!split(line)) {
            error = "pelvok: line " + std::to_string(number) + " of " + users + " is not user,password";
            return false;
        }
    }
    if (pairs.empty()) {
        error = "pelvok: the users file " + users + " names no user";
        return false;
    }
    return true;
}

std::uint64_t LoadStartMilliseconds(const LoadPlan& plan, std::uint64_t index) {
    const double n = static_cast<double>(index);
    double seconds = n / plan.rate;
    if (plan.rampSeconds > 0) {
        // Rising evenly from 0 to the rate, the ramp starts rate x ramp / 2 sessions; the
        // index-th of them starts at sqrt(2 x ramp x index / rate).
        const double ramp = plan.rampSeconds;
        const double duringRamp = plan.rate * ramp / 2;
        seconds = n < duringRamp ? std::sqrt(2 * ramp * n / plan.rate) : ramp + (n - duringRamp) / plan.rate;
    }
    return static_cast<std::uint64_t>(std::llround(seconds * 1000));
}

void WriteLoadSimulation(const LoadPlan& plan, const std::vector<UserPassword>& pairs, bool patterned,
                         std::ostream& out) {
    std::string text;
    char line[64];
    const std::uint32_t minutes = plan.sessionSeconds / 60;
    const std::uint32_t seconds = plan.sessionSeconds % 60;
    for (std::uint64_t i = 0; i < plan.sessions && !pairs.empty(); ++i) {
        const std::uint64_t at = LoadStartMilliseconds(plan, i);
        std::snprintf(line, sizeof line, "%llu:%02llu:%02llu:%02llu.%03llu,",
                      static_cast<unsigned long long>(at / 86'400'000),
                      static_cast<unsigned long long>(at / 3'600'000 % 24),
                      static_cast<unsigned long long>(at / 60'000 % 60),
                      static_cast<unsigned long long>(at / 1000 % 60), static_cast<unsigned long long>(at % 1000));
        text += line;
        const UserPassword& pair = pairs[i % pairs.size()];
        if (patterned) {
            const std::string number = std::to_string(i + 1);
            text += Replace(pair.first, number) + "," + Replace(pair.second, number);
        } else {
            text += pair.first + "," + pair.second;
        }
        std::snprintf(line, sizeof line, ",%02u:%02u\n", minutes, seconds);
        text += line;
        out << text;
        text.clear();
    }
}

int RunLoadPlan(const LoadPlan& plan, RunRequest request) {
    std::vector<UserPassword> pairs;
    bool patterned = false;
    std::string error;
    if (!ReadLoadUsers(plan.users, pairs, patterned, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return kRunNotStarted;
    }
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/pelvok-load-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        std::fprintf(stderr, "pelvok: cannot make the load's simulation file %s: %s\n", path.c_str(),
                     std::strerror(errno));
        return kRunNotStarted;
    }
    close(fd);
    bool written = false;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        WriteLoadSimulation(plan, pairs, patterned, out);
        out.flush();
        written = static_cast<bool>(out);
    }
    int status = kRunNotStarted;
    if (written) {
        request.simulationFile = path;
        status = RunSimulationFile(request);
    } else {
        std::fprintf(stderr, "pelvok: cannot write the load's simulation file %s\n", path.c_str());
    }
    unlink(path.c_str());
    return status;
}
