// The file system of the POSIX layer. Sharing is expressed with flock: a reader holds a shared lock, a
// writer in place an exclusive one, and a lock that another process holds is the sharing violation of
// a Windows open.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

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
  // A folder is refused as Windows refuses it (access denied), not left for the read to trip over.
  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    const std::string native = WideToUtf8(path);
    FileHandle fd = kNoFile;
    OsStatus status = RetryWhileShared(*this, [&] { return OpenLocked(native, O_RDONLY, LOCK_SH, &fd); });
    if (!status.ok()) return status;
    struct stat st{};
    if (::fstat(ToFd(fd), &st) != 0 || S_ISDIR(st.st_mode)) {
      status = ErrnoStatus(S_ISDIR(st.st_mode) ? EISDIR : errno);
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
  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    const std::string temp = WideToUtf8(temporary);
    const std::string dest = WideToUtf8(destination);
    int held = ::open(dest.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (held < 0 && errno != ENOENT) return ErrnoStatus(errno, dest);
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
    const int folder = ::open(FolderOf(dest).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
    if (held >= 0) ::close(held);
    return Ok();
  }

  OsStatus Discard(const std::u16string& temporary) override {
    const std::string temp = WideToUtf8(temporary);
    const OsStatus status = ::unlink(temp.c_str()) == 0 ? Ok() : ErrnoStatus(errno, temp);
    posix::ForgetTemporary(temp);
    return status;
  }
};

}  // namespace

FileSystem& SystemFiles() {
  static PosixFileSystem files;
  return files;
}

}  // namespace recaster::platform
