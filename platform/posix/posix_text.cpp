// The POSIX layer's text at the system boundary, and errno as the Windows system error codes the rest
// of the program speaks; people read the system's own words, never a Windows code.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_internal.h"

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
