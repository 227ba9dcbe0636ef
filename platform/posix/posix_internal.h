// File: platform/posix/posix_internal.h - what the POSIX layer's files share: text at the system
// boundary, errno as Windows codes, and the temporary files a signal must not leave behind.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace recaster::platform::posix {

// Wide text to the system's UTF-8; lone units U+DC80 to U+DCFF give back the byte they carry.
std::string WideToUtf8(std::u16string_view text);

// The system's UTF-8 to wide text; a byte that starts no valid sequence becomes U+DC00 + the byte.
std::u16string Utf8ToWide(std::string_view bytes);

// The Windows code for errno `err` on `path` (the path tells a missing file from a missing folder).
SystemError FromErrno(int err, const std::string& path);

// The code for `err` with the system's own text (strerror).
OsStatus ErrnoStatus(int err, const std::string& path = {});

// Remembers a temporary file, so that SIGINT, SIGTERM or SIGHUP removes it before the process ends;
// false when there is no room to remember it (the file is then left to a SIGKILL's fate).
bool RememberTemporary(const std::string& path);

// Forgets a temporary file that was put in place or removed.
void ForgetTemporary(const std::string& path);

// FileSystem::CreateTemporary of the POSIX layer.
OsStatus CreateTemporaryFile(const std::u16string& destination, std::u16string* temporary, FileHandle* file);

}  // namespace recaster::platform::posix
