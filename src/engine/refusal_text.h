#pragma once

#include <cstdint>
#include <string>

#include "core/catalog.h"
#include "core/refusal.h"

namespace hsc {

// The words of a refusal in `lang`; empty for none. Names that come from the package are
// shown with their control characters made harmless.
std::string refusal_text(Lang lang, const Refusal& refusal);

// Why a file of `size` bytes, too short to hold a footer, is no workbook: the zip
// reader's refusal of its directory when there is one, else its size.
std::string short_file_text(Lang lang, const Refusal& directory, std::uint64_t size);

}  // namespace hsc
