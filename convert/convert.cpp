// The configuration tree's JSON text and the writing of the destination file.
#include "convert/convert.h"

#include <limits>
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>

namespace recaster::convert {
namespace {

namespace pt = boost::property_tree;

// The root holds no value and no node holds both a value and children. Walked without recursion.
bool CanBeJson(const ConfigTree& tree) {
  if (!tree.data().empty()) return false;
  std::vector<const ConfigTree*> pending{&tree};
  while (!pending.empty()) {
    const ConfigTree* node = pending.back();
    pending.pop_back();
    if (!node->data().empty() && !node->empty()) return false;
    for (const auto& child : *node) pending.push_back(&child.second);
  }
  return true;
}

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

std::string ConfigTreeToJson(const ConfigTree& tree) {
  if (!CanBeJson(tree)) {
    throw pt::json_parser_error("ptree contains data that cannot be represented in JSON format", "", 0);
  }
  std::ostringstream out;
  out.imbue(std::locale::classic());
  pt::write_json(out, tree, true);
  if (!out.good()) throw pt::json_parser_error("write error", "", 0);
  return std::move(out).str();
}

JsonResult TryConfigTreeToJson(const ConfigTree& tree) {
  JsonResult result;
  try {
    result.text = ConfigTreeToJson(tree);
  } catch (const pt::file_parser_error& e) {
    result.error = e.message();
  } catch (const pt::ptree_error& e) {
    result.error = e.what();
  }
  return result;
}

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
