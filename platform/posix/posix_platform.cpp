// The platform layer on POSIX systems. Error codes are mapped from errno to the Windows system error
// codes the rest of the program speaks; the system's own message text is kept beside them.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>

#include "platform/platform.h"

namespace recaster::platform {
namespace {

SystemError FromErrno(int err, const std::string& path) {
  switch (err) {
    case 0: return kSuccess;
    case ENOENT: {
      // Windows tells a missing file from a missing folder on the way to it.
      auto slash = path.find_last_of('/');
      if (slash == std::string::npos || slash == 0) return kFileNotFound;
      struct stat st{};
      std::string parent = path.substr(0, slash);
      return (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ? kFileNotFound : kPathNotFound;
    }
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kAccessDenied;
    case EROFS: return kWriteProtect;
    case EMFILE:
    case ENFILE: return kTooManyOpenFiles;
    case ENOMEM: return kNotEnoughMemory;
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY: return kSharingViolation;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    case EEXIST: return kFileExists;
    case ENAMETOOLONG: return kFilenameTooLong;
    case ELOOP: return kCantResolveName;
    case EINVAL: return kInvalidParameter;
    case EBADF: return kInvalidHandle;
    case ENOTSUP: return kNotSupported;
    case EMLINK: return kTooManyLinks;
    case EFBIG: return 223;  // ERROR_FILE_TOO_LARGE
    default: return kGenFailure;
  }
}

OsStatus ErrnoStatus(int err, const std::string& path = {}) {
  return OsStatus{FromErrno(err, path), std::strerror(err)};
}

// Wide text to the system's UTF-8. Units U+DC80 to U+DCFF that stand alone carry a byte that was not
// valid UTF-8 (see Utf8ToWide), so any file name survives the round trip.
std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + (((cp & 0x3FF) << 10) | (text[i + 1] & 0x3FF));
      ++i;
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
      out.push_back(static_cast<char>(cp - 0xDC00));
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

// The system's UTF-8 to wide text; a byte that does not start a valid sequence becomes the lone unit
// U+DC00 + the byte (U+DC80 to U+DCFF), which WideToUtf8 turns back into that byte.
std::u16string Utf8ToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    std::uint32_t cp = 0;
    std::size_t len = 0;
    if (b0 < 0x80) {
      cp = b0, len = 1;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
      cp = b0 & 0x1F, len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      cp = b0 & 0x0F, len = 3;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      cp = b0 & 0x07, len = 4;
    }
    bool valid = len > 0 && i + len <= bytes.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (valid && len > 1) {
      static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) valid = false;
    }
    if (!valid) {
      out.push_back(static_cast<char16_t>(0xDC00 + b0));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

int ToFd(FileHandle file) { return static_cast<int>(file); }

class PosixFileSystem final : public FileSystem {
 public:
  // A folder is refused as Windows refuses it (access denied), not left for the read to trip over.
  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    FileHandle fd = kNoFile;
    OsStatus status = OpenLocked(path, O_RDONLY, &fd);
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
  // once the exclusive lock is ours.
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    FileHandle fd = kNoFile;
    OsStatus status = OpenLocked(path, O_WRONLY | O_CREAT, &fd);
    if (!status.ok()) return status;
    // Only a regular file has a length to empty; devices such as /dev/null or /dev/full refuse
    // ftruncate with EINVAL and are written as they are.
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

 private:
  // Opens and takes a non-blocking exclusive lock: a lock that another process holds is the sharing
  // violation of a Windows open without sharing.
  static OsStatus OpenLocked(const std::u16string& path, int flags, FileHandle* file) {
    const std::string native = WideToUtf8(path);
    int fd;
    do {
      fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return ErrnoStatus(errno, native);
    int rc;
    do {
      rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return OsStatus{kSharingViolation, DescribeSystemError(kSharingViolation)};
      return ErrnoStatus(err, native);
    }
    *file = fd;
    return Ok();
  }
};

// One line of a user-dirs file: NAME="value" with $HOME expanded, as the shell that reads it would.
std::optional<std::string> ReadUserDir(const std::string& file, const std::string& name, const std::string& home) {
  std::ifstream in(file);
  std::optional<std::string> found;
  std::string line;
  while (std::getline(in, line)) {
    auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    if (line.compare(start, name.size() + 1, name + "=") != 0) continue;
    std::string value = line.substr(start + name.size() + 1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string expanded;
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value.compare(i, 7, "${HOME}") == 0) {
        expanded += home, i += 6;
      } else if (value.compare(i, 5, "$HOME") == 0) {
        expanded += home, i += 4;
      } else if (value[i] == '\\' && i + 1 < value.size()) {
        expanded += value[++i];
      } else {
        expanded += value[i];
      }
    }
    found = expanded;  // the last assignment wins, as in the shell
  }
  return found;
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> DocumentsFolder() {
  const char* home_env = std::getenv("HOME");
  const std::string home = home_env != nullptr ? home_env : "";
  const char* config_env = std::getenv("XDG_CONFIG_HOME");
  const std::string config = (config_env != nullptr && *config_env != '\0') ? config_env : home + "/.config";
  if (auto dir = ReadUserDir(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR", home); dir && !dir->empty()) return dir;
  if (const char* env = std::getenv("XDG_DOCUMENTS_DIR"); env != nullptr && *env != '\0') return std::string(env);
  if (!home.empty() && IsDirectory(home + "/Documents")) return home + "/Documents";
  return std::nullopt;
}

}  // namespace

FileSystem& SystemFiles() {
  static PosixFileSystem files;
  return files;
}

std::string DescribeSystemError(SystemError code) {
  switch (code) {
    case kSuccess: return "The operation completed successfully.";
    case kFileNotFound: return std::strerror(ENOENT);
    case kPathNotFound: return "No such file or directory (a folder on the way does not exist)";
    case kAccessDenied: return std::strerror(EACCES);
    case kNotEnoughMemory:
    case kOutOfMemory: return std::strerror(ENOMEM);
    case kWriteProtect: return std::strerror(EROFS);
    case kSharingViolation: return "The file is being used by another process";
    case kHandleEof: return "Reached the end of the file before all of it was read";
    case kDiskFull: return std::strerror(ENOSPC);
    case kFilenameTooLong: return std::strerror(ENAMETOOLONG);
    default: return "System error " + std::to_string(code);
  }
}

bool GetSpecialFolder(SpecialFolder folder, std::u16string* path) {
  switch (folder) {
    case SpecialFolder::kCommonAppData:
      *path = u"/var/lib";
      return true;
    case SpecialFolder::kDocuments:
      if (auto dir = DocumentsFolder()) {
        *path = Utf8ToWide(*dir);
        return true;
      }
      return false;
  }
  return false;
}

std::u16string JoinPath(std::u16string_view left, std::u16string_view right) {
  std::u16string out(left);
  if (!left.empty() && left.back() != u'/') out.push_back(u'/');
  out.append(right);
  return out;
}

PathKind GetPathKind(const std::u16string& path) {
  struct stat st{};
  if (::stat(WideToUtf8(path).c_str(), &st) != 0) return PathKind::kMissing;
  if (S_ISREG(st.st_mode)) return PathKind::kRegularFile;
  if (S_ISDIR(st.st_mode)) return PathKind::kDirectory;
  return PathKind::kOther;
}

std::u16string PathFromNative(std::string_view native) { return Utf8ToWide(native); }

std::string PathToNative(std::u16string_view path) { return WideToUtf8(path); }

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace recaster::platform
