#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "os/spreadsheet.h"

extern char** environ;

namespace hsc {
namespace fs = std::filesystem;

namespace {

// Runs argv with its standard output read into out; true when it ends with status 0.
bool run_capture(const std::vector<std::string>& argv, std::string& out) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) out.append(buf, static_cast<std::size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<fs::path> find_program(std::string_view name, std::string_view search_path) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string_view::npos) {
        if (::access(std::string(name).c_str(), X_OK) == 0) return fs::path(name);
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= search_path.size()) {
        std::size_t end = search_path.find(':', start);
        if (end == std::string_view::npos) end = search_path.size();
        std::string dir(search_path.substr(start, end - start));
        fs::path candidate = fs::path(dir.empty() ? "." : dir) / std::string(name);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

SpreadsheetLookup SpreadsheetLookup::from_environment() {
    SpreadsheetLookup lookup;
    if (const char* o = std::getenv("HUSHCEL_SPREADSHEET"); o && *o) lookup.override_command = o;
    const char* path = std::getenv("PATH");
    lookup.search_path = path ? path : "/usr/local/bin:/usr/bin:/bin";
    const char* home = std::getenv("HOME");
    if (const char* d = std::getenv("XDG_DATA_HOME"); d && *d) lookup.data_dirs.emplace_back(d);
    else if (home && *home) lookup.data_dirs.push_back(fs::path(home) / ".local/share");
    std::string dirs = "/usr/local/share:/usr/share";
    if (const char* d = std::getenv("XDG_DATA_DIRS"); d && *d) dirs = d;
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        if (end > start) lookup.data_dirs.emplace_back(dirs.substr(start, end - start));
        start = end + 1;
    }
    if (!lookup.override_command && find_program("xdg-mime", lookup.search_path)) {
        std::string out;
        if (run_capture({"xdg-mime", "query", "default", std::string(XLSX_MIME_TYPE)}, out)) {
            while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
            if (auto nl = out.find('\n'); nl != std::string::npos) out.resize(nl);
            lookup.desktop_id = out;
        }
    }
    return lookup;
}

bool os::process_running(std::string_view name) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (dirent* e = ::readdir(proc)) {
        std::string_view pid = e->d_name;
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string_view::npos) continue;
        char target[4096];
        std::string link = "/proc/" + std::string(pid) + "/exe";
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;  // gone, a kernel thread, or another user's
        std::string_view exe(target, static_cast<std::size_t>(n));
        if (exe.ends_with(" (deleted)")) exe.remove_suffix(10);
        std::size_t slash = exe.rfind('/');
        if (exe.substr(slash == std::string_view::npos ? 0 : slash + 1) == name) {
            found = true;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool os::file_time(const fs::path& path, FileTime& time) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    struct tm local;
    if (!::localtime_r(&st.st_mtim.tv_sec, &local)) return false;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.nanosecond = st.st_mtim.tv_nsec;
    return true;
}

bool os::run_and_wait(const fs::path& program, const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0) return false;
    int status;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace hsc
