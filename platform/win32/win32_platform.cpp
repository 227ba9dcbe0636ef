// The platform layer on Windows: the Win32 file, shell and console calls, with the system's own error
// codes and messages. UTF-16 text crosses into wchar_t (16 bits here) only inside this file.
#include <windows.h>
#include <shlobj.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/win32/win32_internal.h"

namespace recaster::platform {
namespace {

using win32::FromWide;
using win32::ToWide;

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

bool IsAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

namespace {

// The system's text for `code`; with `inserts`, every %1 to %99 in it is filled from that array.
std::string FormatSystemText(SystemError code, const DWORD_PTR* inserts) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                      (inserts != nullptr ? FORMAT_MESSAGE_ARGUMENT_ARRAY : FORMAT_MESSAGE_IGNORE_INSERTS);
  const DWORD length = ::FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                                        reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
  std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  if (text.empty()) return "System error " + std::to_string(code);
  return WideToUtf8(text);
}

}  // namespace

std::string DescribeSystemError(SystemError code) { return FormatSystemText(code, nullptr); }

std::string DescribeSystemError(SystemError code, std::string_view insert) {
  // Every insert a system text may hold points at the one text, so that none reads past the array.
  const std::wstring wide = Utf8ToWide(insert);
  std::array<DWORD_PTR, 99> inserts;
  inserts.fill(reinterpret_cast<DWORD_PTR>(wide.c_str()));
  return FormatSystemText(code, inserts.data());
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

std::u16string AbsolutePath(const std::u16string& path) {
  const std::wstring wide = ToWide(path);
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return FromWide(full);
}

bool EndsWithSeparator(std::u16string_view path) {
  return !path.empty() && (path.back() == u'\\' || path.back() == u'/');
}

std::u16string PathFromNative(std::string_view native) { return FromWide(Utf8ToWide(native)); }

std::string PathToNative(std::u16string_view path) { return WideToUtf8(ToWide(path)); }

// Windows gives a process without a stream no handle at all; nothing the program opens takes its place.
void GuardStandardStreams() {}

// The process heap of Windows hands freed memory back by itself.
void ReleaseFreedMemory() {}

std::string DescribeLastStreamError() {
  const int err = errno;
  return std::strerror(err != 0 ? err : EIO);
}

bool StdinIsTerminal() {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  return input != nullptr && input != INVALID_HANDLE_VALUE && ::GetFileType(input) == FILE_TYPE_CHAR &&
         ::GetConsoleMode(input, &mode) != 0;
}

bool StderrIsTerminal() {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  return error != nullptr && error != INVALID_HANDLE_VALUE && ::GetFileType(error) == FILE_TYPE_CHAR &&
         ::GetConsoleMode(error, &mode) != 0;
}

// ReadFile on the handle itself: bytes as they come, no text mode to turn CR LF into LF.
OsStatus ReadStandardInput(std::size_t limit, std::string* bytes) {
  bytes->clear();
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return win32::ErrorStatus(ERROR_INVALID_HANDLE);
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  while (bytes->size() < limit) {
    const std::size_t at = bytes->size();
    const std::size_t want = limit - at < kChunk ? limit - at : kChunk;
    bytes->resize(at + want);
    DWORD read = 0;
    if (!::ReadFile(input, bytes->data() + at, static_cast<DWORD>(want), &read, nullptr)) {
      const DWORD error = ::GetLastError();
      bytes->resize(at);
      if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) break;  // the writer has closed its end
      return win32::ErrorStatus(error);
    }
    bytes->resize(at + read);
    if (read == 0) break;
  }
  return Ok();
}

std::u16string ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return FromWide(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace recaster::platform
