// What the engine's fuzz targets share: a logger that swallows every line with every level on
// (so that every log text is formatted), and a check that stops the fuzzer where an invariant breaks.
#pragma once

#include "infra/logger.h"

namespace fuzz_support {

class NullLogger : public Logger {
public:
    NullLogger() : Logger("", false, nullptr, 0, false) { SetLogger(this); }
    bool IsLevelEnabled(int) override { return true; }
    void Write(int, const char*) override {}
};

inline void Require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace fuzz_support
