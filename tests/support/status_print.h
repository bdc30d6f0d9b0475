#pragma once

#include <ostream>

#include "core/status.h"

namespace hsc {

// Failed expectations name the status instead of printing its underlying number.
inline void PrintTo(Status status, std::ostream* os) { *os << status_name(status); }

}  // namespace hsc
