#include "os/terminal.h"

#include "os/win32.h"

#include <atomic>

namespace hsc::os {
namespace {

// The console's input mode while echo is off, for the control handler: Ctrl-C at the
// prompt must not leave the console without echo. The handler runs on a thread of its
// own, so it reaches only these two values.
std::atomic<HANDLE> g_prompt_console{nullptr};
DWORD g_prompt_saved_mode = 0;

BOOL WINAPI restore_echo(DWORD) {
    if (HANDLE h = g_prompt_console.load()) ::SetConsoleMode(h, g_prompt_saved_mode);
    return FALSE;  // and on to the default handler, which ends the program
}

class EchoOff {
public:
    explicit EchoOff(HANDLE console) {
        if (!::GetConsoleMode(console, &g_prompt_saved_mode)) return;
        g_prompt_console.store(console);
        ::SetConsoleCtrlHandler(restore_echo, TRUE);
        ::SetConsoleMode(console, (g_prompt_saved_mode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
        active_ = true;
    }
    ~EchoOff() {
        if (!active_) return;
        ::SetConsoleMode(g_prompt_console.load(), g_prompt_saved_mode);
        g_prompt_console.store(nullptr);
        ::SetConsoleCtrlHandler(restore_echo, FALSE);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    bool active_ = false;
};

}  // namespace

Terminal::Terminal() {
    HANDLE h = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) tty_ = reinterpret_cast<std::intptr_t>(h);
}

Terminal::~Terminal() {
    if (tty_ >= 0) ::CloseHandle(reinterpret_cast<HANDLE>(tty_));
}

bool Terminal::read_hidden(std::string_view prompt, std::size_t max, std::string& line) {
    if (tty_ < 0) return false;
    HANDLE in = reinterpret_cast<HANDLE>(tty_);
    HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    const EchoOff quiet(in);
    const std::wstring shown = win32::wide(prompt);
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteConsoleW(out, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr);
    }
    // Wide characters, so that the typed text arrives as Unicode whatever the code page.
    std::wstring typed;
    bool got_end = false;
    wchar_t c;
    DWORD n = 0;
    while (::ReadConsoleW(in, &c, 1, &n, nullptr) && n == 1) {
        if (c == L'\n') {
            got_end = true;
            break;
        }
        if (c != L'\r') typed += c;
        if (typed.size() > max) typed.resize(max + 1);  // read on to the end, keep no more
    }
    if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteConsoleW(out, L"\r\n", 2, &written, nullptr);  // the line end echo did not show
        ::CloseHandle(out);
    }
    line = win32::utf8(typed);
    const bool too_long = line.size() > max;
    SecureZeroMemory(typed.data(), typed.size() * sizeof(wchar_t));
    return !too_long && (got_end || !line.empty());
}

}  // namespace hsc::os
