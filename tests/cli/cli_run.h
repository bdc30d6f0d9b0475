#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hsc::test {

struct CliResult {
    int exit_code = -1;
    std::string out, err;
};

// Runs the built `hushcel` in `cwd` with `args`, the extra environment `env` (HOME and
// XDG_CONFIG_HOME point into `cwd`, so no user settings are read) and `input` on stdin.
// The locale is Japanese (LANG=ja_JP.UTF-8) unless `env` names LC_ALL, LC_MESSAGES or
// LANG; then only those it names are set, and a name with an empty value is left unset.
// Any variable `env` names replaces the one inherited, or with an empty value removes it
// (KDF_COST_ENV: the product's key derivation cost instead of the tests' cheap one).
CliResult run_hushcel(const std::filesystem::path& cwd, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env = {}, const std::string& input = "");

// Runs a shell command line; its exit code.
int run_shell(const std::string& command);

}  // namespace hsc::test
