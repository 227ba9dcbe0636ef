// The Windows layer's lock of a file that one process at a time may hold (LockFileEx), and the listing
// of a folder's entries.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace recaster::platform::win32 {
namespace {

// What a folder's entry leads to: a reparse point is followed to its end (a dangling one is missing).
PathKind KindOfEntry(const std::wstring& path, const WIN32_FIND_DATAW& found, bool is_link) {
  DWORD attributes = found.dwFileAttributes;
  if (is_link) {
    const HANDLE handle =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return PathKind::kMissing;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    if (!known) return PathKind::kOther;
    attributes = info.dwFileAttributes;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
  return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? PathKind::kOther : PathKind::kRegularFile;
}

std::wstring WithSeparator(const std::wstring& folder) {
  if (folder.empty()) return L".\\";
  const wchar_t last = folder.back();
  return last == L'\\' || last == L'/' || last == L':' ? folder : folder + L"\\";
}

}  // namespace

// The handle is not inherited by child processes; the lock covers the file's first byte, which the
// file need not have.
OsStatus LockFileAt(const std::wstring& path, FileHandle* lock) {
  const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastErrorStatus();
  OVERLAPPED at{};
  if (!::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(handle);
    return ErrorStatus(error == ERROR_IO_PENDING ? ERROR_LOCK_VIOLATION : error);
  }
  *lock = reinterpret_cast<FileHandle>(handle);
  return Ok();
}

OsStatus ListFolderEntries(const std::wstring& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  const std::wstring prefix = WithSeparator(folder);
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW((prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? Ok() : ErrorStatus(error);  // nothing at all, not even "."
  }
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name = FromWide(name);
    entry.is_link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.kind = KindOfEntry(prefix + name, found, entry.is_link);
    entries->push_back(std::move(entry));
  } while (::FindNextFileW(search, &found));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error == ERROR_NO_MORE_FILES) return Ok();
  entries->clear();
  return ErrorStatus(error);
}

}  // namespace recaster::platform::win32
