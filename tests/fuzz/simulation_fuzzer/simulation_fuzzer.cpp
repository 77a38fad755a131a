// Plays arbitrary bytes as a simulation file: every line is read through a loaded dictionary
// and every line that comes due is handed to a starter that only counts.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "infra/clock.h"
#include "infra/logger.h"
#include "protocol/dictionary.h"
#include "radius/session_starter.h"
#include "simulation/simulation.h"

namespace {

// Formats every message of the levels the simulation writes, keeps none.
class DiscardingLogger : public Logger {
public:
    DiscardingLogger() : Logger("", false, nullptr, 0, false) {}
    bool IsLevelEnabled(int level) override { return level >= 0 && level <= 3; }
    void Write(int, const char*) override {}
};

class CountingStarter : public SessionStarter {
public:
    bool AddSession(const char* userName, const char* password, std::uint32_t,
                    const AttributeList& auth, const AttributeList& acctStart,
                    const AttributeList& acctStop) override {
        sessions += std::string(userName).size() <= 32 && std::string(password).size() <= 128;
        attributes += auth.Size() + acctStart.Size() + acctStop.Size();
        return true;
    }
    const char* LastError() const override { return ""; }
    std::size_t sessions = 0;
    std::size_t attributes = 0;
};

const char kDictionary[] =
    "ATTRIBUTE User-Name 1 string\n"
    "ATTRIBUTE NAS-IP-Address 4 ipaddr\n"
    "ATTRIBUTE NAS-Port 5 integer\n"
    "ATTRIBUTE Service-Type 6 integer\n"
    "ATTRIBUTE Called-Station-Id 30 string\n"
    "ATTRIBUTE Acct-Delay-Time 41 integer\n"
    "ATTRIBUTE Event-Timestamp 55 date\n"
    "ATTRIBUTE Vendor-Text 26 [vendor=9 type1=1 len1=+2 data=string]\n"
    "VALUE Service-Type Framed-User 2\n";

std::string folder;
std::string simulationPath;
DictionarySet* dictionaries = nullptr;

bool WriteFile(const std::string& path, const void* bytes, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/pelvok-simfuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    folder = std::string(pattern) + "/";
    simulationPath = folder + "input.sim";
    if (!WriteFile(folder + "fuzz.dic", kDictionary, sizeof kDictionary - 1)) std::abort();
    static DiscardingLogger logger;
    SetLogger(&logger);
    dictionaries = new DictionarySet(folder.c_str());
    std::atexit([] {
        std::remove((folder + "fuzz.dic").c_str());
        std::remove(simulationPath.c_str());
        rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!WriteFile(simulationPath, data, size)) std::abort();
    ManualClock clock(1767225600);
    CountingStarter starter;
    Simulation simulation(clock);
    if (!simulation.Attach(&starter, "fuzz.dic")) std::abort();
    if (!simulation.LoadFile(simulationPath.c_str())) {
        // Refused: read the rest anyway, the reader must survive every line.
        for (std::size_t lines = 0; simulation.ReadNextLine() != Simulation::kEndOfFile; ++lines)
            if (lines > size + 1) std::abort();
        return 0;
    }
    // Past every possible offset: each Step reads on until an invalid line or the end.
    clock.Set(1767225600 + (std::int64_t{1} << 32));
    for (std::size_t steps = 0; simulation.Step(); ++steps)
        if (steps > size + 1) std::abort();  // each step consumes at least one line
    return 0;
}
