// The POSIX layer's text at the system boundary, and errno as the Windows system error codes the rest
// of the program speaks; people read the system's own words, never a Windows code.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_internal.h"
#include "text/utf8.h"

namespace recaster::platform {
namespace posix {

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
    case ENOTEMPTY: return kDirNotEmpty;
    case ENAMETOOLONG: return kFilenameTooLong;
    case ELOOP: return kCantResolveName;
    case EINVAL: return kInvalidParameter;
    case EBADF: return kInvalidHandle;
    case ENOTSUP: return kNotSupported;
    case EMLINK: return kTooManyLinks;
    case EFBIG: return kFileSystemLimit;
    case EIO: return kReadFault;
    default: return kGenFailure;
  }
}

OsStatus ErrnoStatus(int err, const std::string& path) { return OsStatus{FromErrno(err, path), std::strerror(err)}; }

// Units U+DC80 to U+DCFF that stand alone carry a byte that was not valid UTF-8 (see Utf8ToWide), so
// any file name survives the round trip.
std::string WideToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const text::Decoded c = text::DecodeUtf16(text, i);
    if (c.broken && text[i] >= 0xDC80 && text[i] <= 0xDCFF) {
      out.push_back(static_cast<char>(text[i] - 0xDC00));
    } else {
      text::AppendUtf8(c.code_point, out);
    }
    i += c.length;
  }
  return out;
}

std::u16string Utf8ToWide(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const text::Decoded c = text::DecodeUtf8(bytes, i);
    if (c.broken) {
      out.push_back(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
    } else {
      text::AppendUtf16(c.code_point, out);
    }
    i += c.length;
  }
  return out;
}

}  // namespace posix

std::string DescribeSystemError(SystemError code) {
  // The errno each code stands for on this system, so that its text is the system's own.
  switch (code) {
    case kSuccess: return std::strerror(0);
    case kFileNotFound: return std::strerror(ENOENT);
    case kPathNotFound: return std::string(std::strerror(ENOENT)) + " (a folder on the way does not exist)";
    case kTooManyOpenFiles: return std::strerror(EMFILE);
    case kAccessDenied: return std::strerror(EACCES);
    case kInvalidHandle: return std::strerror(EBADF);
    case kNotEnoughMemory:
    case kOutOfMemory: return std::strerror(ENOMEM);
    case kWriteProtect: return std::strerror(EROFS);
    case kReadFault:
    case kGenFailure: return std::strerror(EIO);
    case kSharingViolation: return "The file is being used by another process";
    case kLockViolation: return std::strerror(ENOLCK);
    case kHandleEof: return "Reached the end of the file before all of it was read";
    case kNotSupported: return std::strerror(ENOTSUP);
    case kFileExists: return std::strerror(EEXIST);
    case kInvalidParameter:
    case kInvalidName: return std::strerror(EINVAL);
    case kDiskFull: return std::strerror(ENOSPC);
    case kDirNotEmpty: return std::strerror(ENOTEMPTY);
    case kFilenameTooLong: return std::strerror(ENAMETOOLONG);
    case kDirectory: return std::strerror(EISDIR);
    case kFileTooLarge:
    case kFileSystemLimit: return std::strerror(EFBIG);
    case kLinkNotFollowed: return "a link owned by another user in a shared folder; not followed";
    case kTooManyLinks: return std::strerror(EMLINK);
    case kCantResolveName: return std::strerror(ELOOP);
    default: return "Unknown system error";
  }
}

std::string DescribeLastStreamError() {
  const int err = errno;
  return err != 0 ? std::strerror(err) : std::strerror(EIO);
}

// The system texts of this platform name nothing: they have no inserts to fill.
std::string DescribeSystemError(SystemError code, std::string_view) { return DescribeSystemError(code); }

std::u16string PathFromNative(std::string_view native) { return posix::Utf8ToWide(native); }

std::string PathToNative(std::u16string_view path) { return posix::WideToUtf8(path); }

std::u16string ProgramPath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return posix::Utf8ToWide(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace recaster::platform
