// Fuzzes the decoding of received packets: the input is a datagram, listed for the packet
// trace and searched for attributes, with the shipped default.dic and with a FreeRADIUS-format
// dictionary of every vendor format, type and flag loaded, and every log level on (so that
// every value text is formatted).
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

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

NullLogger& Logging() {
    static NullLogger logger;
    return logger;
}

const Dictionary* DefaultDictionary() {
    Logging();
    static DictionarySet set(PELVOK_DATA_DIR);
    static const Dictionary* dictionary = set.Load();
    return dictionary;
}

constexpr const char* kFreeRadiusDictionary =
    "VENDOR Acme 9\nVENDOR Wide 4846 format=2,1\nVENDOR Double 8164 format=2,2\n"
    "VENDOR Usr 429 format=4,0\nVENDOR Wimax 24757 format=1,1,c\n"
    "ATTRIBUTE Vendor-Specific 26 vsa\nATTRIBUTE Tunnel-Type 64 integer has_tag\n"
    "ATTRIBUTE Tunnel-Client-Endpoint 66 string has_tag\nATTRIBUTE Tunnel-Password 69 string has_tag,encrypt=2\n"
    "ATTRIBUTE Servers 98 ipaddr array\nATTRIBUTE Prefix6 97 ipv6prefix\nATTRIBUTE Prefix4 155 ipv4prefix\n"
    "ATTRIBUTE Combo 100 combo-ip\nATTRIBUTE Stamp 55 date\nATTRIBUTE Ext 241 extended\n"
    "VALUE Tunnel-Type L2TP 3\n"
    "BEGIN-VENDOR Acme\nATTRIBUTE Acme-Text 1 string\nATTRIBUTE Acme-Byte 2 byte\nATTRIBUTE Acme-Short 3 short\n"
    "ATTRIBUTE Acme-Signed 4 signed\nATTRIBUTE Acme-Mac 5 ether\nATTRIBUTE Acme-Id 6 ifid\n"
    "ATTRIBUTE Acme-Tlv 7 tlv\nATTRIBUTE Acme-Shorts 8 short array\nVALUE Acme-Byte High 9\nEND-VENDOR Acme\n"
    "BEGIN-VENDOR Wide\nATTRIBUTE Wide-Count 300 integer64\nEND-VENDOR Wide\n"
    "BEGIN-VENDOR Double\nATTRIBUTE Double-Name 258 string\nEND-VENDOR Double\n"
    "BEGIN-VENDOR Usr\nATTRIBUTE Usr-Address 0x9806 ipv6addr\nEND-VENDOR Usr\n"
    "BEGIN-VENDOR Wimax\nATTRIBUTE Wimax-Release 1 string\nEND-VENDOR Wimax\n";

const Dictionary* FreeRadiusDictionary() {
    Logging();
    static DictionarySet set([] {
        static std::string folder = (std::filesystem::temp_directory_path() / "pelvok-logfuzz-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) __builtin_trap();
        folder += "/";
        std::ofstream(folder + "dictionary") << kFreeRadiusDictionary;
        return folder.c_str();
    }());
    static const Dictionary* dictionary = set.Load("dictionary");
    return dictionary;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Dictionary* dictionary = DefaultDictionary();
    const Dictionary* freeRadius = FreeRadiusDictionary();
    if (dictionary == nullptr || freeRadius == nullptr) __builtin_trap();  // both must load
    const std::span<const std::uint8_t> packet(data, size);
    LogPacket(packet, dictionary);
    LogPacket(packet, dictionary, true);
    LogPacket(packet, freeRadius);
    LogPacket(packet, freeRadius, true);
    LogPacket(packet, nullptr);
    for (std::int32_t number : {18, 24, 26, 0, 255}) FindPacketAttribute(packet, number);
    return 0;
}
