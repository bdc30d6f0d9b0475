#include "os/spreadsheet.h"

#include "os/win32.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>

#include "os/file.h"
#include "os/system.h"

namespace hsc {
namespace fs = std::filesystem;

namespace {

// The default value of a key under HKEY_CLASSES_ROOT; empty when there is none.
std::wstring class_value(const std::wstring& key) {
    DWORD size = 0;
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, nullptr,
                       &size) != ERROR_SUCCESS)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr,
                       value.data(), &size) != ERROR_SUCCESS)
        return {};
    value.resize(wcslen(value.c_str()));
    return value;
}

// The program of the spreadsheet application's automation server ("Excel.Application"
// -> its class id -> LocalServer32): the executable, without the switches after it.
std::vector<std::string> registered_server() {
    const std::wstring clsid = class_value(L"Excel.Application\\CLSID");
    if (clsid.empty()) return {};
    std::wstring command = class_value(L"CLSID\\" + clsid + L"\\LocalServer32");
    if (command.empty()) return {};
    std::wstring program;
    if (command.front() == L'"') {
        const std::size_t end = command.find(L'"', 1);
        program = command.substr(1, end == std::wstring::npos ? std::wstring::npos : end - 1);
    } else {
        // An unquoted path may hold blanks: it ends at ".exe".
        std::wstring lower = command;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
        const std::size_t exe = lower.find(L".exe");
        program = exe == std::wstring::npos ? command.substr(0, command.find(L' ')) : command.substr(0, exe + 4);
    }
    return {os::win32::utf8(program)};
}

// One argument as the C runtime's parser reads it back: quoted when it holds a blank or
// a quote, backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

std::optional<fs::path> find_program(std::string_view name, std::string_view search_path) {
    if (name.empty()) return std::nullopt;
    const fs::path given = os::u8_path(name);
    auto runnable = [](const fs::path& p) {
        const DWORD a = ::GetFileAttributesW(p.c_str());
        return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
    };
    auto with_extension = [&](const fs::path& p) -> std::optional<fs::path> {
        if (runnable(p)) return p;
        if (!p.has_extension()) {
            fs::path exe = p;
            exe += L".exe";
            if (runnable(exe)) return exe;
        }
        return std::nullopt;
    };
    if (name.find_first_of("\\/:") != std::string_view::npos) return with_extension(given);
    std::size_t start = 0;
    while (start <= search_path.size()) {
        std::size_t end = search_path.find(';', start);
        if (end == std::string_view::npos) end = search_path.size();
        const std::string dir(search_path.substr(start, end - start));
        if (!dir.empty())
            if (auto found = with_extension(os::u8_path(dir) / given)) return found;
        start = end + 1;
    }
    return std::nullopt;
}

SpreadsheetLookup SpreadsheetLookup::from_environment() {
    SpreadsheetLookup lookup;
    if (auto o = os::environment("HUSHCEL_SPREADSHEET"); o && !o->empty()) lookup.override_command = *o;
    lookup.search_path = os::environment("PATH").value_or("");
    if (!lookup.override_command) lookup.registered_argv = registered_server();
    return lookup;
}

bool os::process_running(std::string_view name) {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const std::wstring wanted = win32::wide(name);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found; more = ::Process32NextW(snapshot, &entry))
        found = ::CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL;
    ::CloseHandle(snapshot);
    return found;
}

bool os::file_time(const fs::path& path, FileTime& time) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    FILETIME local_ft{};
    SYSTEMTIME local{};
    if (!::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local_ft) || !::FileTimeToSystemTime(&local_ft, &local))
        return false;
    time.year = local.wYear;
    time.month = local.wMonth;
    time.day = local.wDay;
    time.hour = local.wHour;
    time.minute = local.wMinute;
    time.second = local.wSecond;
    // The 100-ns ticks within the second.
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    time.nanosecond = static_cast<long>((ticks % 10000000ull) * 100);
    return true;
}

bool os::run_and_wait(const fs::path& program, const std::vector<std::string>& argv) {
    if (argv.empty()) return false;
    std::wstring line;
    for (const std::string& a : argv) {
        if (!line.empty()) line += L' ';
        line += quoted(win32::wide(a));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    ::CloseHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace hsc
