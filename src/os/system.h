#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The process and the user: memory, environment, folders, language.
namespace hsc::os {

// Overwrites memory in a way the compiler may not leave out.
void wipe_memory(void* data, std::size_t size);

// The machine's physical memory in bytes; 0 when the system does not say.
std::uint64_t physical_memory();

// The password and the deciphered text live in this process's memory: no core file is
// written when it crashes, and other processes of the same user cannot read it through
// the debugger interface. Called first thing by both programs; true when both held.
bool keep_memory_private();

// The console shows what the program writes as UTF-8 and hands typed text over as
// UTF-8 (on Windows it takes the ANSI code page otherwise). Called first by the command
// line; nothing to do on POSIX, where the terminal's locale decides.
void use_utf8_console();

// A file size limit (ulimit -f) fails a write with EFBIG, which is reported, instead of
// killing the process. Nothing to do where there is no such limit.
void writes_beyond_size_limit_fail();

// An environment variable as UTF-8; nullopt when it is not set.
std::optional<std::string> environment(const char* name);

// The user's language as a locale name ("ja_JP.UTF-8", "ja-JP", "en"): the first of
// LC_ALL, LC_MESSAGES and LANG that is set; on Windows the user's display language.
std::string user_locale();

// The folder of the running program; empty when the system does not say.
std::filesystem::path executable_folder();

// The user's configuration folder: $XDG_CONFIG_HOME when absolute, else ~/.config;
// %APPDATA% on Windows. Empty when there is none.
std::filesystem::path config_folder();
// The POSIX rule on given values, for tests and for config_folder().
std::filesystem::path config_folder_from(std::string_view xdg_config_home, std::string_view home);

// The name of the channel through which a second copy of the window hands its files to
// the first: private to the user (in a runtime folder only the user may enter).
std::string single_instance_name();

}  // namespace hsc::os
