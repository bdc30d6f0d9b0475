#include "os/system.h"

#include "os/win32.h"

#include <shlobj.h>

#include <cstdlib>

namespace hsc::os {
namespace fs = std::filesystem;

void wipe_memory(void* data, std::size_t size) { ::SecureZeroMemory(data, size); }

std::uint64_t physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return ::GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

// Windows writes no core file by itself, and another process needs the debug privilege
// or our own token to read our memory; there is nothing further to switch off.
bool keep_memory_private() { return true; }

void use_utf8_console() {
    ::SetConsoleOutputCP(CP_UTF8);
    ::SetConsoleCP(CP_UTF8);
}

void writes_beyond_size_limit_fail() {}

std::optional<std::string> environment(const char* name) {
    const std::wstring key = win32::wide(name);
    const DWORD n = ::GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (n == 0) return ::GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    std::wstring value(n, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(key.c_str(), value.data(), n);
    value.resize(got);
    return win32::utf8(value);
}

// The display language the user chose, not the environment (LANG is not Windows's way).
std::string user_locale() {
    const LANGID id = ::GetUserDefaultUILanguage();
    return PRIMARYLANGID(id) == LANG_JAPANESE ? "ja-JP" : "en-US";
}

fs::path executable_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            return fs::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

fs::path config_folder() {
    PWSTR folder = nullptr;
    fs::path result;
    if (::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &folder) == S_OK) result = fs::path(folder);
    ::CoTaskMemFree(folder);
    return result;
}

// A named pipe's name: the session and user keep copies of other users apart.
std::string single_instance_name() {
    DWORD session = 0;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    wchar_t user[256] = {};
    DWORD n = 256;
    ::GetUserNameW(user, &n);
    return "Hushcel-" + std::to_string(session) + "-" + win32::utf8(user);
}

}  // namespace hsc::os
