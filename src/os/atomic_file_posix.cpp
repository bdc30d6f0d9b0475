#include "os/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace hsc {
namespace fs = std::filesystem;

namespace {

constexpr int TEMP_ATTEMPTS = 100;

// ---- named temporary files removed when the process is told to stop ----
//
// A signal handler may only call async-signal-safe functions and reach static data, so
// the names of the live temporary files sit in a small fixed table. It is the one piece
// of process-wide state here; it holds nothing but the names of our own files.
constexpr int SIGNAL_SLOTS = 64;
constexpr int SLOT_FREE = 0, SLOT_FILLING = 1, SLOT_LIVE = 2;
struct TempSlot {
    std::atomic<int> state{SLOT_FREE};
    char path[PATH_MAX];
};
TempSlot g_temp_slots[SIGNAL_SLOTS];
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_temps_and_stop(int sig) {
    const int saved = errno;
    for (TempSlot& slot : g_temp_slots)
        if (slot.state.load() == SLOT_LIVE) ::unlink(slot.path);
    // Then die of the signal as if we had not caught it.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
    errno = saved;
}

void install_stop_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : STOP_SIGNALS) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0) continue;
            // A program that set its own handler, or ignores the signal (nohup), keeps it.
            if (old.sa_handler != SIG_DFL || (old.sa_flags & SA_SIGINFO)) continue;
            struct sigaction act {};
            act.sa_handler = remove_temps_and_stop;
            ::sigemptyset(&act.sa_mask);
            for (int other : STOP_SIGNALS) ::sigaddset(&act.sa_mask, other);
            ::sigaction(sig, &act, nullptr);
        }
    });
}

// The slot now holding `path`, or -1 when the table is full or the path too long (the
// file is then only removed by the destructor).
int register_temp(const fs::path& path) {
    install_stop_handlers();
    std::error_code ec;
    const std::string text = fs::absolute(path, ec).string();
    if (ec || text.size() >= PATH_MAX) return -1;
    for (int i = 0; i < SIGNAL_SLOTS; ++i) {
        int expected = SLOT_FREE;
        if (!g_temp_slots[i].state.compare_exchange_strong(expected, SLOT_FILLING)) continue;
        std::memcpy(g_temp_slots[i].path, text.c_str(), text.size() + 1);
        g_temp_slots[i].state.store(SLOT_LIVE);
        return i;
    }
    return -1;
}

void unregister_temp(int& slot) {
    if (slot >= 0) g_temp_slots[slot].state.store(SLOT_FREE);
    slot = -1;
}

// ---- helpers ----

int retry_fsync(int fd) {
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
}

void fsync_folder(const fs::path& folder) {
    int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    // The move is durable once the folder is flushed; failing that is not a lost file.
    retry_fsync(fd);
    ::close(fd);
}

fs::path folder_of(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// A fresh hidden name in `folder`.
constexpr std::string_view TEMP_PREFIX = ".hushcel-", TEMP_SUFFIX = ".tmp";
constexpr std::size_t TEMP_NAME_SIZE = TEMP_PREFIX.size() + 16 + TEMP_SUFFIX.size();
fs::path random_name(const fs::path& folder, std::mt19937_64& rng) {
    char name[40];
    std::snprintf(name, sizeof name, ".hushcel-%016llx.tmp", static_cast<unsigned long long>(rng()));
    return folder / name;
}

bool is_temp_name(const std::string& name) {
    return name.size() == TEMP_NAME_SIZE && name.starts_with(TEMP_PREFIX) && name.ends_with(TEMP_SUFFIX) &&
           name.find_first_not_of("0123456789abcdef", TEMP_PREFIX.size()) == TEMP_NAME_SIZE - TEMP_SUFFIX.size();
}

std::mt19937_64 seeded() {
    std::random_device entropy;
    return std::mt19937_64((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
}

FileIdentity identity_from(const struct stat& st) {
    FileIdentity id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.mtime_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    id.ctime_ns = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    return id;
}

// Copies the extended attributes of one open file to another. Attributes the system
// will not set for us (security labels as a user, a file system without them) are
// left out; the workbook's content does not depend on them.
void copy_xattrs(int from, int to) {
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size <= 0) return;
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(from, names.data(), names.size());
    if (size <= 0) return;
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + size; name += std::strlen(name) + 1) {
        ssize_t n = ::fgetxattr(from, name, nullptr, 0);
        if (n < 0) continue;
        value.resize(static_cast<std::size_t>(n) + 1);
        n = ::fgetxattr(from, name, value.data(), value.size());
        if (n < 0) continue;
        ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(n), 0);
    }
}

// A live run holds its temporary file under a write lock of its open file from the
// moment it is made; a file it has not locked yet is a few microseconds old. The lock is
// of the kind that flock() does not see, so the footer's writer opens the file freely.
bool hold(int fd) {
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &whole) == 0;
}

constexpr std::int64_t TEMP_GRACE_NS = 2'000'000'000;

// Removes the hidden files that runs killed without a chance to clean up (SIGKILL, a
// power cut) left in `folder`: ours, old enough, and locked by nobody.
void remove_stale_temps(const fs::path& folder) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t now_ns = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    for (; !ec && it != end; it.increment(ec)) {
        if (!is_temp_name(it->path().filename().string())) continue;
        const int fd = ::open(it->path().c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {}, named {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            now_ns - identity_from(st).ctime_ns > TEMP_GRACE_NS && hold(fd) &&
            ::lstat(it->path().c_str(), &named) == 0 && named.st_dev == st.st_dev && named.st_ino == st.st_ino)
            ::unlink(it->path().c_str());
        ::close(fd);
    }
}

}  // namespace

// ---- InputFile ----

InputFile::~InputFile() { close(); }

void InputFile::close() {
    if (fd_ >= 0) ::close(fd_);  // also releases the lock
    fd_ = -1;
}

int InputFile::open(const fs::path& path, InputLock lock) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) return errno;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return EINVAL;
    identity_ = identity_from(st);
    mode_ = st.st_mode;
    owner_ = st.st_uid;
    links_ = st.st_nlink;
    if (::flock(fd_, (lock == InputLock::exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        // A file system without locks is still processed; a held lock is not.
        if (errno == EWOULDBLOCK) return EWOULDBLOCK;
    }
    return 0;
}

bool InputFile::unchanged(const fs::path& path) const {
    return fd_ >= 0 && identity_of(path) == identity_;
}

WriteAccess InputFile::write_access(const fs::path& path) const {
    if ((mode_ & 0222) == 0 || (owner_ == ::geteuid() && (mode_ & S_IWUSR) == 0)) return WriteAccess::read_only;
    // The system's answer counts groups and access lists; a read-only file system is
    // told apart by the commit that meets it.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
        if (errno == EPERM) return WriteAccess::immutable;  // the system's answer for it
        if (errno == EACCES) return WriteAccess::denied;
    }
    return WriteAccess::allowed;
}

bool InputFile::unchanged() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 && identity_from(st) == identity_;
}

os::FileMode process_umask() {
    // The system reports it in /proc; setting it to read it back is the way without.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

FileIdentity identity_of(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileIdentity{};
    return identity_from(st);
}

// ---- AtomicFile ----

AtomicFile::~AtomicFile() { discard(); }

int AtomicFile::open(const fs::path& target) {
    discard();
    target_ = target;
    const fs::path folder = folder_of(target);
    remove_stale_temps(folder);
    if (kind_ == TempKind::unnamed_if_possible) {
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // Composition and the footer open the file again through its /proc name.
            fs::path proc = "/proc/self/fd/" + std::to_string(fd);
            if (::access(proc.c_str(), W_OK) == 0) {
                // Held while the file lives, also once it has a hidden name: a held
                // temporary file is never taken for a stale one.
                hold(fd);
                fd_ = fd;
                temp_ = proc;
                unnamed_ = true;
                return 0;
            }
            ::close(fd);
        } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;  // the folder itself refuses: no other way will work
        }
    }
    auto rng = seeded();
    for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
        fs::path candidate = random_name(folder, rng);
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        hold(fd);
        fd_ = fd;
        temp_ = candidate;
        unnamed_ = false;
        signal_slot_ = register_temp(candidate);
        return 0;
    }
    return EEXIST;
}

int AtomicFile::sync(os::FileMode mode, int owner_of) {
    if (fd_ < 0) return EBADF;
    if (owner_of >= 0) {
        struct stat st {};
        if (::fstat(owner_of, &st) == 0 && ::fchown(fd_, st.st_uid, st.st_gid) != 0) {
            // Not root: at least the group, when we are one of its members.
            if (::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) != 0 && errno != EPERM) return errno;
        }
        copy_xattrs(owner_of, fd_);
    }
    // After the owner: changing the owner clears the set-id bits.
    if (::fchmod(fd_, mode & 07777) != 0) return errno;
    return retry_fsync(fd_);
}

// Gives the unnamed file the name `name`; EEXIST when it is taken.
int AtomicFile::link_to(const fs::path& name) {
    if (::linkat(AT_FDCWD, temp_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
    return 0;
}

// Renames the named file to `name`, replacing it or not.
int AtomicFile::move_to(const fs::path& name, bool replace) {
    if (replace) return ::rename(temp_.c_str(), name.c_str()) == 0 ? 0 : errno;
    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::link(temp_.c_str(), name.c_str()) == 0) {
        ::unlink(temp_.c_str());
        return 0;
    }
    // Nor hard links (which such systems refuse with EPERM).
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) return errno;
    return move_without_replacing(temp_, name);
}

int move_without_replacing(const fs::path& from, const fs::path& to) {
    const int placeholder = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (placeholder < 0) return errno;
    ::close(placeholder);
    if (::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int error = errno;
    ::unlink(to.c_str());
    return error;
}

// Gives the unnamed file a hidden name beside the target, so that it can be renamed.
int AtomicFile::give_name() {
    if (!unnamed_) return 0;
    auto rng = seeded();
    fs::path named;
    int rc = EEXIST;
    for (int attempt = 0; attempt < TEMP_ATTEMPTS && rc == EEXIST; ++attempt) {
        named = random_name(folder_of(target_), rng);
        signal_slot_ = register_temp(named);
        rc = link_to(named);
        if (rc != 0) unregister_temp(signal_slot_);
    }
    if (rc != 0) return rc;
    temp_ = named;
    unnamed_ = false;
    return 0;
}

// The new file is in place: nothing of ours is left to remove.
void AtomicFile::finish() {
    unregister_temp(signal_slot_);
    ::close(fd_);
    fd_ = -1;
    temp_.clear();
    fsync_folder(folder_of(target_));
}

int AtomicFile::commit(bool replace) {
    if (fd_ < 0) return EBADF;
    int rc = 0;
    if (unnamed_ && !replace) {
        rc = link_to(target_);
    } else {
        // A link cannot replace: the unnamed file gets a hidden name first.
        rc = give_name();
        if (rc == 0) rc = move_to(target_, replace);
    }
    if (rc != 0) return rc;
    finish();
    return 0;
}

AtomicFile::ReplaceResult AtomicFile::replace_if(InputFile& input) {
    const FileIdentity& expected = input.identity();
    if (fd_ < 0) return {Replaced::failed, EBADF};
    if (int rc = give_name(); rc != 0) return {Replaced::failed, rc};
    auto same_file = [](const fs::path& name, auto&& test) {
        struct stat st {};
        return ::lstat(name.c_str(), &st) == 0 && test(st);
    };
    auto is_ours = [this](const struct stat& st) {
        struct stat mine {};
        return ::fstat(fd_, &mine) == 0 && st.st_dev == mine.st_dev && st.st_ino == mine.st_ino;
    };
    auto is_expected = [&expected](const struct stat& st) { return identity_from(st).same_content(expected); };

    if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) != 0) {
        if (errno == ENOENT) return {Replaced::changed, 0};  // the input was moved away
        if (errno != EINVAL && errno != ENOSYS) return {Replaced::failed, errno};
        // A file system without the exchange: compare, then rename, as close together
        // as the system allows.
        if (!same_file(target_, [&](const struct stat& st) { return identity_from(st) == expected; }))
            return {Replaced::changed, 0};
        if (int rc = move_to(target_, true); rc != 0) return {Replaced::failed, rc};
        finish();
        return {Replaced::done, 0};
    }
    // The temporary name now holds what was at the target.
    if (same_file(temp_, is_expected)) {
        ::unlink(temp_.c_str());
        finish();
        return {Replaced::done, 0};
    }
    // Someone else's version: it goes back to its name. Should yet another version have
    // taken the name meanwhile, that newest one is put back instead, and the one between
    // is left under the hidden name (for a later run in the folder to remove).
    // The hidden name is removed later only while it holds our own file.
    const bool back = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0;
    if (!back || !same_file(temp_, is_ours)) {
        if (back) ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE);
        unregister_temp(signal_slot_);
        temp_.clear();
    }
    return {Replaced::changed, 0};
}

void AtomicFile::discard() {
    if (!unnamed_ && !temp_.empty()) ::unlink(temp_.c_str());
    unregister_temp(signal_slot_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    temp_.clear();
    unnamed_ = false;
}

}  // namespace hsc
