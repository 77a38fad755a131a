// Running pelvok (or any program) as a process from a test: its exit status and its output,
// within a bounded time.
#pragma once

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/responder/child_process.h"

namespace run_test {

struct Outcome {
    std::optional<int> status;  // none: it did not end in time (it is then killed)
    std::string output;         // standard output and error together
    std::vector<std::string> lines;

    bool Has(const std::string& line) const {
        for (const std::string& shown : lines)
            if (shown == line) return true;
        return false;
    }
    // The end of the output, for a failure's message.
    std::string Tail(std::size_t characters = 4000) const {
        return output.substr(output.size() > characters ? output.size() - characters : 0);
    }
};

// command[0] is the program's path. With a shell prefix the program runs under bash after
// it ("ulimit -f 4;").
inline Outcome RunProgram(std::vector<std::string> command, std::chrono::milliseconds within,
                          const std::string& shellPrefix = "") {
    using namespace std::chrono_literals;
    if (!shellPrefix.empty())
        command.insert(command.begin(), {"/bin/bash", "-c", shellPrefix + " exec \"$@\"", "bash"});
    responder::ChildProcess child;
    Outcome outcome;
    if (!child.Start(command)) return outcome;
    outcome.output = child.ReadAll(within);
    outcome.status = child.Wait(2s);
    std::istringstream in(outcome.output);
    for (std::string line; std::getline(in, line);) outcome.lines.push_back(line);
    return outcome;
}

}  // namespace run_test
