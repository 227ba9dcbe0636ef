// The file system of the Windows layer: share modes for sharing, MoveFileExW for the replacement in one
// step, and a console control handler that removes temporary files when Ctrl+C ends the program (and,
// under a SignalGuard, lets a commit under way finish first).
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <span>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace recaster::platform {
namespace {

using win32::ErrorStatus;
using win32::FromWide;
using win32::LastErrorStatus;
using win32::ToWide;

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

static_assert(kNoFile == -1, "kNoFile is INVALID_HANDLE_VALUE");

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The temporary files that a console control event (Ctrl+C, Ctrl+Break, closing the console) removes.
// The handler runs on a thread of its own, so it may wait for the lock; the files are open with
// FILE_SHARE_DELETE, so it can delete them while they are written.
// The creation of a temporary and its remembering happen under the lock, and a guarded event marks
// the end under it, so that none is created between that mark and the removal of every one.
std::mutex g_temporaries_lock;
std::vector<std::wstring> g_temporaries;
bool g_ending = false;  // under g_temporaries_lock

// What a SignalGuard and the console handler share; one guard lives at a time.
struct GuardState {
  std::mutex lock;
  std::condition_variable commit_ended;
  bool alive = false;
  bool signalled = false;  // an event was taken: the process is ending
  bool committing = false;
  std::size_t files = 0;  // of the commit under way
};
GuardState g_guard;

void InstallConsoleHandler() {
  static std::once_flag installed;
  std::call_once(installed, [] { ::SetConsoleCtrlHandler(win32::RemoveTemporariesOnConsoleEvent, TRUE); });
}

// The process is ending: the calling thread waits for it to end, and never returns.
[[noreturn]] void WaitForTheEnd() {
  for (;;) ::Sleep(INFINITE);
}

void RemoveTemporaries() {
  for (const std::wstring& path : g_temporaries) ::DeleteFileW(path.c_str());
}

void WriteFinishing(std::size_t files) {
  const std::string line =
      "recaster: finishing: placing " + std::to_string(files) + (files == 1 ? " file\n" : " files\n");
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

// A guarded event: the commit under way ends first, then the temporaries are removed for good.
void EndGuarded(std::unique_lock<std::mutex>& guard) {
  if (g_guard.signalled) {
    guard.unlock();
    WaitForTheEnd();  // a second event changes nothing
  }
  g_guard.signalled = true;
  if (g_guard.committing) {
    WriteFinishing(g_guard.files);
    g_guard.commit_ended.wait(guard, [] { return !g_guard.committing; });
  }
  guard.unlock();
  const std::lock_guard<std::mutex> lock(g_temporaries_lock);
  g_ending = true;
  RemoveTemporaries();
}

void ExitOnConsoleEvent(UINT exit_code) { ::ExitProcess(exit_code); }

}  // namespace

void (*win32::EndProcessOnConsoleEvent)(UINT exit_code) = ExitOnConsoleEvent;

BOOL WINAPI win32::RemoveTemporariesOnConsoleEvent(DWORD) {
  std::unique_lock<std::mutex> guard(g_guard.lock);
  if (g_guard.alive) {
    EndGuarded(guard);
    EndProcessOnConsoleEvent(STATUS_CONTROL_C_EXIT);
    return TRUE;
  }
  guard.unlock();
  const std::lock_guard<std::mutex> lock(g_temporaries_lock);
  RemoveTemporaries();
  return FALSE;  // the next handler, in the end the system's, ends the process
}

SignalGuard::SignalGuard() {
  InstallConsoleHandler();
  const std::lock_guard<std::mutex> lock(g_guard.lock);
  g_guard.alive = true;
  g_guard.signalled = g_guard.committing = false;
  g_guard.files = 0;
}

SignalGuard::~SignalGuard() {
  const std::lock_guard<std::mutex> lock(g_guard.lock);
  g_guard.alive = false;
}

bool SignalGuard::BeginCommit(std::size_t files) {
  const std::lock_guard<std::mutex> lock(g_guard.lock);
  if (g_guard.signalled) return false;
  g_guard.committing = true;
  g_guard.files = files;
  return true;
}

void SignalGuard::EndCommit() {
  {
    const std::lock_guard<std::mutex> lock(g_guard.lock);
    g_guard.committing = false;
  }
  g_guard.commit_ended.notify_all();
}

namespace {

// Creates the temporary at `candidate` and remembers it; INVALID_HANDLE_VALUE and the error otherwise.
HANDLE CreateAndRemember(const std::wstring& candidate, DWORD* error) {
  InstallConsoleHandler();
  std::unique_lock<std::mutex> lock(g_temporaries_lock);
  if (g_ending) {
    lock.unlock();
    WaitForTheEnd();
  }
  const HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  *error = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
  if (handle != INVALID_HANDLE_VALUE) g_temporaries.push_back(candidate);
  return handle;
}

void ForgetTemporary(const std::wstring& path) {
  const std::lock_guard<std::mutex> lock(g_temporaries_lock);
  std::erase(g_temporaries, path);
}

// Six letters or digits, different in every process and every call.
std::wstring RandomSuffix() {
  static constexpr wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 generator([] {
    std::random_device device;
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    std::seed_seq seed{device(), static_cast<unsigned>(::GetCurrentProcessId()), static_cast<unsigned>(now),
                       static_cast<unsigned>(now >> 32)};
    return std::mt19937_64(seed);
  }());
  std::wstring suffix(6, L'X');
  for (wchar_t& c : suffix) c = kAlphabet[generator() % (sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
  return suffix;
}

// The attributes that carry over to a replacement; read-only is refused before, the rest are the file
// system's own.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The destination's access list and attributes on the replacement, and its owner where the process may
// set it; what the system refuses stays as the folder gave it.
void CarryOverPermissions(const std::wstring& destination, const std::wstring& temporary, DWORD attributes) {
  constexpr SECURITY_INFORMATION kWanted =
      DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
  DWORD needed = 0;
  ::GetFileSecurityW(destination.c_str(), kWanted, nullptr, 0, &needed);
  if (needed > 0) {
    std::vector<unsigned char> descriptor(needed);
    if (::GetFileSecurityW(destination.c_str(), kWanted, descriptor.data(), needed, &needed)) {
      ::SetFileSecurityW(temporary.c_str(), DACL_SECURITY_INFORMATION, descriptor.data());
      ::SetFileSecurityW(temporary.c_str(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                         descriptor.data());
    }
  }
  const DWORD kept = attributes & kKeptAttributes;
  ::SetFileAttributesW(temporary.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
}

class Win32FileSystem final : public FileSystem {
 public:
  // Other readers are welcome, and so is renaming or deleting the file; a writer is not.
  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    const std::wstring wide = ToWide(path);
    HANDLE handle = INVALID_HANDLE_VALUE;
    const OsStatus status = RetryWhileShared(*this, [&] {
      handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      return handle == INVALID_HANDLE_VALUE ? LastErrorStatus() : Ok();
    });
    if (!status.ok()) return status;
    *file = FromHandle(handle);
    return Ok();
  }

  OsStatus FileSize(FileHandle file, std::uint64_t* size) override {
    DWORD high = 0;
    ::SetLastError(NO_ERROR);
    const DWORD low = ::GetFileSize(ToHandle(file), &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return LastErrorStatus();
    *size = (static_cast<std::uint64_t>(high) << 32) | low;
    return Ok();
  }

  OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
    DWORD count = 0;
    const BOOL done = ::ReadFile(ToHandle(file), buffer, size, &count, nullptr);
    *read = count;
    return done ? Ok() : LastErrorStatus();
  }

  // CREATE_ALWAYS empties the file only once the open has succeeded, so a file that another process
  // holds without sharing gives ERROR_SHARING_VIOLATION and keeps its content.
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    const HANDLE handle = ::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastErrorStatus();
    *file = FromHandle(handle);
    return Ok();
  }

  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    DWORD count = 0;
    const BOOL done = ::WriteFile(ToHandle(file), data, size, &count, nullptr);
    *written = count;
    return done ? Ok() : LastErrorStatus();
  }

  void Close(FileHandle file) override { ::CloseHandle(ToHandle(file)); }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }

  // A device (NUL, CON) or pipe is kOther. The file ID is the volume's serial number and the file index.
  OsStatus Inspect(const std::u16string& path, PathInfo* info) override {
    *info = PathInfo{};
    info->target = path;
    const std::wstring wide = ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    info->is_link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || (info->is_link && error == ERROR_PATH_NOT_FOUND)) return Ok();
      return ErrorStatus(error);
    }
    const DWORD type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION file{};
    if (type != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &file)) {
      info->kind = PathKind::kOther;
    } else {
      info->kind = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kDirectory
                                                                           : PathKind::kRegularFile;
      info->id = FileId{file.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow};
      if (info->kind == PathKind::kRegularFile) {
        info->size = (static_cast<std::uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
      }
      if (info->is_link) info->target = FinalPath(handle, path);
    }
    ::CloseHandle(handle);
    return Ok();
  }

  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary,
                           FileHandle* file) override {
    const std::wstring dest = ToWide(destination);
    const auto separator = dest.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : dest.substr(0, separator + 1);
    std::wstring name = separator == std::wstring::npos ? dest : dest.substr(separator + 1);
    if (name.empty()) return ErrorStatus(ERROR_ACCESS_DENIED);
    // ".NAME.recaster-XXXXXX" within the 255 units of one component, cut before a low surrogate.
    constexpr std::size_t kMaxName = 255 - 17;
    if (name.size() > kMaxName) {
      std::size_t cut = kMaxName;
      if (name[cut] >= 0xDC00 && name[cut] <= 0xDFFF) --cut;
      name.resize(cut);
    }
    const DWORD attributes = ::GetFileAttributesW(dest.c_str());
    const bool replaces = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    for (int tries = 0; tries < 100; ++tries) {
      const std::wstring candidate = folder + L"." + name + L".recaster-" + RandomSuffix();
      DWORD error = ERROR_SUCCESS;
      const HANDLE handle = CreateAndRemember(candidate, &error);
      if (handle == INVALID_HANDLE_VALUE) {
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
        return ErrorStatus(error);
      }
      if (replaces) CarryOverPermissions(dest, candidate, attributes);
      *temporary = FromWide(candidate);
      *file = FromHandle(handle);
      return Ok();
    }
    return ErrorStatus(ERROR_FILE_EXISTS);
  }

  OsStatus Flush(FileHandle file) override { return ::FlushFileBuffers(ToHandle(file)) ? Ok() : LastErrorStatus(); }

  // The read-only attribute refuses the replacement as it refused writing in place. An open for delete
  // access, sharing everything, tells whether another process holds the destination without letting
  // it be replaced; MoveFileExW then renames in one step and flushes before it returns.
  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    const std::wstring temp = ToWide(temporary);
    const std::wstring dest = ToWide(destination);
    const DWORD attributes = ::GetFileAttributesW(dest.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
      if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ErrorStatus(ERROR_ACCESS_DENIED);
      const HANDLE probe =
          ::CreateFileW(dest.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return ErrorStatus(error);
      } else {
        ::CloseHandle(probe);
      }
    }
    if (!::MoveFileExW(temp.c_str(), dest.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = ::GetLastError();
      // The probe found the destination free to replace: refused now, another process has just opened it.
      return ErrorStatus(exists && error == ERROR_ACCESS_DENIED ? ERROR_SHARING_VIOLATION : error);
    }
    ForgetTemporary(temp);
    return Ok();
  }

  // Each file opened and flushed in turn: Windows flushes a whole volume only for an administrator.
  OsStatus FlushFiles(std::span<const std::u16string> paths) override {
    for (const std::u16string& path : paths) {
      const HANDLE handle = ::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle == INVALID_HANDLE_VALUE) return LastErrorStatus();
      const bool flushed = ::FlushFileBuffers(handle) != 0;
      const OsStatus status = flushed ? Ok() : LastErrorStatus();
      ::CloseHandle(handle);
      if (!status.ok()) return status;
    }
    return Ok();
  }

  // MoveFileExW writes the rename through before it returns, so the folder has nothing left to flush.
  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    return Replace(temporary, destination);
  }

  OsStatus FlushFolder(const std::u16string&) override { return Ok(); }

  OsStatus CreateFolder(const std::u16string& path) override {
    const std::wstring name = ToWide(path);
    if (::CreateDirectoryW(name.c_str(), nullptr)) return Ok();
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Ok();
    }
    return ErrorStatus(error);
  }

  OsStatus LockFile(const std::u16string& path, FileHandle* lock) override {
    return win32::LockFileAt(ToWide(path), lock);
  }

  OsStatus ListFolder(const std::u16string& folder, std::vector<FolderEntry>* entries) override {
    return win32::ListFolderEntries(ToWide(folder), entries);
  }

  OsStatus Discard(const std::u16string& temporary) override {
    const std::wstring temp = ToWide(temporary);
    const OsStatus status = ::DeleteFileW(temp.c_str()) ? Ok() : LastErrorStatus();
    ForgetTemporary(temp);
    return status;
  }

 private:
  // Where the links of `path` end, as a plain DOS path; `path` itself when the system cannot tell.
  static std::u16string FinalPath(HANDLE handle, const std::u16string& path) {
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
      buffer.resize(length + 1);
      length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size()) return path;
    buffer.resize(length);
    if (buffer.rfind(L"\\\\?\\UNC\\", 0) == 0) return FromWide(L"\\\\" + buffer.substr(8));
    if (buffer.rfind(L"\\\\?\\", 0) == 0) return FromWide(buffer.substr(4));
    return FromWide(buffer);
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static Win32FileSystem files;
  return files;
}

}  // namespace recaster::platform
