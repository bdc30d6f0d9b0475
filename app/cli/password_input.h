#pragma once

#include <string>

namespace hsc::cli {

// The first line of a file ("-": standard input), without its line end. false with a
// message when it cannot be read or the line is empty.
bool read_password_file(const std::string& path, std::string& password, std::string& message);

// Asks on the terminal without echo; twice, and the answers must agree, when `confirm`.
bool ask_password(bool confirm, std::string& password, std::string& message);

}  // namespace hsc::cli
