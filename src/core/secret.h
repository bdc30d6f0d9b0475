#pragma once

#include <string>

namespace hsc {

// Overwrites the whole buffer of a text that held a secret (a password, a key's check
// value) with zeros, in a way the compiler may not leave out, and empties it: the bytes
// do not outlive their use in freed memory, swap or a later allocation.
void wipe(std::string& secret);

// Wipes `secret` when it goes out of scope, on every path.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& secret) : secret_(secret) {}
    ~WipeOnExit() { wipe(secret_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& secret_;
};

}  // namespace hsc
