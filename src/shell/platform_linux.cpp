#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "core/status.h"
#include "shell/platform.h"

extern char** environ;

namespace hsc {
namespace fs = std::filesystem;

std::optional<std::vector<std::string>> split_command_line(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quote == '\'') {
            if (c == '\'') quote = 0;
            else word += c;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            in_word = true;
        } else if (quote == '"') {
            if (c == '"') quote = 0;
            else word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quote) return std::nullopt;
    if (in_word) words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<std::string>> desktop_exec_argv(std::string_view exec, const std::string& file) {
    auto words = split_command_line(exec);
    if (!words || words->empty()) return std::nullopt;
    std::vector<std::string> argv;
    bool placed = false;
    for (const std::string& w : *words) {
        // A word that is just a list code expands to the file (or nothing).
        if (w == "%F" || w == "%U" || w == "%f" || w == "%u") {
            if (!placed) argv.push_back(file);
            placed = true;
            continue;
        }
        if (w == "%i" || w == "%c" || w == "%k") continue;  // icon, name, entry: not ours to give
        std::string out;
        for (std::size_t i = 0; i < w.size(); ++i) {
            if (w[i] != '%' || i + 1 == w.size()) {
                out += w[i];
                continue;
            }
            char code = w[++i];
            if (code == '%') out += '%';
            else if (code == 'f' || code == 'u' || code == 'F' || code == 'U') {
                out += file;
                placed = true;
            }
            // other codes are deprecated or not applicable: dropped
        }
        argv.push_back(std::move(out));
    }
    if (!placed) argv.push_back(file);
    return argv;
}

namespace {

// The Exec value of the [Desktop Entry] group of one file.
std::optional<std::string> read_desktop_exec(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return std::nullopt;
    std::string line;
    bool in_entry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with('[')) {
            in_entry = line == "[Desktop Entry]";
            continue;
        }
        if (!in_entry || !line.starts_with("Exec")) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        if (key != "Exec") continue;
        std::size_t start = line.find_first_not_of(' ', eq + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return std::nullopt;
}

std::string process_name_for(const fs::path& program) {
    std::error_code ec;
    fs::path real = fs::canonical(program, ec);
    std::string base = (ec ? program : real).filename().string();
    std::string given = program.filename().string();
    // LibreOffice's launchers are scripts that end up in soffice.bin.
    for (const std::string& name : {base, given}) {
        if (name == "soffice" || name == "localc" || name.starts_with("libreoffice")) return "soffice.bin";
    }
    return base;
}

// Runs argv with its standard output read into out; 0 when it ends with status 0.
int run_capture(const std::vector<std::string>& argv, std::string& out) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return RC_FAIL;
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
        return RC_FAIL;
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
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? RC_OK : RC_FAIL;
}

}  // namespace

std::optional<std::string> find_desktop_exec(std::string_view desktop_id, const std::vector<fs::path>& data_dirs) {
    if (desktop_id.empty() || desktop_id.find('/') != std::string_view::npos) return std::nullopt;
    for (const fs::path& dir : data_dirs) {
        fs::path apps = dir / "applications";
        // "vendor-app.desktop" may live at applications/vendor/app.desktop.
        std::string id(desktop_id);
        std::vector<fs::path> candidates{apps / id};
        for (std::size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
            std::string sub = id;
            sub[dash] = '/';
            candidates.push_back(apps / sub);
        }
        for (const fs::path& c : candidates) {
            if (auto exec = read_desktop_exec(c)) return exec;
        }
    }
    return std::nullopt;
}

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
        if (run_capture({"xdg-mime", "query", "default", std::string(XLSX_MIME_TYPE)}, out) == RC_OK) {
            while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
            if (auto nl = out.find('\n'); nl != std::string::npos) out.resize(nl);
            lookup.desktop_id = out;
        }
    }
    return lookup;
}

std::optional<SpreadsheetCommand> resolve_spreadsheet(const SpreadsheetLookup& lookup, const std::string& file) {
    std::optional<std::vector<std::string>> argv;
    if (lookup.override_command) {
        argv = split_command_line(*lookup.override_command);
        if (!argv || argv->empty()) return std::nullopt;
        argv->push_back(file);
    } else {
        if (auto exec = find_desktop_exec(lookup.desktop_id, lookup.data_dirs)) argv = desktop_exec_argv(*exec, file);
        if (!argv || argv->empty() || !find_program(argv->front(), lookup.search_path)) {
            if (!find_program("libreoffice", lookup.search_path)) return std::nullopt;
            argv = std::vector<std::string>{"libreoffice", "--calc", file};
        }
    }
    auto program = find_program(argv->front(), lookup.search_path);
    if (!program) return std::nullopt;
    std::string name = process_name_for(*program);
    return SpreadsheetCommand{std::move(*program), std::move(*argv), std::move(name)};
}

int hsc_find_process(std::string_view name) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return RC_FAIL;
    int found = RC_FAIL;
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
            found = RC_OK;
            break;
        }
    }
    ::closedir(proc);
    return found;
}

bool keep_memory_private() {
    const rlimit none{0, 0};
    const bool no_core = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && no_core;
}

int hsc_get_file_time(const fs::path& path, FileTime& time) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return RC_OPEN;
    struct tm local;
    if (!::localtime_r(&st.st_mtim.tv_sec, &local)) return RC_OPEN;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.nanosecond = st.st_mtim.tv_nsec;
    return RC_OK;
}

int run_and_wait(const fs::path& program, const std::vector<std::string>& argv) {
    if (argv.empty()) return RC_FAIL;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ) != 0) return RC_FAIL;
    int status;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return RC_FAIL;
    }
    return RC_OK;
}

SpreadsheetLookup LinuxPlatform::lookup() { return lookup_ ? *lookup_ : SpreadsheetLookup::from_environment(); }

int LinuxPlatform::get_file_time(const fs::path& path, FileTime& time) { return hsc_get_file_time(path, time); }

int LinuxPlatform::find_spreadsheet_process() {
    auto command = resolve_spreadsheet(lookup(), "");
    if (!command) return RC_FAIL;
    return hsc_find_process(command->process_name);
}

int LinuxPlatform::open_with_excel(const fs::path& path) {
    auto command = resolve_spreadsheet(lookup(), path.string());
    if (!command) return RC_FAIL;
    return run_and_wait(command->program, command->argv);
}

}  // namespace hsc
