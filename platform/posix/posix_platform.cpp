// The file system of the POSIX layer. Sharing is expressed with flock: a reader holds a shared lock, a
// writer in place an exclusive one, and a lock that another process holds is the sharing violation of
// a Windows open.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "platform/posix/posix_internal.h"

namespace recaster::platform {
namespace {

using posix::ErrnoStatus;
using posix::Utf8ToWide;
using posix::WideToUtf8;

int ToFd(FileHandle file) { return static_cast<int>(file); }

// How many symbolic links are followed before the path counts as a loop (Linux's own limit).
constexpr int kMaxLinks = 40;

// A descriptor of the process, reached as /dev/stdout, /dev/fd/N or /proc/PID/fd/N: what it stands for
// is written as it is, never replaced by a new file.
bool IsDescriptorLink(const std::string& path) {
  if (path.rfind("/dev/fd/", 0) == 0) return true;
  if (path.rfind("/proc/", 0) != 0) return false;
  const auto slash = path.find('/', 6);
  return slash != std::string::npos && path.compare(slash, 4, "/fd/") == 0;
}

PathKind KindOf(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The user's name, or their number when the system knows no name for it.
std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry{};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->pw_name;
  return std::to_string(uid);
}

// The components of a path, in order; empty ones and "." left out.
void PushComponents(const std::string& path, std::deque<std::string>* names, bool at_front) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const auto slash = std::min(path.find('/', start), path.size());
    if (slash > start && path.compare(start, slash - start, ".") != 0) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  if (at_front) {
    names->insert(names->begin(), parts.begin(), parts.end());
  } else {
    names->insert(names->end(), parts.begin(), parts.end());
  }
}

// While it lives, a write past the file size limit fails with EFBIG instead of ending the process.
class FileSizeSignalIgnored {
 public:
  FileSizeSignalIgnored() {
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    saved_ = ::sigaction(SIGXFSZ, &ignore, &previous_) == 0;
  }
  ~FileSizeSignalIgnored() {
    if (saved_) ::sigaction(SIGXFSZ, &previous_, nullptr);
  }
  FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
  FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

 private:
  struct sigaction previous_{};
  bool saved_ = false;
};

int Flock(int fd, int operation) {
  int rc;
  do {
    rc = ::flock(fd, operation | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

// Opens and, for a regular file, takes a non-blocking lock of the kind asked for.
OsStatus OpenLocked(const std::string& native, int flags, int lock, FileHandle* file) {
  int fd;
  do {
    fd = ::open(native.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ErrnoStatus(errno, native);
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    const OsStatus status = ErrnoStatus(errno, native);
    ::close(fd);
    return status;
  }
  if (S_ISREG(st.st_mode) && Flock(fd, lock) != 0) {
    const int err = errno;
    ::close(fd);
    if (err == EWOULDBLOCK) return OsStatus{kSharingViolation, DescribeSystemError(kSharingViolation)};
    return ErrnoStatus(err, native);
  }
  *file = fd;
  return Ok();
}

class PosixFileSystem final : public FileSystem {
 public:
  // A folder is refused as Windows refuses it (access denied), not left for the read to trip over. The
  // open never waits for a FIFO's writer or a device: anything but a regular file is refused at once
  // (access denied, "not a regular file"), and a regular file is read with O_NONBLOCK cleared again.
  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    const std::string native = WideToUtf8(path);
    FileHandle fd = kNoFile;
    OsStatus status =
        RetryWhileShared(*this, [&] { return OpenLocked(native, O_RDONLY | O_NONBLOCK, LOCK_SH, &fd); });
    if (!status.ok()) return status;
    struct stat st{};
    const bool stated = ::fstat(ToFd(fd), &st) == 0;
    if (!stated || !S_ISREG(st.st_mode)) {
      status = !stated                ? ErrnoStatus(errno)
               : S_ISDIR(st.st_mode) ? ErrnoStatus(EISDIR)
                                     : OsStatus{kAccessDenied, "not a regular file"};
      ::close(ToFd(fd));
      return status;
    }
    const int flags = ::fcntl(ToFd(fd), F_GETFL);
    if (flags == -1 || ::fcntl(ToFd(fd), F_SETFL, flags & ~O_NONBLOCK) == -1) {
      status = ErrnoStatus(errno);
      ::close(ToFd(fd));
      return status;
    }
    *file = fd;
    return Ok();
  }

  OsStatus FileSize(FileHandle file, std::uint64_t* size) override {
    struct stat st{};
    if (::fstat(ToFd(file), &st) != 0) return ErrnoStatus(errno);
    if (S_ISDIR(st.st_mode)) return ErrnoStatus(EISDIR);
    *size = static_cast<std::uint64_t>(st.st_size);
    return Ok();
  }

  OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
    *read = 0;
    ssize_t n;
    do {
      n = ::read(ToFd(file), buffer, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return ErrnoStatus(errno);
    *read = static_cast<std::uint32_t>(n);
    return Ok();
  }

  // Opened without truncating, so that a file another process holds is left as it is; emptied only
  // once the exclusive lock is ours. Devices such as /dev/null or /dev/full have no length to empty.
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    const std::string native = WideToUtf8(path);
    std::string link;
    if (OsStatus checked = posix::CheckLinksOnTheWay(native, &link); !checked.ok()) return checked;
    FileHandle fd = kNoFile;
    OsStatus status = OpenLocked(native, O_WRONLY | O_CREAT, LOCK_EX, &fd);
    if (!status.ok()) return status;
    struct stat st{};
    if (::fstat(ToFd(fd), &st) != 0 || (S_ISREG(st.st_mode) && ::ftruncate(ToFd(fd), 0) != 0)) {
      status = ErrnoStatus(errno);
      ::close(ToFd(fd));
      return status;
    }
    *file = fd;
    return Ok();
  }

  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    *written = 0;
    const FileSizeSignalIgnored past_the_limit_is_an_error;
    const char* p = static_cast<const char*>(data);
    while (*written < size) {
      ssize_t n = ::write(ToFd(file), p + *written, size - *written);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ErrnoStatus(errno);
      if (n == 0) return ErrnoStatus(ENOSPC);
      *written += static_cast<std::uint32_t>(n);
    }
    return Ok();
  }

  void Close(FileHandle file) override { ::close(ToFd(file)); }

  void Sleep(std::uint32_t milliseconds) override {
    timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }

  OsStatus Inspect(const std::u16string& path, PathInfo* info) override {
    *info = PathInfo{};
    std::string current = WideToUtf8(path);
    std::string link;
    if (OsStatus checked = posix::CheckLinksOnTheWay(current, &link); !checked.ok()) {
      info->target = Utf8ToWide(link);
      return checked;
    }
    for (int links = 0;; ++links) {
      struct stat st{};
      if (::lstat(current.c_str(), &st) != 0) {
        const int err = errno;
        const OsStatus status = ErrnoStatus(err, current);
        if (status.code != kFileNotFound) return status;
        info->target = Utf8ToWide(current);  // only the last component is missing
        return Ok();
      }
      if (S_ISLNK(st.st_mode) && IsDescriptorLink(current)) {
        if (::stat(current.c_str(), &st) != 0) return ErrnoStatus(errno, current);
        info->kind = S_ISDIR(st.st_mode) ? PathKind::kDirectory : PathKind::kOther;
        info->is_link = true;
        info->target = path;
        info->id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        return Ok();
      }
      if (S_ISLNK(st.st_mode)) {
        if (links == kMaxLinks) return ErrnoStatus(ELOOP, current);
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0) return ErrnoStatus(errno, current);
        link.resize(static_cast<std::size_t>(n));
        const bool relative = link.empty() || link.front() != '/';
        const auto slash = current.find_last_of('/');
        current = (!relative || slash == std::string::npos) ? link : current.substr(0, slash + 1) + link;
        info->is_link = true;
        continue;
      }
      info->kind = KindOf(st);
      info->target = Utf8ToWide(current);
      info->id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
      if (info->kind == PathKind::kRegularFile) info->size = static_cast<std::uint64_t>(st.st_size);
      return Ok();
    }
  }

  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary,
                           FileHandle* file) override {
    return posix::CreateTemporaryFile(destination, temporary, file);
  }

  OsStatus Flush(FileHandle file) override {
    int rc;
    do {
      rc = ::fsync(ToFd(file));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? Ok() : ErrnoStatus(errno);
  }

  // The destination is opened for writing first: that is how a read-only file refuses us (as it did
  // when it was written in place), and its lock tells whether another process holds it exclusively.
  // The folder is flushed after the rename; once the rename is done, its failure changes nothing.
  // A link planted at the destination since it was inspected is neither opened nor followed: the
  // rename puts the new file in the link's place.
  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    const OsStatus placed = Place(temporary, destination);
    if (placed.ok()) static_cast<void>(FlushFolder(Utf8ToWide(FolderOf(WideToUtf8(destination)))));
    return placed;
  }

  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    return Place(temporary, destination);
  }

  OsStatus FlushFolder(const std::u16string& folder) override {
    const int fd = ::open(WideToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return ErrnoStatus(errno, WideToUtf8(folder));
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    return rc == 0 ? Ok() : ErrnoStatus(err);
  }

  // Linux writes out a whole file system in one request (syncfs), which costs about what one file's
  // flush costs; elsewhere each file is flushed in turn.
  OsStatus FlushFiles(std::span<const std::u16string> paths) override {
#ifdef __linux__
    std::vector<dev_t> done;
    for (const std::u16string& path : paths) {
      const std::string name = WideToUtf8(path);
      struct stat st{};
      if (::stat(name.c_str(), &st) != 0) return ErrnoStatus(errno, name);
      if (std::find(done.begin(), done.end(), st.st_dev) != done.end()) continue;
      const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) return ErrnoStatus(errno, name);
      const int rc = ::syncfs(fd);
      const int err = errno;
      ::close(fd);
      if (rc != 0) return ErrnoStatus(err, name);
      done.push_back(st.st_dev);
    }
    return Ok();
#else
    for (const std::u16string& path : paths) {
      const std::string name = WideToUtf8(path);
      const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
      if (fd < 0) return ErrnoStatus(errno, name);
      const OsStatus flushed = Flush(fd);
      ::close(fd);
      if (!flushed.ok()) return flushed;
    }
    return Ok();
#endif
  }

  OsStatus CreateFolder(const std::u16string& path) override {
    const std::string name = WideToUtf8(path);
    if (::mkdir(name.c_str(), 0777) == 0) return Ok();
    const int err = errno;
    struct stat st{};
    if (err == EEXIST && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Ok();
    return ErrnoStatus(err, name);
  }

  OsStatus LockFile(const std::u16string& path, FileHandle* lock) override {
    return posix::LockFileAt(WideToUtf8(path), lock);
  }

  OsStatus ListFolder(const std::u16string& folder, std::vector<FolderEntry>* entries) override {
    return posix::ListFolderEntries(WideToUtf8(folder), entries);
  }

  OsStatus Discard(const std::u16string& temporary) override {
    const std::string temp = WideToUtf8(temporary);
    const OsStatus status = ::unlink(temp.c_str()) == 0 ? Ok() : ErrnoStatus(errno, temp);
    posix::ForgetTemporary(temp);
    return status;
  }

 private:
  // The rename of Replace, without the folder's flush.
  OsStatus Place(const std::u16string& temporary, const std::u16string& destination) {
    const std::string temp = WideToUtf8(temporary);
    const std::string dest = WideToUtf8(destination);
    std::string link;
    if (OsStatus checked = posix::CheckLinksOnTheWay(dest, &link); !checked.ok()) return checked;
    int held = ::open(dest.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (held < 0 && errno != ENOENT && errno != ELOOP) return ErrnoStatus(errno, dest);
    if (held >= 0 && Flock(held, LOCK_SH) != 0) {
      const int err = errno;
      ::close(held);
      if (err == EWOULDBLOCK) return OsStatus{kSharingViolation, DescribeSystemError(kSharingViolation)};
      return ErrnoStatus(err, dest);
    }
    if (::rename(temp.c_str(), dest.c_str()) != 0) {
      const OsStatus status = ErrnoStatus(errno, dest);
      if (held >= 0) ::close(held);
      return status;
    }
    posix::ForgetTemporary(temp);
    if (held >= 0) ::close(held);
    return Ok();
  }

};

}  // namespace

namespace posix {

OsStatus CheckLinksOnTheWay(const std::string& path, std::string* link) {
  std::deque<std::string> names;
  PushComponents(path, &names, false);
  std::string walked = !path.empty() && path.front() == '/' ? "/" : "";  // holds no link; empty: here
  for (int links = 0; !names.empty();) {
    std::string next = walked;
    if (!next.empty() && next.back() != '/') next += '/';
    next += names.front();
    names.pop_front();
    struct stat st{};
    if (::lstat(next.c_str(), &st) != 0) return Ok();
    if (!S_ISLNK(st.st_mode)) {
      walked = std::move(next);
      continue;
    }
    if (IsDescriptorLink(next)) return Ok();
    struct stat folder{};
    if (::stat(walked.empty() ? "." : walked.c_str(), &folder) != 0) return Ok();
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    if (shared && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid) {
      *link = next;
      return OsStatus{kLinkNotFollowed, "a link owned by " + UserName(st.st_uid) + " in a shared folder; not followed"};
    }
    if (++links > kMaxLinks) return Ok();
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
    if (n < 0) return Ok();
    target.resize(static_cast<std::size_t>(n));
    if (!target.empty() && target.front() == '/') walked.assign(1, '/');
    PushComponents(target, &names, true);
  }
  return Ok();
}

}  // namespace posix

FileSystem& SystemFiles() {
  static PosixFileSystem files;
  return files;
}

}  // namespace recaster::platform
