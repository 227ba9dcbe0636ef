// The writing of the destination file and the default paths.
#include "convert/convert.h"

#include <limits>
#include <string>

namespace recaster::convert {
namespace {

// `file` in `sub_folder` (when not empty) of the special folder; the bare file name without the folder.
std::u16string DefaultPath(platform::SpecialFolder special, std::u16string_view sub_folder, std::u16string_view file) {
  std::u16string path;
  if (!platform::GetSpecialFolder(special, &path)) {
    path.clear();
  } else if (!sub_folder.empty()) {
    path = platform::JoinPath(path, sub_folder);
  }
  return platform::JoinPath(path, file);
}

// One write request of all bytes; kWriteFault when the system delivered fewer without a reason.
SystemError WriteAll(platform::FileSystem& files, platform::FileHandle file, std::string_view bytes) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t written = 0;
  const platform::OsStatus status = files.Write(file, bytes.data(), size, &written);
  if (!status.ok()) return status.code;
  return written == size ? platform::kSuccess : kWriteFault;
}

// A device or FIFO has no content to keep: it is opened as it is and written.
SystemError WriteInPlace(platform::FileSystem& files, const std::u16string& path, std::string_view bytes) {
  platform::FileHandle handle = platform::kNoFile;
  const platform::OsStatus opened =
      platform::RetryWhileShared(files, [&] { return files.CreateForWriting(path, &handle); });
  if (!opened.ok()) return opened.code;
  platform::ScopedFile file(files, handle);
  return WriteAll(files, file.get(), bytes);
}

// A temporary file that goes again unless it was put in place, however the writing ends.
class TemporaryFile {
 public:
  explicit TemporaryFile(platform::FileSystem& files) : files_(files) {}
  ~TemporaryFile() {
    // Nothing more can be done for a temporary that will not go; the write has already failed.
    if (!path_.empty()) static_cast<void>(files_.Discard(path_));
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  std::u16string* path() { return &path_; }
  void Placed() { path_.clear(); }

 private:
  platform::FileSystem& files_;
  std::u16string path_;
};

// The temporary file, written and flushed, takes the destination's place.
SystemError ReplaceFile(platform::FileSystem& files, const std::u16string& destination, std::string_view bytes) {
  TemporaryFile temporary(files);
  platform::FileHandle handle = platform::kNoFile;
  const platform::OsStatus created = files.CreateTemporary(destination, temporary.path(), &handle);
  if (!created.ok()) {
    temporary.Placed();  // nothing was created
    return created.code;
  }
  platform::ScopedFile file(files, handle);
  SystemError result = WriteAll(files, file.get(), bytes);
  if (result == platform::kSuccess) result = files.Flush(file.get()).code;
  file.reset();
  if (result != platform::kSuccess) return result;
  const std::u16string& path = *temporary.path();
  result = platform::RetryWhileShared(files, [&] { return files.Replace(path, destination); }).code;
  if (result == platform::kSuccess) temporary.Placed();
  return result;
}

}  // namespace

SystemError WriteTextFile(const std::u16string& path, std::string_view bytes) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return kFileTooLarge;
  platform::FileSystem& files = platform::Files();
  platform::PathInfo destination;
  if (const platform::OsStatus found = files.Inspect(path, &destination); !found.ok()) return found.code;
  switch (destination.kind) {
    case platform::PathKind::kDirectory: return platform::kAccessDenied;  // as Windows refuses a folder
    case platform::PathKind::kOther: return WriteInPlace(files, destination.target, bytes);
    case platform::PathKind::kMissing:
    case platform::PathKind::kRegularFile: return ReplaceFile(files, destination.target, bytes);
  }
  return platform::kInvalidParameter;
}

SystemError WriteConfigFile(const ConfigTree& tree, const std::u16string& path) {
  const std::string text = ConfigTreeToJson(tree);
  return WriteTextFile(path, text);
}

std::string DescribeWriteError(SystemError code) {
  switch (code) {
    case kWriteFault: return "the write ended before all of the text was written";
    case kFileTooLarge: return "the text is 4 GiB or more, too large to write in one request";
    default: return platform::DescribeSystemError(code);
  }
}

std::u16string DefaultInputPath() {
  return DefaultPath(platform::SpecialFolder::kCommonAppData, u"Ornvale", u"ov_server_settings.cfg");
}

std::u16string DefaultOutputPath() {
  return DefaultPath(platform::SpecialFolder::kDocuments, u"", u"converted_ov_config.json");
}

}  // namespace recaster::convert
