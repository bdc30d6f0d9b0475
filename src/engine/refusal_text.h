#pragma once

#include <string>

#include "core/catalog.h"
#include "core/refusal.h"

namespace hsc {

// The words of a refusal in `lang`; empty for none. Names that come from the package are
// shown with their control characters made harmless.
std::string refusal_text(Lang lang, const Refusal& refusal);

}  // namespace hsc
