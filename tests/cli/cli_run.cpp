#include "cli_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/quick_kdf.h"
#include "support/temp_dir.h"

namespace hsc::test {

namespace fs = std::filesystem;

namespace {
// Every program these tests start (through run_hushcel, a shell or a terminal) derives
// new keys at the tests' cost, unless a test names the variable itself.
const bool quick_kdf_for_children = [] { return ::setenv(KDF_COST_ENV, "1,8192", 0) == 0; }();
}  // namespace

CliResult run_hushcel(const fs::path& cwd, const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env, const std::string& input) {
    const fs::path binary = binary_dir() / "hushcel";
    if (!fs::exists(binary)) throw std::runtime_error("hushcel is not built: " + binary.string());
    TempDir io;
    write_file(io / "in", input);

    // The machine's locale never reaches the program: the language is the test's choice.
    const char* const locale_names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    bool locale_given = false;
    for (const char* name : locale_names) locale_given = locale_given || env.count(name) > 0;
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        if (kv.starts_with("HUSHCEL_PASSWORD=") || kv.starts_with("HOME=") || kv.starts_with("XDG_CONFIG_HOME=") ||
            kv.starts_with("LC_ALL=") || kv.starts_with("LC_MESSAGES=") || kv.starts_with("LANG=") ||
            env.count(kv.substr(0, kv.find('='))) > 0)  // the test's own value, or none
            continue;
        env_text.push_back(kv);
    }
    env_text.push_back("HOME=" + (io / "home").string());
    env_text.push_back("XDG_CONFIG_HOME=" + (io / "config").string());
    if (!locale_given) env_text.push_back("LANG=ja_JP.UTF-8");
    for (const auto& [k, v] : env)
        if (!v.empty()) env_text.push_back(k + "=" + v);  // an empty value: not set at all
    std::vector<char*> envp, argv;
    for (auto& s : env_text) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string bin = binary.string();
    argv.push_back(bin.data());
    std::vector<std::string> arg_copy = args;
    for (auto& a : arg_copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string in = (io / "in").string(), out = (io / "out").string(), err = (io / "err").string();
    pid_t pid = ::fork();
    if (pid == 0) {
        int fi = ::open(in.c_str(), O_RDONLY);
        int fo = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int fe = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fi, 0);
        ::dup2(fo, 1);
        ::dup2(fe, 2);
        ::setsid();  // no controlling terminal: --ask-password has nothing to ask on
        if (::chdir(cwd.c_str()) != 0) ::_exit(126);
        ::execve(bin.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliResult r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = read_file(out);
    r.err = read_file(err);
    return r;
}

int run_shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace hsc::test
