// How the test responder answers one user: a decision, the attributes that go with it, and
// any number of faults that bend the answer (silence, duplicates, lateness, bad bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/responder/radius_wire.h"

namespace responder {

// Which requests a fault applies to; combine with |.
enum PacketKind : unsigned {
    kAccessPackets = 1,
    kAccountingStartPackets = 2,
    kAccountingStopPackets = 4,
    kOtherAccountingPackets = 8,
    kAccountingPackets = kAccountingStartPackets | kAccountingStopPackets | kOtherAccountingPackets,
    kAllPackets = kAccessPackets | kAccountingPackets,
};

enum class Answer { Accept, Reject, Challenge };

enum class FaultKind {
    Silent,       // no reply for the first `count` matching requests of the user (all if count < 0)
    Twice,        // the reply goes out two times
    Late,         // the reply is held for `delayMs`, or until `afterRequests` more requests came in
    WrongSecret,  // the Response Authenticator is computed with another secret
    Padding,      // `paddingBytes` zero octets follow the packet, outside its Length
    Echo,         // the request itself comes back, as code 4 (Accounting-Request)
    Garbage,      // a malformed datagram instead of the reply
};

enum class GarbageStyle {
    Short,            // four octets: a header cut off
    LengthBeyondData, // a Length field larger than the datagram
    BrokenAttribute,  // an authentic reply whose attributes have lengths 0 and 200
};

struct Fault {
    FaultKind kind = FaultKind::Silent;
    unsigned on = kAllPackets;
    int count = -1;
    int delayMs = 0;
    int afterRequests = 0;
    std::size_t paddingBytes = 0;
    GarbageStyle garbage = GarbageStyle::Short;

    static Fault SilentFor(int transmissions, unsigned on = kAllPackets) {
        Fault fault{FaultKind::Silent, on};
        fault.count = transmissions;
        return fault;
    }
    static Fault SilentAlways(unsigned on = kAllPackets) { return SilentFor(-1, on); }
    static Fault Twice(unsigned on = kAllPackets) { return {FaultKind::Twice, on}; }
    static Fault LateBy(int milliseconds, unsigned on = kAllPackets) {
        Fault fault{FaultKind::Late, on};
        fault.delayMs = milliseconds;
        return fault;
    }
    // Held until `requests` further requests (from anyone, on either port) have arrived.
    static Fault LateAfterRequests(int requests, unsigned on = kAllPackets) {
        Fault fault{FaultKind::Late, on};
        fault.afterRequests = requests;
        return fault;
    }
    static Fault WrongSecret(unsigned on = kAllPackets) { return {FaultKind::WrongSecret, on}; }
    static Fault Padding(std::size_t bytes, unsigned on = kAllPackets) {
        Fault fault{FaultKind::Padding, on};
        fault.paddingBytes = bytes;
        return fault;
    }
    static Fault Echo(unsigned on = kAllPackets) { return {FaultKind::Echo, on}; }
    static Fault Garbage(GarbageStyle style, unsigned on = kAllPackets) {
        Fault fault{FaultKind::Garbage, on};
        fault.garbage = style;
        return fault;
    }
};

struct Rule {
    Answer answer = Answer::Accept;
    // When set, an Access-Request with another password is rejected.
    std::optional<std::string> password;
    // Sent with an Access-Accept.
    std::vector<WireAttribute> attributes;
    // Sent with every Access reply when not empty.
    std::string replyMessage;
    // Challenge: the State sent, and the password expected with it in the next request.
    std::string state = "pelvok-state";
    std::string challengeResponse;
    std::vector<Fault> faults;

    static Rule Accept(std::vector<WireAttribute> attributes = {}) {
        Rule rule;
        rule.attributes = std::move(attributes);
        return rule;
    }
    static Rule Reject(std::string message = {}) {
        Rule rule;
        rule.answer = Answer::Reject;
        rule.replyMessage = std::move(message);
        return rule;
    }
    static Rule Challenge(std::string message, std::string state, std::string response) {
        Rule rule;
        rule.answer = Answer::Challenge;
        rule.replyMessage = std::move(message);
        rule.state = std::move(state);
        rule.challengeResponse = std::move(response);
        return rule;
    }
    Rule& With(Fault fault) {
        faults.push_back(fault);
        return *this;
    }
    Rule& WithPassword(std::string expected) {
        password = std::move(expected);
        return *this;
    }
};

}  // namespace responder
