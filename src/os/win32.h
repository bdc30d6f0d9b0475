#pragma once

// Helpers shared by the Windows side of the platform layer only.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <string_view>

namespace hsc::os::win32 {

// The errno value that says the same as a Win32 error code.
int errno_from(DWORD error);
// Sets errno from GetLastError() and returns it.
int set_errno_from_last_error();

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view wide);

// The Win32 handle of a C runtime descriptor; INVALID_HANDLE_VALUE when there is none.
HANDLE handle_of(int fd);

}  // namespace hsc::os::win32
