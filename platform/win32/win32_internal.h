// File: platform/win32/win32_internal.h - what the Windows layer's files share: wide text at the
// system boundary and the status of the last failed call.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace recaster::platform::win32 {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

inline std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

inline std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// The code with the system's own text.
inline OsStatus ErrorStatus(SystemError code) { return OsStatus{code, DescribeSystemError(code)}; }

// The console control handler that the first temporary file or a SignalGuard installs. Without a
// guard: removes every temporary file not yet put in place or discarded, whatever the event, and
// returns FALSE so that the system's handler then ends the process as the event would. While a guard
// lives: waits for a commit under way to end (saying so on standard error), marks the process as
// ending so that no temporary is created any more, removes the temporaries and ends the process with
// EndProcessOnConsoleEvent; a second event waits for that end.
BOOL WINAPI RemoveTemporariesOnConsoleEvent(DWORD event);

// How a guarded console event ends the process: ExitProcess, unless a test put its own in place.
extern void (*EndProcessOnConsoleEvent)(UINT exit_code);

// FileSystem::LockFile of the Windows layer.
OsStatus LockFileAt(const std::wstring& path, FileHandle* lock);

// FileSystem::ListFolder of the Windows layer.
OsStatus ListFolderEntries(const std::wstring& folder, std::vector<FolderEntry>* entries);

// The thread's last error with the system's own text.
inline OsStatus LastErrorStatus() { return ErrorStatus(::GetLastError()); }

}  // namespace recaster::platform::win32
