// Fuzzes the decoding of received packets: the input is a datagram, listed for the packet
// trace and searched for attributes, with the shipped default.dic loaded and every log
// level on (so that every value text is formatted).
#include <cstdint>
#include <span>

#include "infra/logger.h"
#include "protocol/dictionary.h"
#include "protocol/packet_attribute.h"
#include "protocol/packet_log.h"

namespace {

// Swallows every line, with every level on.
class NullLogger : public Logger {
public:
    NullLogger() : Logger("", false, nullptr, 0, false) { SetLogger(this); }
    bool IsLevelEnabled(int) override { return true; }
    void Write(int, const char*) override {}
};

const Dictionary* DefaultDictionary() {
    static NullLogger logger;
    static DictionarySet set(PELVOK_DATA_DIR);
    static const Dictionary* dictionary = set.Load();
    return dictionary;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Dictionary* dictionary = DefaultDictionary();
    if (dictionary == nullptr) __builtin_trap();  // the shipped dictionary must load
    const std::span<const std::uint8_t> packet(data, size);
    LogPacket(packet, dictionary);
    LogPacket(packet, nullptr);
    for (std::int32_t number : {18, 24, 26, 0, 255}) FindPacketAttribute(packet, number);
    return 0;
}
