// A host name looked up on a thread of its own, so that a slow name server holds up no
// window. A lookup cannot be cancelled: one that is given up on ends on its own thread, and
// what it finds goes nowhere.
#pragma once

#include <memory>
#include <string>

#include "shell/options.h"

class HostLookup {
public:
    // Starts looking name up with resolver (on the calling thread when no thread can start).
    HostLookup(const std::string& name, HostResolver resolver);

    bool Done() const;
    // Once Done(): true with the address found.
    bool Found(SocketAddress& address) const;

private:
    struct Answer;
    std::shared_ptr<Answer> answer_;  // shared with the thread, which may outlive this object
};
