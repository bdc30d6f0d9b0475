#pragma once

#include <string>
#include <string_view>

#include "core/catalog.h"
#include "core/mask_settings.h"

// The one place where program text (UTF-8) meets the CP932 bytes that stored formats
// carry: the password (check value, container key, write-reservation hash) and the
// sealed hints.
namespace hsc {

// true and `out` set when every character has a CP932 form; false (out untouched)
// otherwise, including for invalid UTF-8.
bool utf8_to_cp932(std::string_view utf8, std::string& out);
// true and `out` set when the bytes are valid CP932; false (out untouched) otherwise.
bool cp932_to_utf8(std::string_view cp932, std::string& out);
// For showing stored bytes to a user: the UTF-8 form, or the bytes as "\xNN" escapes
// where they are not valid CP932.
std::string cp932_display(std::string_view cp932);

// Turns the texts that enter stored bytes (password, password_hint, keyfile_hint) into
// CP932 in a copy of the settings. false with a user message (UTF-8, in `lang`) when a
// text has no CP932 form or is longer than its byte limit in CP932. Outside the
// compatible format the password is kept as given (password_utf8) and only its CP932 form
// is optional (has_original_password).
bool stored_settings(const MaskSettings& settings, StoredSettings& stored, std::string& message,
                     Lang lang = Lang::ja);
// Why the password cannot serve the original format (no CP932 form, over 31 bytes), as
// a message; empty when it can.
std::string original_password_problem(const MaskSettings& settings, Lang lang = Lang::ja);
// Settings already in their stored form are not converted a second time.
bool stored_settings(const StoredSettings&, StoredSettings&, std::string&, Lang = Lang::ja) = delete;

}  // namespace hsc
