#include "shell/host_lookup.h"

#include <atomic>
#include <system_error>
#include <thread>

struct HostLookup::Answer {
    std::atomic<bool> done{false};
    bool found = false;          // written before done, read after it
    SocketAddress address;
};

HostLookup::HostLookup(const std::string& name, HostResolver resolver)
    : answer_(std::make_shared<Answer>()) {
    auto look = [resolver, name, answer = answer_] {
        answer->found = resolver(name.c_str(), answer->address);
        answer->done.store(true, std::memory_order_release);
    };
    try {
        std::thread(look).detach();
    } catch (const std::system_error&) {
        look();  // no thread to be had: the window waits, as it used to
    }
}

bool HostLookup::Done() const { return answer_->done.load(std::memory_order_acquire); }

bool HostLookup::Found(SocketAddress& address) const {
    if (!Done() || !answer_->found) return false;
    address = answer_->address;
    return true;
}
