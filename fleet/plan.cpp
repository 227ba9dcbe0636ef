// The plan of a call: its folder's lock, its sources and their NAMEs and outputs, what exists already,
// and what the folder's earlier index lists that this call will not write again.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fleet/earlier_index.h"
#include "fleet/fleet.h"

namespace recaster::fleet {
namespace {

constexpr std::u16string_view kIndexJson = u"index.json";
constexpr std::u16string_view kIndexHtml = u"index.html";
constexpr std::u16string_view kIndexCsv = u"index.csv";

// Two looks at one existing regular file, however each was named.
bool SameExisting(const platform::PathInfo& a, const platform::PathInfo& b) {
  return a.kind == platform::PathKind::kRegularFile && b.kind == platform::PathKind::kRegularFile && a.id == b.id &&
         a.id != platform::FileId{};
}

std::u16string Folded(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded) c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
  return folded;
}

// A name that the earlier index may make us remove: a plain file name in the folder, none of the
// call's own.
bool RemovableName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..") return false;
  if (name.find_first_of(u"/\\:") != std::u16string_view::npos || name.find(u'\0') != std::u16string_view::npos) {
    return false;
  }
  const std::u16string folded = Folded(name);
  return folded != Folded(kIndexJson) && folded != Folded(kIndexHtml) && folded != Folded(kIndexCsv) &&
         folded != Folded(kLockFileName);
}

// The stale outputs and renamed servers, from the earlier index.
void CompareWithEarlier(FleetPlan& plan) {
  platform::PathInfo index;
  if (!platform::Files().Inspect(plan.index_json, &index).ok() || index.is_link ||
      index.kind != platform::PathKind::kRegularFile) {
    return;
  }
  std::vector<EarlierSource> earlier;
  if (!ReadEarlierIndex(plan.index_json, &earlier, &plan.earlier_index_problem)) return;
  std::set<std::u16string> written;
  for (const PlannedSource& source : plan.sources) {
    for (const std::u16string* file : {&source.outputs.json, &source.outputs.report_html, &source.outputs.report_json}) {
      written.insert(Folded(*file));
    }
  }
  std::set<std::u16string> listed;
  for (const EarlierSource& entry : earlier) {
    const std::u16string name = platform::PathFromNative(entry.name);
    const std::u16string absolute = platform::PathFromNative(entry.absolute_path);
    for (const PlannedSource& source : plan.sources) {
      if (source.absolute_path == absolute && source.name != name && !name.empty()) {
        plan.renamed.push_back({name, source.name});
      }
    }
    for (const std::string& file : entry.files) {
      const std::u16string wide = platform::PathFromNative(file);
      if (!RemovableName(wide)) continue;
      const std::u16string path = platform::JoinPath(plan.out_dir, wide);
      if (written.count(Folded(path)) != 0 || !listed.insert(Folded(path)).second) continue;
      platform::PathInfo info;
      if (!platform::Files().Inspect(path, &info).ok() || info.is_link || info.kind != platform::PathKind::kRegularFile) {
        continue;
      }
      plan.stale.push_back(path);
    }
  }
}

FleetPlan& Usage(FleetPlan& plan, int code, std::u16string path, std::string why) {
  plan.usage_code = code;
  plan.problem_path = std::move(path);
  plan.problem = std::move(why);
  return plan;
}

// The folder, made when missing, and its lock; false with the plan's problem when either fails.
bool PrepareFolder(FleetPlan& plan) {
  platform::FileSystem& files = platform::Files();
  platform::PathInfo folder;
  if (const platform::OsStatus found = files.Inspect(plan.out_dir, &folder); !found.ok()) {
    Usage(plan, kExitUsage, plan.out_dir, found.message);
    return false;
  }
  if (folder.kind != platform::PathKind::kDirectory && folder.kind != platform::PathKind::kMissing) {
    Usage(plan, kExitUsage, plan.out_dir, "is not a folder");
    return false;
  }
  if (const platform::OsStatus made = files.CreateFolder(plan.out_dir); !made.ok()) {
    Usage(plan, kExitWriteFailed, plan.out_dir, "cannot create the folder: " + made.message);
    return false;
  }
  platform::FileHandle lock = platform::kNoFile;
  const platform::OsStatus locked = files.LockFile(platform::JoinPath(plan.out_dir, kLockFileName), &lock);
  if (locked.code == platform::kLockViolation) {
    Usage(plan, kExitWriteFailed, plan.out_dir, "another recaster call is writing this folder");
    return false;
  }
  // A file system that cannot lock (kNotSupported) is written without the lock rather than not at all.
  if (!locked.ok() && locked.code != platform::kNotSupported) {
    Usage(plan, kExitWriteFailed, plan.out_dir, "cannot lock the folder: " + locked.message);
    return false;
  }
  if (locked.ok()) plan.lock = FolderLock(lock);
  return true;
}

// NAMEs and outputs; false with the plan's problem for a source named twice.
bool NameSources(FleetPlan& plan, std::vector<FoundSource>& found) {
  std::vector<std::u16string> absolute;
  bool input_named = false;
  for (std::size_t i = 0; i < found.size(); ++i) {
    FoundSource& source = found[i];
    if (source.path == kStandardInput) {
      if (input_named) return Usage(plan, kExitUsage, u"-", "standard input can be read only once"), false;
      input_named = true;
      absolute.emplace_back(kStandardInput);
      continue;
    }
    if (!source.inspected) source.inspected = platform::Files().Inspect(source.path, &source.info).ok();
    absolute.push_back(platform::AbsolutePath(source.path));
    for (std::size_t j = 0; j < i; ++j) {
      if (SameExisting(source.info, found[j].info) || absolute[i] == absolute[j]) {
        Usage(plan, kExitUsage, source.path, "is named twice (also as " + platform::PathToNative(found[j].path) + ")");
        return false;
      }
    }
  }
  const std::vector<std::u16string> names = AssignNames(absolute);
  for (std::size_t i = 0; i < found.size(); ++i) {
    PlannedSource planned{found[i].path, absolute[i], names[i], {}, found[i].info, found[i].inspected};
    planned.outputs.json = platform::JoinPath(plan.out_dir, names[i] + u".json");
    planned.outputs.report_html = platform::JoinPath(plan.out_dir, names[i] + u".report.html");
    planned.outputs.report_json = platform::JoinPath(plan.out_dir, names[i] + u".report.json");
    plan.sources.push_back(std::move(planned));
  }
  return true;
}

// What exists already; false with the plan's problem when a source would be overwritten.
bool FindExisting(FleetPlan& plan) {
  const auto look = [&plan](const std::u16string& output) -> bool {
    platform::PathInfo info;
    if (!platform::Files().Inspect(output, &info).ok()) return true;  // told when it is written
    if (info.kind == platform::PathKind::kMissing && !info.is_link) return true;
    for (const PlannedSource& source : plan.sources) {
      if (SameExisting(info, source.info)) {
        Usage(plan, kExitUsage, source.path,
              "is also an output (" + platform::PathToNative(output) + "); choose another folder");
        return false;
      }
    }
    plan.existing.push_back(output);
    return true;
  };
  for (const PlannedSource& source : plan.sources) {
    if (!look(source.outputs.json) || !look(source.outputs.report_html) || !look(source.outputs.report_json)) {
      return false;
    }
  }
  return look(plan.index_json) && look(plan.index_html) && look(plan.index_csv);
}

}  // namespace

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    if (held()) platform::Files().Close(handle_);
    handle_ = other.handle_;
    other.handle_ = platform::kNoFile;
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (held()) platform::Files().Close(handle_);
}

FleetPlan PlanFleet(std::span<const std::u16string> arguments, std::u16string_view out_dir) {
  if (arguments.empty()) {
    FleetPlan plan;
    plan.out_dir = std::u16string(out_dir);
    Usage(plan, kExitUsage, plan.out_dir, "no source to convert");
    return plan;
  }
  return PlanFleet(FindSources(arguments), out_dir);
}

FleetPlan PlanFleet(FoundSources found, std::u16string_view out_dir) {
  FleetPlan plan;
  plan.out_dir = std::u16string(out_dir);
  plan.index_html = platform::JoinPath(plan.out_dir, kIndexHtml);
  plan.index_json = platform::JoinPath(plan.out_dir, kIndexJson);
  plan.index_csv = platform::JoinPath(plan.out_dir, kIndexCsv);
  if (found.usage_code != kExitOk) {
    Usage(plan, found.usage_code, found.problem_path, found.problem);
    return plan;
  }
  if (found.sources.empty()) {
    Usage(plan, kExitUsage, plan.out_dir, "no source to convert");
    return plan;
  }
  // The lock is taken before anything in the folder is counted, so that what the prompt tells stays so.
  if (!NameSources(plan, found.sources) || !PrepareFolder(plan) || !FindExisting(plan)) return plan;
  CompareWithEarlier(plan);
  return plan;
}

}  // namespace recaster::fleet
