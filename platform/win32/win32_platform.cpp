// The platform layer on Windows: the Win32 file, shell and console calls, with the system's own error
// codes and messages. UTF-16 text crosses into wchar_t (16 bits here) only inside this file.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/platform.h"

namespace recaster::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

std::wstring ToWide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD, as the system converts it.
std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int units = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, out.data(), bytes, nullptr, nullptr);
  return out;
}

// UTF-8 to UTF-16; a byte that does not start a valid sequence becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int bytes = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, out.data(), units);
  return out;
}

OsStatus LastErrorStatus() {
  const SystemError code = ::GetLastError();
  return OsStatus{code, DescribeSystemError(code)};
}

HANDLE ToHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle FromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

static_assert(kNoFile == -1, "kNoFile is INVALID_HANDLE_VALUE");

class Win32FileSystem final : public FileSystem {
 public:
  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    const HANDLE handle = ::CreateFileW(ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastErrorStatus();
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
};

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

FileSystem& SystemFiles() {
  static Win32FileSystem files;
  return files;
}

std::string DescribeSystemError(SystemError code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  if (text.empty()) return "System error " + std::to_string(code);
  return WideToUtf8(text);
}

bool GetSpecialFolder(SpecialFolder folder, std::u16string* path) {
  int csidl = 0;
  switch (folder) {
    case SpecialFolder::kCommonAppData: csidl = CSIDL_COMMON_APPDATA; break;
    case SpecialFolder::kDocuments: csidl = CSIDL_PERSONAL; break;
  }
  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return false;
  *path = FromWide(buffer);
  return true;
}

std::u16string JoinPath(std::u16string_view left, std::u16string_view right) {
  std::u16string out(left);
  const bool bare_drive = left.size() == 2 && IsAsciiLetter(left[0]) && left[1] == u':';
  if (!left.empty() && !bare_drive && left.back() != u'\\' && left.back() != u'/') out.push_back(u'\\');
  out.append(right);
  return out;
}

PathKind GetPathKind(const std::u16string& path) {
  const DWORD attributes = ::GetFileAttributesW(ToWide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return PathKind::kDirectory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return PathKind::kOther;
  return PathKind::kRegularFile;
}

std::u16string PathFromNative(std::string_view native) { return FromWide(Utf8ToWide(native)); }

std::string PathToNative(std::u16string_view path) { return WideToUtf8(ToWide(path)); }

bool StdinIsTerminal() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  return input != nullptr && input != INVALID_HANDLE_VALUE && ::GetFileType(input) == FILE_TYPE_CHAR &&
         ::GetConsoleMode(input, &mode) != 0;
}

}  // namespace recaster::platform
