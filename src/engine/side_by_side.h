#pragma once

#include <system_error>
#include <thread>

namespace hsc {

// Runs `second` on a thread of its own while `first` runs on the caller's, when the
// machine has a second core and a thread can be started; otherwise one after the other.
// Returns once both have run. `second` must not throw: it runs where nobody would catch.
template <class First, class Second>
void run_side_by_side(First&& first, Second&& second) {
    std::thread helper;
    if (std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(second);
        } catch (const std::system_error&) {
            // no thread to be had: both run here
        }
    }
    struct Join {
        std::thread& t;
        ~Join() {
            if (t.joinable()) t.join();
        }
    } join{helper};
    const bool alone = !helper.joinable();
    first();
    if (alone) second();
}

}  // namespace hsc
