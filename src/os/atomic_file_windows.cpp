#include "os/atomic_file.h"

#include "os/win32.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>

namespace hsc {
namespace fs = std::filesystem;

namespace {

constexpr int TEMP_ATTEMPTS = 100;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// ---- named temporary files removed when the console is told to stop ----
//
// The console's control handler runs on a thread of its own while the others go on; the
// names of the live temporary files sit in a small fixed table it can walk without a
// lock. It is the one piece of process-wide state here and holds only our own names.
constexpr int SIGNAL_SLOTS = 64;
constexpr int SLOT_FREE = 0, SLOT_FILLING = 1, SLOT_LIVE = 2;
constexpr std::size_t SLOT_CHARS = 32768;  // the longest path Windows knows
struct TempSlot {
    std::atomic<int> state{SLOT_FREE};
    wchar_t path[SLOT_CHARS];
};
TempSlot g_temp_slots[SIGNAL_SLOTS];

BOOL WINAPI remove_temps(DWORD) {
    for (TempSlot& slot : g_temp_slots)
        if (slot.state.load() == SLOT_LIVE) ::DeleteFileW(slot.path);
    return FALSE;  // the default handler then ends the program
}

int register_temp(const fs::path& path) {
    static std::once_flag once;
    std::call_once(once, [] { ::SetConsoleCtrlHandler(remove_temps, TRUE); });
    std::error_code ec;
    const std::wstring text = fs::absolute(path, ec).wstring();
    if (ec || text.size() >= SLOT_CHARS) return -1;
    for (int i = 0; i < SIGNAL_SLOTS; ++i) {
        int expected = SLOT_FREE;
        if (!g_temp_slots[i].state.compare_exchange_strong(expected, SLOT_FILLING)) continue;
        text.copy(g_temp_slots[i].path, text.size());
        g_temp_slots[i].path[text.size()] = L'\0';
        g_temp_slots[i].state.store(SLOT_LIVE);
        return i;
    }
    return -1;
}

void unregister_temp(int& slot) {
    if (slot >= 0) g_temp_slots[slot].state.store(SLOT_FREE);
    slot = -1;
}

fs::path folder_of(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

fs::path random_name(const fs::path& folder, std::mt19937_64& rng) {
    char name[40];
    std::snprintf(name, sizeof name, ".hushcel-%016llx.tmp", static_cast<unsigned long long>(rng()));
    return folder / name;
}

std::mt19937_64 seeded() {
    std::random_device entropy;
    return std::mt19937_64((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
}

std::int64_t ticks_ns(LARGE_INTEGER t) { return t.QuadPart * 100; }

// The identity of an open handle: volume and file index stand for device and inode; the
// change time is what NTFS moves on any write, as ctime does on POSIX.
bool identity_from(HANDLE h, FileIdentity& id, std::uint64_t* links = nullptr, DWORD* attributes = nullptr) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(h, &info)) return false;
    if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
    id.device = info.dwVolumeSerialNumber;
    id.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    id.mtime_ns = ticks_ns(basic.LastWriteTime);
    id.ctime_ns = ticks_ns(basic.ChangeTime);
    if (links) *links = info.nNumberOfLinks;
    if (attributes) *attributes = info.dwFileAttributes;
    return true;
}

// ReplaceFileW and MoveFileExW want full paths under some systems (Wine among them).
std::wstring full(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).wstring();
}

// The rename that may replace a file still open elsewhere: MoveFileExW refuses to
// replace a file anyone holds open (ACCESS_DENIED), and the input workbook is held open
// for the whole run. The POSIX-semantics rename of NtSetInformationFile unlinks the old
// name at once while the open handles keep the old file; Windows 10 1709 and later and
// Wine have it. ENOSYS where the system does not know the call.
using NtStatus = LONG;
struct IoStatus {
    union {
        NtStatus status;
        void* pointer;
    };
    ULONG_PTR information;
};
using NtSetInformationFileCall = NtStatus(NTAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
using NtStatusToErrorCall = ULONG(NTAPI*)(NtStatus);
constexpr int FILE_RENAME_INFORMATION_EX = 65;
constexpr ULONG RENAME_REPLACE_IF_EXISTS = 0x1, RENAME_POSIX_SEMANTICS = 0x2;
constexpr NtStatus NT_NOT_IMPLEMENTED = static_cast<NtStatus>(0xC0000002), NT_INVALID_INFO_CLASS = static_cast<NtStatus>(0xC0000003),
                   NT_INVALID_PARAMETER = static_cast<NtStatus>(0xC000000D), NT_NOT_SUPPORTED = static_cast<NtStatus>(0xC00000BB);

// A Win32 full path as the NT name the native calls take.
std::wstring nt_path(const std::wstring& path) {
    if (path.starts_with(L"\\\\?\\")) return L"\\??\\" + path.substr(4);       // \\?\C:\... already verbatim
    if (path.starts_with(L"\\\\")) return L"\\??\\UNC\\" + path.substr(2);    // \\server\share
    return L"\\??\\" + path;
}

int posix_rename(const fs::path& from, const fs::path& to, bool replace) {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto set_information =
        ntdll ? reinterpret_cast<NtSetInformationFileCall>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtSetInformationFile"))) : nullptr;
    const auto to_error =
        ntdll ? reinterpret_cast<NtStatusToErrorCall>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlNtStatusToDosError"))) : nullptr;
    if (!set_information || !to_error) return ENOSYS;

    // The record: flags, root, length in bytes, then the target's NT path.
    const std::wstring name = nt_path(full(to));
    struct Head {
        ULONG flags;
        HANDLE root;
        ULONG length;
    };
    const std::size_t name_at = offsetof(Head, length) + sizeof(ULONG);
    std::vector<std::uint8_t> record(name_at + (name.size() + 1) * sizeof(wchar_t), 0);
    Head head{RENAME_POSIX_SEMANTICS | (replace ? RENAME_REPLACE_IF_EXISTS : 0), nullptr,
              static_cast<ULONG>(name.size() * sizeof(wchar_t))};
    std::memcpy(record.data(), &head, name_at);
    std::memcpy(record.data() + name_at, name.data(), name.size() * sizeof(wchar_t));

    HANDLE h = ::CreateFileW(full(from).c_str(), DELETE | SYNCHRONIZE, SHARE_ALL, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return os::win32::errno_from(::GetLastError());
    IoStatus io{};
    const NtStatus status = set_information(h, &io, record.data(), static_cast<ULONG>(record.size()), FILE_RENAME_INFORMATION_EX);
    if (status == 0) ::FlushFileBuffers(h);
    ::CloseHandle(h);
    if (status == 0) return 0;
    if (status == NT_NOT_IMPLEMENTED || status == NT_INVALID_INFO_CLASS || status == NT_INVALID_PARAMETER ||
        status == NT_NOT_SUPPORTED)
        return ENOSYS;
    return os::win32::errno_from(to_error(status));
}

int move_file(const fs::path& from, const fs::path& to, bool replace) {
    if (const int rc = posix_rename(from, to, replace); rc != ENOSYS) return rc;
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (::MoveFileExW(full(from).c_str(), full(to).c_str(), flags)) return 0;
    return os::win32::errno_from(::GetLastError());
}

}  // namespace

// ---- InputFile ----

InputFile::~InputFile() { close(); }

void InputFile::close() {
    if (fd_ >= 0) os::close(fd_);
    fd_ = -1;
}

int InputFile::open(const fs::path& path, InputLock lock) {
    if (fd_ >= 0) os::close(fd_);
    fd_ = -1;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return os::win32::errno_from(::GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
    if (attributes & FILE_ATTRIBUTE_DEVICE) return EINVAL;
    fd_ = os::open(path, os::Access::read);
    if (fd_ < 0) return errno;
    std::uint64_t links = 0;
    DWORD attrs = 0;
    if (!identity_from(os::win32::handle_of(fd_), identity_, &links, &attrs)) return EIO;
    if (::GetFileType(os::win32::handle_of(fd_)) != FILE_TYPE_DISK) return EINVAL;
    mode_ = (attrs & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    owner_ = 0;
    links_ = links;
    if (os::lock(fd_, lock == InputLock::exclusive ? os::Lock::exclusive : os::Lock::shared) == EWOULDBLOCK)
        return EWOULDBLOCK;
    return 0;
}

bool InputFile::unchanged(const fs::path& path) const { return fd_ >= 0 && identity_of(path) == identity_; }

WriteAccess InputFile::write_access(const fs::path& path) const {
    if ((mode_ & 0222) == 0) return WriteAccess::read_only;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, SHARE_ALL, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED) return WriteAccess::denied;
        return WriteAccess::allowed;  // busy or gone: the commit tells
    }
    ::CloseHandle(h);
    return WriteAccess::allowed;
}

bool InputFile::unchanged() const {
    FileIdentity now;
    return fd_ >= 0 && identity_from(os::win32::handle_of(fd_), now) && now == identity_;
}

// Windows has no creation mask; a new file gets the folder's inherited access list.
os::FileMode process_umask() { return 0; }

int move_without_replacing(const fs::path& from, const fs::path& to) { return move_file(from, to, false); }

FileIdentity identity_of(const fs::path& path) {
    HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, SHARE_ALL, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FileIdentity{};
    FileIdentity id;
    if (!identity_from(h, id)) id = FileIdentity{};
    ::CloseHandle(h);
    return id;
}

// ---- AtomicFile ----
//
// Windows has no unnamed files: the temporary file always has a name beside the target,
// opened with every sharing flag so that it can be renamed while open.

AtomicFile::~AtomicFile() { discard(); }

int AtomicFile::open(const fs::path& target) {
    discard();
    target_ = target;
    const fs::path folder = folder_of(target);
    auto rng = seeded();
    for (int attempt = 0; attempt < TEMP_ATTEMPTS; ++attempt) {
        fs::path candidate = random_name(folder, rng);
        const int fd = os::open(candidate, os::Access::create_exclusive, os::PRIVATE_FILE_MODE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        fd_ = fd;
        temp_ = candidate;
        unnamed_ = false;
        signal_slot_ = register_temp(candidate);
        return 0;
    }
    return EEXIST;
}

// Only the read-only attribute carries over: the new file inherits the folder's access
// list, as a file saved by any program there does.
int AtomicFile::sync(os::FileMode mode, int) {
    if (fd_ < 0) return EBADF;
    if (os::sync(fd_) != 0) return errno;
    if ((mode & 0222) == 0) {
        const DWORD attributes = ::GetFileAttributesW(temp_.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            ::SetFileAttributesW(temp_.c_str(), attributes | FILE_ATTRIBUTE_READONLY);
    }
    return 0;
}

int AtomicFile::link_to(const fs::path& name) { return move_file(temp_, name, false); }

int AtomicFile::give_name() { return 0; }

int AtomicFile::move_to(const fs::path& name, bool replace) { return move_file(temp_, name, replace); }

void AtomicFile::finish() {
    unregister_temp(signal_slot_);
    os::close(fd_);
    fd_ = -1;
    temp_.clear();
}

int AtomicFile::commit(bool replace) {
    if (fd_ < 0) return EBADF;
    if (const int rc = move_to(target_, replace); rc != 0) return rc;
    finish();
    return 0;
}

// No exchange of two names in one step here: compare, then rename, as close together
// as the system allows.
AtomicFile::ReplaceResult AtomicFile::replace_if(InputFile& input) {
    if (fd_ < 0) return {Replaced::failed, EBADF};
    const FileIdentity now = identity_of(target_);
    if (now.size < 0 || !now.same_content(input.identity())) return {Replaced::changed, 0};
    int rc = move_to(target_, true);
    if (rc == EACCES && input.fd() >= 0) {
        // Refused because the input itself is open: released, and renamed again.
        input.close();
        rc = move_to(target_, true);
    }
    if (rc != 0) return {Replaced::failed, rc};
    finish();
    return {Replaced::done, 0};
}

void AtomicFile::discard() {
    if (fd_ >= 0) os::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) {
        // A read-only attribute given by sync() would stop the removal.
        ::SetFileAttributesW(temp_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(temp_.c_str());
    }
    unregister_temp(signal_slot_);
    temp_.clear();
    unnamed_ = false;
}

}  // namespace hsc
