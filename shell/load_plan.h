// A load run that needs no hand-made file: pelvok --run --load USERS --rate N[/s]
// --sessions N --session-time SECONDS [--ramp SECONDS]. The plan becomes a simulation file
// with millisecond line times, written to a temporary file and played like any other.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

struct LoadPlan {
    std::string users;             // a file of "user,password" lines, or a pattern with "{n}"
    double rate = 0;               // new sessions a second once the ramp is over
    std::uint64_t sessions = 0;    // in all
    std::uint32_t sessionSeconds = 0;
    std::uint32_t rampSeconds = 0;  // the rate rises evenly from 0 over this long

    // Which of a load run's options the argument is ("--rate" for "--rate=5"), or null.
    static const char* OptionName(const char* argument);
    // Takes one option's value; false with a message naming the option.
    bool Set(const std::string& name, const std::string& value, std::string& error);
    // The options every load run needs; false with a message naming the first one missing.
    bool Complete(std::string& error) const;
    // Whether any option of a load run was given.
    bool Any() const { return !users.empty() || rate > 0 || sessions > 0 || sessionSeconds > 0 || rampSeconds > 0; }
};

// A session's duration must fit MM:SS, at most 99 minutes 59 seconds.
inline constexpr std::uint32_t kMaxLoadSessionSeconds = 99 * 60 + 59;
inline constexpr std::uint64_t kMaxLoadSessions = 100'000'000;

using UserPassword = std::pair<std::string, std::string>;

// The users of USERS: "{n}" in a pattern ("user{n},pass{n}") stands for the session's number
// from 1, so a pattern gives one pair and patterned is set; a file gives its "user,password"
// lines (blank lines and lines starting with "#" are skipped). False with the reason.
bool ReadLoadUsers(const std::string& users, std::vector<UserPassword>& pairs, bool& patterned,
                   std::string& error);

// The milliseconds after the start at which session index (from 0) starts.
std::uint64_t LoadStartMilliseconds(const LoadPlan& plan, std::uint64_t index);

// The simulation file of the plan: one line a session, users taken in turn.
void WriteLoadSimulation(const LoadPlan& plan, const std::vector<UserPassword>& pairs, bool patterned,
                         std::ostream& out);

// The whole load run: the users read, the file written to a temporary file (removed
// afterwards) and played by RunSimulationFile as the request says (its simulation file is
// that file). Its exit status; 2 with the reason on standard error when the users or the
// temporary file fail.
struct RunRequest;
int RunLoadPlan(const LoadPlan& plan, RunRequest request);
