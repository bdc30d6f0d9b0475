#include "os/codepage.h"

#include "os/win32.h"

namespace hsc::os {
namespace {

constexpr UINT CP932 = 932;

// Strict conversions: a byte or character without a form in the other code page fails
// the whole text instead of becoming a replacement character.
bool to_wide(UINT page, std::string_view in, std::wstring& out) {
    out.clear();
    if (in.empty()) return true;
    const int n = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out.data(), n) == n;
}

bool from_wide(UINT page, std::wstring_view in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    // UTF-8 refuses the flags that ask whether a default character was used.
    const DWORD flags = page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* used = page == CP_UTF8 ? nullptr : &defaulted;
    const int n = ::WideCharToMultiByte(page, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, used);
    if (n <= 0 || defaulted) return false;
    out.resize(static_cast<std::size_t>(n));
    return ::WideCharToMultiByte(page, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, used) == n &&
           !defaulted;
}

}  // namespace

bool utf8_to_cp932(std::string_view utf8, std::string& out) {
    std::wstring wide;
    std::string result;
    if (!to_wide(CP_UTF8, utf8, wide) || !from_wide(CP932, wide, result)) return false;
    out = std::move(result);
    return true;
}

bool cp932_to_utf8(std::string_view cp932, std::string& out) {
    std::wstring wide;
    std::string result;
    if (!to_wide(CP932, cp932, wide) || !from_wide(CP_UTF8, wide, result)) return false;
    out = std::move(result);
    return true;
}

}  // namespace hsc::os
