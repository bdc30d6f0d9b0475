#include "os/system.h"

#include <pwd.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

namespace hsc::os {
namespace fs = std::filesystem;

void wipe_memory(void* data, std::size_t size) { ::explicit_bzero(data, size); }

std::uint64_t physical_memory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page <= 0) return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page);
}

bool keep_memory_private() {
    const rlimit none{0, 0};
    const bool no_core = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && no_core;
}

void use_utf8_console() {}

void writes_beyond_size_limit_fail() { std::signal(SIGXFSZ, SIG_IGN); }

std::optional<std::string> environment(const char* name) {
    const char* v = std::getenv(name);
    if (!v) return std::nullopt;
    return std::string(v);
}

std::string user_locale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* v = std::getenv(name); v && *v) return v;
    return {};
}

fs::path executable_folder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path config_folder() {
    std::string home = environment("HOME").value_or("");
    if (home.empty()) {
        struct passwd pw {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    return config_folder_from(environment("XDG_CONFIG_HOME").value_or(""), home);
}

// In the user's private runtime folder when there is one: a name in the shared temporary
// folder could be taken first by another user, who would then receive our file paths.
std::string single_instance_name() {
    const std::string name = "Hushcel-" + std::to_string(::getuid());
    const std::string runtime = environment("XDG_RUNTIME_DIR").value_or("");
    if (runtime.empty()) return name;
    struct stat st {};
    // Only a folder of our own that nobody else may enter keeps the name private.
    if (::stat(runtime.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0)
        return name;
    return runtime + '/' + name;
}

}  // namespace hsc::os
