// File: platform/posix/posix_internal.h - what the POSIX layer's files share: text at the system
// boundary, errno as Windows codes, and the temporary files a signal must not leave behind.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// Checks every symbolic link met while `path` is resolved, at its end and on the way, against the rule
// for sticky folders that everyone may write: such a link is followed only when it belongs to the
// effective user or to the folder's owner. kLinkNotFollowed, naming the link's owner, and the link's
// path in `*link` for the first that is not; success otherwise (what is missing or denied is left to
// the call that follows).
OsStatus CheckLinksOnTheWay(const std::string& path, std::string* link);

// Remembers a temporary file, so that a signal that ends the process (HUP, INT, TERM and the others of
// FileSystem::CreateTemporary) removes it first; false when there is no room to remember it (the file
// is then left to a SIGKILL's fate).
bool RememberTemporary(const std::string& path);

// Forgets a temporary file that was put in place or removed.
void ForgetTemporary(const std::string& path);

// The signals whose ending of the process removes the temporaries first (FileSystem::CreateTemporary).
std::span<const int> CleanupSignals();

// True when the signal's action is the default one or the removal of the temporaries, so that it ends
// the process; false when it is ignored or handled by someone else.
bool EndsWithCleanup(int signal_number);

// Marks the process as ending, so that every later creation of a temporary waits for the end and never
// returns, and removes every temporary remembered; for the thread that is about to end the process.
void EndTemporaries();

// FileSystem::CreateTemporary of the POSIX layer.
OsStatus CreateTemporaryFile(const std::u16string& destination, std::u16string* temporary, FileHandle* file);

// FileSystem::LockFile of the POSIX layer.
OsStatus LockFileAt(const std::string& path, FileHandle* lock);

// FileSystem::ListFolder of the POSIX layer.
OsStatus ListFolderEntries(const std::string& folder, std::vector<FolderEntry>* entries);

}  // namespace recaster::platform::posix
