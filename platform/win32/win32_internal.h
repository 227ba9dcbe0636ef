// File: platform/win32/win32_internal.h - what the Windows layer's files share: wide text at the
// system boundary and the status of the last failed call.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace recaster::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

inline std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The code with the system's own text.
inline OsStatus ErrorStatus(SystemError code) { return OsStatus{code, DescribeSystemError(code)}; }

// The console control handler that the first temporary file installs: removes every temporary file not
// yet put in place or discarded, whatever the event, and returns FALSE so that the system's handler
// then ends the process as the event would.
BOOL WINAPI RemoveTemporariesOnConsoleEvent(DWORD event);

// The thread's last error with the system's own text.
inline OsStatus LastErrorStatus() { return ErrorStatus(::GetLastError()); }

}  // namespace recaster::platform::win32
