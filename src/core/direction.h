#pragma once

namespace hsc {

// Which way a workbook is processed: masked (no footer yet) or restored.
enum class Direction { mask, unmask };

}  // namespace hsc
