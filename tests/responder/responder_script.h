// The test responder's script: an INI-style text that sets the secret, the port and a Rule
// per user, for the command-line responder.
//
//   [responder]
//   secret = MeadowLantern
//   port = 0                      # 0: any free pair of ports
//   drop_bad_accounting = yes
//
//   [default]                     # users without a section of their own
//   answer = accept
//
//   [user alice]
//   answer = accept               # accept | reject | challenge
//   password = alicepw            # a different password is rejected
//   Service-Type = 2              # reply attributes by name (see below) ...
//   Framed-IP-Address = 10.0.0.5
//   Class = gold
//   attribute = 26:0x0000000901   # ... or by number: integer, dotted quad, 0x-hex or text
//   Reply-Message = Welcome
//
//   [user carol]
//   answer = challenge
//   Reply-Message = Enter PIN
//   State = pelvok-1
//   response = 4321
//
//   [user dave]
//   faults_on = access            # access, start, stop, accounting, any (joined with |);
//                                 # applies to the fault keys that follow it
//   silent = 2                    # first N transmissions, or "all"
//   twice = yes
//   late_ms = 1500
//   late_after = 3                # held until 3 more requests arrived
//   wrong_secret = yes
//   padding = 4
//   echo = yes
//   garbage = short               # short | length | attribute
//
// Lines starting with # or ; are comments; keys are not case-sensitive.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "tests/responder/responder_rule.h"

namespace responder {

struct ResponderScript {
    std::string secret = "MeadowLantern";
    std::uint16_t port = 0;
    bool dropBadAccounting = true;
    Rule defaultRule;
    std::map<std::string, Rule> users;
};

// False with "line N: reason" in error on the first mistake.
bool ParseResponderScript(std::string_view text, ResponderScript& script, std::string& error);
bool LoadResponderScript(const std::string& path, ResponderScript& script, std::string& error);

}  // namespace responder
