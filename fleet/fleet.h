// File: fleet/fleet.h - many version 5 files converted in one call into one folder: per source its
// version 6 file and both reports, then an index over all of them. Platform-free and silent: the
// command line and the dialog program tell the person what the result holds.
//
//   FleetPlan plan = PlanFleet(sources, out_dir);        // names, outputs, what exists already
//   if (plan.usage_code != 0) ...                        // tell plan.problem; nothing was written
//   if (!plan.existing.empty()) ...                      // ask, or refuse without replacing
//   FleetResult result = ConvertFleet(plan, options, progress);
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mapping/summary.h"

namespace recaster::fleet {

// The outcome codes of a source, the same numbers as the command line's exit codes.
inline constexpr int kConverted = 0;
inline constexpr int kWriteFailed = 1;   // an output of the source could not be written
inline constexpr int kNoSuchFile = 2;    // the path names no file, a folder or no regular file
inline constexpr int kUnreadable = 3;    // the file cannot be read, or is no version 5 configuration
inline constexpr int kNotReplaced = 4;   // outputs exist and were not to be replaced (the whole call)

// The source read from standard input instead of a file; named "stdin".
inline constexpr std::u16string_view kStandardInput = u"-";

// A NAME is at most this many bytes of UTF-8.
inline constexpr std::size_t kMaxNameBytes = 200;

// Sources larger than this are converted one at a time, so that the call stays well under 1 GiB.
inline constexpr std::uint64_t kLargeSourceBytes = 8u * 1024u * 1024u;

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

// One source as planned: the path as given, its absolute path, its NAME and its outputs (full paths).
struct PlannedSource {
  std::u16string path;
  std::u16string absolute_path;
  std::u16string name;
  Outputs outputs;
};

// What a call will do, worked out before anything is written.
struct FleetPlan {
  std::u16string out_dir;                 // as given
  std::vector<PlannedSource> sources;     // in argument order
  std::u16string index_html;              // DIR/index.html
  std::u16string index_json;              // DIR/index.json
  std::vector<std::u16string> existing;   // outputs (the index's too) that exist already, in plan order
  int usage_code = 0;                     // kNoSuchFile when the call cannot be made as asked
  std::string problem;                    // why, for a person (UTF-8); `problem_path` is what it is about
  std::u16string problem_path;
};

// Plans the call: NAMEs, outputs and existing outputs. A usage error (usage_code kNoSuchFile, nothing
// to write) is: no source, standard input named twice, two arguments naming the same file, a source
// that is also an output, or an output folder that is a file. A missing output folder is created by
// ConvertFleet, not here.
FleetPlan PlanFleet(std::span<const std::u16string> sources, std::u16string_view out_dir);

struct FleetOptions {
  std::string program_version;     // for the JSON reports
  unsigned threads = 0;            // the size of the pool; 0: the number of processors
  bool replace_existing = false;   // without it, a plan with existing outputs gives kNotReplaced
  std::string_view standard_input; // the bytes of kStandardInput, when it is a source (read by the caller)
};

// One source's row, in argument order.
struct FleetRow {
  std::u16string path;           // as given
  std::u16string absolute_path;
  std::u16string name;
  Outputs outputs;               // written when code is kConverted
  int code = kConverted;
  std::string reason;            // UTF-8, when code is not kConverted
  mapping::Summary summary;      // the plan's figures, when the source was converted
};

// The rows counted by their codes (mapping::Totals::Add).
using FleetTotals = mapping::Totals;

// The outcome of a call: one row per source and the totals, the worst code (the highest of 1 to 4,
// else 0), and the index: written (index_code 0) or why not.
struct FleetResult {
  std::vector<FleetRow> rows;
  FleetTotals totals;
  int worst = kConverted;
  std::u16string index_html;
  std::u16string index_json;
  int index_code = kConverted;   // kWriteFailed when the index could not be written
  std::string index_reason;
  int usage_code = 0;            // the plan's, when the call was not made; nothing was written then
  std::string problem;
  std::u16string problem_path;
  std::vector<std::u16string> existing;  // with worst kNotReplaced: the outputs that exist

  bool SettingsRemain() const { return totals.to_recreate != 0; }
};

// Called from the calling thread as sources finish: how many are done, of how many.
using Progress = std::function<void(std::size_t done, std::size_t total)>;

// Converts every source of the plan on a pool of threads and writes, per source, NAME.json,
// NAME.report.html and NAME.report.json (each the same bytes as the single-file conversion and
// reports of that source), then index.json and index.html. A source that cannot be converted writes
// nothing and becomes a row with its code and reason; the others go on. Every file is written through
// a temporary beside it; the temporaries are flushed together, then put in place, the index last, and
// the folder flushed once: each file keeps its old content until its replacement is complete.
FleetResult ConvertFleet(const FleetPlan& plan, const FleetOptions& options, const Progress& progress = {});

// PlanFleet then ConvertFleet.
FleetResult ConvertFleet(std::span<const std::u16string> sources, std::u16string_view out_dir,
                         const FleetOptions& options, const Progress& progress = {});

}  // namespace recaster::fleet
