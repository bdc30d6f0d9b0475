#include "core/secret.h"

#include <string.h>

namespace hsc {

void wipe(std::string& secret) {
    // The capacity, not only the size: a text that shrank leaves bytes past its end.
    secret.resize(secret.capacity());
    ::explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

}  // namespace hsc
