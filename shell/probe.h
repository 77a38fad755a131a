// pelvok --probe: a Status-Server (RFC 5997) to the authentication port and one to the
// accounting port of the server the options file names, each answer printed with its round
// trip. Nothing else of the program runs; the options file is only read.
#pragma once

inline constexpr int kProbeAnswered = 0;     // both ports answered
inline constexpr int kProbeUnanswered = 1;   // one did not, or answered with the wrong secret
inline constexpr int kProbeNotStarted = 2;   // the options say no usable server; no socket

// With the shell bound and the current platform set (a host name not found is told there).
// Each port gets AuthTimeout seconds (at least one) to answer.
int RunProbe();
