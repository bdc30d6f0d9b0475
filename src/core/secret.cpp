#include "core/secret.h"

#include "os/system.h"

namespace hsc {

void wipe(std::string& secret) {
    // The capacity, not only the size: a text that shrank leaves bytes past its end.
    secret.resize(secret.capacity());
    os::wipe_memory(secret.data(), secret.size());
    secret.clear();
}

}  // namespace hsc
