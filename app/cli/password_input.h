#pragma once

#include <string>

#include "core/catalog.h"

namespace hsc::cli {

// The first line of a file ("-": standard input), without its line end. false with a
// message in `lang` when it cannot be read or the line is empty.
bool read_password_file(const std::string& path, Lang lang, std::string& password, std::string& message);

// Asks on the terminal without echo, the prompts in `lang`; twice, and the answers must
// agree, when `confirm`.
bool ask_password(bool confirm, Lang lang, std::string& password, std::string& message);

}  // namespace hsc::cli
