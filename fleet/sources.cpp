// The sources that arguments stand for: files as they are, folders as the version 5 files below them.
#include <algorithm>
#include <string>
#include <vector>

#include "fleet/fleet.h"

namespace recaster::fleet {
namespace {

bool SameNameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return lower(x) == lower(y);
         });
}

// A file found below a folder: its path, and the names of the folders on the way and its own, by which
// the files of one folder are ordered the same on every system, whatever its separator.
struct Found {
  std::u16string path;
  std::vector<std::u16string> components;
};

// Every kSettingsFileName below `folder` into `found`, depth first; linked folders are not entered, a
// linked file is taken (the source step applies the link rules of a single source to it). A folder
// that cannot be listed is passed over, as one that holds none.
void Walk(const std::u16string& folder, std::vector<std::u16string>& on_the_way, std::vector<Found>& found) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::Files().ListFolder(folder, &entries).ok()) return;
  for (const platform::FolderEntry& entry : entries) {
    on_the_way.push_back(entry.name);
    if (entry.kind == platform::PathKind::kDirectory) {
      if (!entry.is_link) Walk(platform::JoinPath(folder, entry.name), on_the_way, found);
    } else if (SameNameIgnoringAsciiCase(entry.name, kSettingsFileName)) {
      found.push_back({platform::JoinPath(folder, entry.name), on_the_way});
    }
    on_the_way.pop_back();
  }
}

}  // namespace

FoundSources FindSources(std::span<const std::u16string> arguments) {
  FoundSources result;
  for (const std::u16string& argument : arguments) {
    FoundSource source{argument, {}, false};
    if (argument != kStandardInput) {
      source.inspected = platform::Files().Inspect(argument, &source.info).ok();
    }
    if (!source.inspected || source.info.kind != platform::PathKind::kDirectory) {
      result.sources.push_back(std::move(source));
      continue;
    }
    std::vector<Found> below;
    std::vector<std::u16string> on_the_way;
    Walk(argument, on_the_way, below);
    if (below.empty()) {
      result.usage_code = kExitUsage;
      result.problem_path = argument;
      result.problem = "is a folder with no " + platform::PathToNative(kSettingsFileName) + " below it";
      return result;
    }
    std::sort(below.begin(), below.end(), [](const Found& a, const Found& b) { return a.components < b.components; });
    for (Found& found : below) result.sources.push_back({std::move(found.path), {}, false});
  }
  return result;
}

}  // namespace recaster::fleet
