// pelvok-test-responder: the scripted RADIUS responder as a program, for process-level
// tests. Prints "port P" when it listens, runs until SIGTERM/SIGINT or --max-seconds, then
// prints what it received.
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "tests/responder/responder_script.h"
#include "tests/responder/test_responder.h"

namespace {

constexpr const char* kUsage =
    "usage: pelvok-test-responder [--script FILE] [--port P] [--secret S]\n"
    "                             [--port-file FILE] [--max-seconds N] [--verbose]\n"
    "  --script FILE     rules per user (INI; see tests/responder/responder_script.h)\n"
    "  --port P          authentication port (accounting is P+1); 0 = a free pair (default)\n"
    "  --secret S        shared secret (default MeadowLantern, or the script's)\n"
    "  --port-file FILE  also write the chosen port to FILE\n"
    "  --max-seconds N   stop by itself after N seconds (default: run until SIGTERM)\n"
    "  --verbose         at exit, list every request received\n";

struct Options {
    std::string scriptPath;
    std::string portFile;
    std::string secret;
    long port = -1;
    long maxSeconds = 0;
    bool verbose = false;
};

bool ParseLong(const char* text, long low, long high, long& out) {
    const char* end = text + std::strlen(text);
    const auto [stop, status] = std::from_chars(text, end, out);
    return status == std::errc() && stop == end && out >= low && out <= high;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--verbose") {
            options.verbose = true;
            continue;
        }
        if (flag == "--help" || flag == "-h" || i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (flag == "--script") options.scriptPath = value;
        else if (flag == "--port-file") options.portFile = value;
        else if (flag == "--secret") options.secret = value;
        else if (flag == "--port") { if (!ParseLong(value, 0, 65534, options.port)) return false; }
        else if (flag == "--max-seconds") { if (!ParseLong(value, 1, 86400, options.maxSeconds)) return false; }
        else return false;
    }
    return true;
}

void PrintRequests(const responder::TestResponder& server) {
    const responder::Traffic traffic = server.Snapshot();
    if (traffic.received.empty()) return;
    const auto start = traffic.received.front().time;
    for (const auto& request : traffic.received) {
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(request.time - start).count();
        if (!request.wellFormed) {
            std::printf("+%lldms malformed (%zu octets): %s\n", ms, request.datagram.size(), request.problem.c_str());
            continue;
        }
        std::printf("+%lldms %s id=%u user=%s", ms, responder::CodeName(request.code).c_str(), request.identifier,
                    request.userName.c_str());
        if (request.password) std::printf(" password=%s", request.password->c_str());
        if (request.acctStatusType) std::printf(" status=%u", request.acctStatusType);
        if (request.accountingAuthenticatorValid == false) std::printf(" BAD-AUTHENTICATOR");
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    responder::ResponderScript script;
    std::string error;
    if (!options.scriptPath.empty() && !responder::LoadResponderScript(options.scriptPath, script, error)) {
        std::fprintf(stderr, "pelvok-test-responder: %s\n", error.c_str());
        return 2;
    }
    if (!options.secret.empty()) script.secret = options.secret;
    if (options.port >= 0) script.port = static_cast<std::uint16_t>(options.port);

    // The responder's thread inherits this mask, so the signals reach sigtimedwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    responder::TestResponder server(script.secret);
    server.SetDefaultRule(script.defaultRule);
    for (const auto& [user, rule] : script.users) server.SetRule(user, rule);
    server.SetDropBadAccounting(script.dropBadAccounting);
    if (!server.Start(script.port)) {
        std::fprintf(stderr, "pelvok-test-responder: %s\n", server.LastError().c_str());
        return 1;
    }
    if (!options.portFile.empty()) {
        // Written under another name and renamed, so a reader never sees half a number.
        const std::string temporary = options.portFile + ".tmp";
        std::ofstream(temporary) << server.AuthPort() << "\n";
        if (std::rename(temporary.c_str(), options.portFile.c_str()) != 0) {
            std::fprintf(stderr, "pelvok-test-responder: cannot write %s\n", options.portFile.c_str());
            server.Stop();
            return 1;
        }
    }
    // Printed once the port file is in place: a reader of either may go ahead.
    std::printf("port %u\n", server.AuthPort());
    std::fflush(stdout);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.maxSeconds);
    for (;;) {
        timespec wait{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal > 0) break;
        if (options.maxSeconds > 0 && std::chrono::steady_clock::now() >= deadline) break;
    }
    server.Stop();
    if (options.verbose) PrintRequests(server);
    std::fputs(server.Summary().c_str(), stdout);
    return 0;
}
