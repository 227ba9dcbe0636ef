// The POSIX layer's lock of a file that one process at a time may hold (flock), and the listing of a
// folder's entries.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/posix_internal.h"

namespace recaster::platform::posix {
namespace {

PathKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return PathKind::kRegularFile;
  if (S_ISDIR(mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

// The entry `name` of the open folder `dir`; false when it went away since it was read.
bool ReadEntry(int dir, const char* name, FolderEntry* entry, int* err) {
  struct stat st{};
  if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
    *err = errno == ENOENT ? 0 : errno;
    return false;
  }
  entry->name = Utf8ToWide(name);
  entry->is_link = S_ISLNK(st.st_mode);
  entry->kind = KindOfMode(st.st_mode);
  if (entry->is_link) entry->kind = ::fstatat(dir, name, &st, 0) == 0 ? KindOfMode(st.st_mode) : PathKind::kMissing;
  return true;
}

}  // namespace

// Opened for reading only, which is enough for flock and lets a lock file that another user made
// read-only be locked too; a link on the way is checked as every write checks it.
OsStatus LockFileAt(const std::string& path, FileHandle* lock) {
  std::string link;
  if (OsStatus checked = CheckLinksOnTheWay(path, &link); !checked.ok()) return checked;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ErrnoStatus(errno, path);
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return OsStatus{kLockViolation, DescribeSystemError(kLockViolation)};
    return ErrnoStatus(err, path);
  }
  *lock = fd;
  return Ok();
}

OsStatus ListFolderEntries(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return ErrnoStatus(errno, folder);
  int err = 0;
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(dir);
    if (found == nullptr) {
      err = errno;
      break;
    }
    const std::string_view name = found->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    if (ReadEntry(::dirfd(dir), found->d_name, &entry, &err)) entries->push_back(std::move(entry));
    if (err != 0) break;
  }
  ::closedir(dir);
  if (err != 0) entries->clear();
  return err == 0 ? Ok() : ErrnoStatus(err, folder);
}

}  // namespace recaster::platform::posix
