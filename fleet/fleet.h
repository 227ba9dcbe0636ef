// File: fleet/fleet.h - many version 5 files converted in one call into one folder: per source its
// version 6 file and both reports, then an index over all of them. Platform-free and silent: the
// command line and the dialog program tell the person what the result holds.
//
//   FleetPlan plan = PlanFleet(arguments, out_dir);      // the lock, sources, names, outputs, what exists
//   if (plan.usage_code != 0) ...                        // tell plan.problem; nothing was written
//   if (!plan.existing.empty() || !plan.stale.empty()) ...  // ask, or refuse without replacing
//   FleetResult result = ConvertFleet(plan, options, progress);
// A call runs in stages: plan, stage (the pool converts and writes temporaries), index, commit (flush,
// place, flush the folder), count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/exit_code.h"
#include "convert/source.h"
#include "mapping/summary.h"
#include "platform/platform.h"

namespace recaster::fleet {

// The source read from standard input instead of a file; named "stdin".
inline constexpr std::u16string_view kStandardInput = convert::kStandardInput;

// The file a folder given as a source stands for, wherever it is below it, in any case.
inline constexpr std::u16string_view kSettingsFileName = u"ov_server_settings.cfg";

// The lock file of an output folder; never an output, never listed, never removed.
inline constexpr std::u16string_view kLockFileName = u".recaster.lock";

// What the conversions in flight may hold at once. Each source is charged, before it starts, what its
// conversion may hold at the most: kWorstGrowth times its bytes, and kBaseCharge. A source whose charge
// is over the whole budget runs alone.
inline constexpr std::uint64_t kMemoryBudget = std::uint64_t{768} << 20;
inline constexpr std::uint64_t kWorstGrowth = 240;  // a file of long lists of short items: about 225 times
inline constexpr std::uint64_t kBaseCharge = std::uint64_t{1} << 20;

// What a source of `bytes` bytes is charged against kMemoryBudget.
constexpr std::uint64_t MemoryCharge(std::uint64_t bytes) { return kBaseCharge + bytes * kWorstGrowth; }

// A NAME is at most this many bytes of UTF-8.
inline constexpr std::size_t kMaxNameBytes = 200;

// The base of the output names of one source, from its absolute path: the last component without its
// last extension, or the parent folder's name when the file is "ov_server_settings.cfg" in any case;
// kStandardInput gives "stdin". Control characters and <>:"|?* become '_'; a NAME that would end in a
// dot or a blank gets '_' in their place; at most kMaxNameBytes; a name Windows reserves (CON, PRN,
// AUX, NUL, COM1 to COM9, LPT1 to LPT9) and "index", in any case, get a trailing '_'.
std::u16string BaseName(std::u16string_view absolute_path);

// One NAME per source, in argument order, so that no two sources' output files share a name, case
// ignored (NAME.json, NAME.report.html and NAME.report.json of one against those of every other).
// Names that collide, and only those, take the names of their parent folders (joined by '_'); names
// that still collide take "-2", "-3" in argument order.
std::vector<std::u16string> AssignNames(std::span<const std::u16string> absolute_paths);

// The files one source makes in the output folder.
struct Outputs {
  std::u16string json;         // NAME.json, the version 6 configuration
  std::u16string report_html;  // NAME.report.html
  std::u16string report_json;  // NAME.report.json
};

// The sources that arguments stand for, in order: a file (or a link to one, or standard input) as it is;
// a folder as every kSettingsFileName below it, the name in any case, in the order of their paths below
// the folder compared as UTF-16 code units. A link to a folder is not followed. Each comes with what
// the path named, so that its kind is asked once.
struct FoundSource {
  std::u16string path;
  platform::PathInfo info;
  bool inspected = false;  // info holds what Inspect found; false for standard input and unreadable paths
};
struct FoundSources {
  std::vector<FoundSource> sources;
  int usage_code = kExitOk;    // kExitUsage for a folder that holds no such file
  std::string problem;         // why, for a person (UTF-8), about `problem_path`
  std::u16string problem_path;
};
FoundSources FindSources(std::span<const std::u16string> arguments);

// One source as planned: the path as given, its absolute path, its NAME and its outputs (full paths).
struct PlannedSource {
  std::u16string path;
  std::u16string absolute_path;
  std::u16string name;
  Outputs outputs;
  platform::PathInfo info;
  bool inspected = false;
};

// A server whose NAME changed since the folder's earlier index.
struct Renamed {
  std::u16string from;
  std::u16string to;
};

// The lock of an output folder while a call holds it (FileSystem::LockFile of kLockFileName).
class FolderLock {
 public:
  FolderLock() = default;
  explicit FolderLock(platform::FileHandle handle) : handle_(handle) {}
  FolderLock(FolderLock&& other) noexcept : handle_(other.handle_) { other.handle_ = platform::kNoFile; }
  FolderLock& operator=(FolderLock&& other) noexcept;
  ~FolderLock();
  bool held() const { return handle_ != platform::kNoFile; }

 private:
  platform::FileHandle handle_ = platform::kNoFile;
};

// What a call will do, worked out before anything is written. Holds the folder's lock.
struct FleetPlan {
  std::u16string out_dir;                 // as given
  std::vector<PlannedSource> sources;     // in argument order, folders expanded
  std::u16string index_html;              // DIR/index.html
  std::u16string index_json;              // DIR/index.json
  std::u16string index_csv;               // DIR/index.csv
  std::vector<std::u16string> existing;   // outputs (the index's too) that exist already, in plan order
  std::vector<std::u16string> stale;      // files the earlier index listed that this call does not write
  std::vector<Renamed> renamed;           // servers the earlier index knew by another NAME
  std::string earlier_index_problem;      // why the earlier index could not be read (then nothing is stale)
  int usage_code = kExitOk;               // kExitUsage, or kExitWriteFailed when the folder cannot be locked
  std::string problem;                    // why, for a person (UTF-8); `problem_path` is what it is about
  std::u16string problem_path;
  FolderLock lock;

  // The files the call replaces or removes, for the prompt.
  std::size_t Replacing() const { return existing.size() + stale.size(); }
};

// Plans the call: the sources, the folder (created when missing, its parent must exist) and its lock,
// NAMEs, outputs, existing and stale outputs. A usage error (nothing to write) is: no source, a folder
// with no version 5 file below it, standard input named twice, two arguments naming the same file, a
// source that is also an output, or an output folder that is a file. Another call writing the folder
// gives kExitWriteFailed with "another recaster call is writing this folder".
FleetPlan PlanFleet(std::span<const std::u16string> arguments, std::u16string_view out_dir);

// The same for the sources FindSources found, whose paths are not looked at again.
FleetPlan PlanFleet(FoundSources found, std::u16string_view out_dir);

struct FleetOptions {
  std::string program_version;     // for the JSON reports
  unsigned jobs = 0;               // the size of the pool; 0: the number of processors
  bool replace_existing = false;   // without it, a plan with existing or stale outputs gives kExitNotReplaced
  // Each NAME.json flushed and read back before it waits for its place (convert::VerifyFile): one not as
  // planned is that source's failed write.
  bool verify = false;
  const convert::StandardInput* standard_input = nullptr;  // when kStandardInput is a source (read by the caller)
  std::uint64_t memory_budget = kMemoryBudget;
  // Guard the call against the signals that end a process (platform::SignalGuard); off in tests that
  // run a fleet in a process of their own threads.
  bool guard_signals = true;
};

// One source's row, in argument order.
struct FleetRow {
  std::u16string path;           // as given
  std::u16string absolute_path;
  std::u16string name;
  Outputs outputs;               // written when code is kExitOk
  int code = kExitOk;
  std::string reason;            // UTF-8, when code is not kExitOk
  mapping::Summary summary;      // the plan's figures, when the source was converted
};

// The rows counted by their codes (mapping::Totals::Add).
using FleetTotals = mapping::Totals;

// The outcome of a call: one row per source and the totals, the worst code (the highest of 1 to 4,
// else 0), and the index: written (index_code 0) or why not.
struct FleetResult {
  std::vector<FleetRow> rows;
  FleetTotals totals;
  // The index's view: the distinct values among totals.to_recreate; 0 when the index was not put in
  // place, as it counted servers whose files are not there.
  std::size_t distinct_to_recreate = 0;
  int worst = kExitOk;
  std::u16string index_html;
  std::u16string index_json;
  int index_code = kExitOk;      // kExitWriteFailed when the index could not be written
  std::string index_reason;
  bool index_written = false;    // no index is written for a call that converts no source
  std::size_t removed = 0;       // stale outputs removed
  int usage_code = 0;            // the plan's, when the call was not made; nothing was written then
  std::string problem;
  std::u16string problem_path;
  std::vector<std::u16string> existing;  // with worst kExitNotReplaced: the outputs that exist
};

// Called from the calling thread as sources finish: how many are done, of how many.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// Converts every source of the plan on a pool of threads and writes, per source, NAME.json,
// NAME.report.html and NAME.report.json (each the same bytes as the single-file conversion and
// reports of that source), then index.json, index.html and index.csv (a header row, then report::AppendCsvRows of each
// converted source). A source that cannot be converted writes
// nothing and becomes a row with its code and reason; the others go on. Every file is written through
// a temporary beside it; the temporaries are flushed together, then put in place, the index last, the
// stale outputs removed, and the folder flushed once: each file keeps its old content until its
// replacement is complete. A call that converts no source writes nothing. The conversions in flight
// hold at most options.memory_budget, as their charges (MemoryCharge) count it.
FleetResult ConvertFleet(const FleetPlan& plan, const FleetOptions& options, const Progress& progress = {});

// PlanFleet then ConvertFleet.
FleetResult ConvertFleet(std::span<const std::u16string> arguments, std::u16string_view out_dir,
                         const FleetOptions& options, const Progress& progress = {});

}  // namespace recaster::fleet
