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

}  // namespace

SystemError WriteTextFile(const std::u16string& path, std::string_view bytes) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return kFileTooLarge;
  platform::FileSystem& files = platform::Files();

  platform::FileHandle handle = platform::kNoFile;
  platform::OsStatus opened;
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    opened = files.CreateForWriting(path, &handle);
    if (opened.code != platform::kSharingViolation) break;
    files.Sleep(kOpenRetryWaitMs);
  }
  if (!opened.ok()) return opened.code;

  platform::ScopedFile file(files, handle);
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t written = 0;
  const platform::OsStatus status = files.Write(file.get(), bytes.data(), size, &written);
  if (!status.ok()) return status.code;
  if (written != size) return kWriteFault;
  return platform::kSuccess;
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
