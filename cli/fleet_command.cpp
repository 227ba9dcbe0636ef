// The convert command over many sources (--out-dir): every source into one folder, with an index.
#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>

#include "cli/commands.h"
#include "fleet/fleet.h"
#include "platform/platform.h"

namespace recaster::cli {
namespace {

bool Yes(Console& io) {
  std::string answer;
  std::getline(io.in, answer);
  std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
  return answer == "y" || answer == "yes";
}

// The first ten of the paths, and how many more there are.
void ListSome(const std::vector<std::u16string>& paths, Console& io) {
  for (std::size_t i = 0; i < std::min<std::size_t>(paths.size(), 10); ++i) io.err << "  " << Display(paths[i]) << '\n';
  if (paths.size() > 10) io.err << "  and " << paths.size() - 10 << " more\n";
}

// "Replace N files in DIR? [y/N]" on a terminal; otherwise the first ten of them and how many there are.
// The earlier index's outputs that this call does not write again are counted and listed too: the
// call removes them.
int MayReplaceAll(const fleet::FleetPlan& plan, const ConvertOptions& opt, Console& io) {
  const std::size_t count = plan.Replacing();
  if (count == 0 || opt.force) return kExitOk;
  if (io.in_is_terminal) {
    io.err << "Replace " << count << (count == 1 ? " file" : " files") << " in " << Display(plan.out_dir);
    if (!plan.stale.empty()) io.err << " (removing " << plan.stale.size() << " that the earlier index lists)";
    io.err << "? [y/N] " << std::flush;
    return Yes(io) ? kExitOk : kExitNotReplaced;
  }
  if (!plan.existing.empty()) {
    const std::size_t n = plan.existing.size();
    io.err << "recaster: " << Display(plan.out_dir) << ": " << n << (n == 1 ? " output exists" : " outputs exist")
           << " already (pass --force to replace them):\n";
    ListSome(plan.existing, io);
  }
  if (!plan.stale.empty()) {
    const std::size_t n = plan.stale.size();
    io.err << "recaster: " << Display(plan.out_dir) << ": " << n << (n == 1 ? " file" : " files")
           << " of the earlier index would be removed, as this call does not write them (pass --force):\n";
    ListSome(plan.stale, io);
  }
  return kExitNotReplaced;
}

std::vector<std::u16string> SourcesOf(const ConvertOptions& opt) {
  std::vector<std::u16string> sources;
  for (const std::string* path : {&opt.source, &opt.destination}) {
    if (!path->empty()) sources.push_back(platform::PathFromNative(*path));
  }
  for (const std::string& path : opt.more) sources.push_back(platform::PathFromNative(path));
  return sources;
}

void TellTotals(const fleet::FleetResult& result, Console& io) {
  const fleet::FleetTotals& t = result.totals;
  io.err << "recaster: converted " << t.converted << " of " << t.sources << (t.sources == 1 ? " source" : " sources");
  if (t.refused != 0) io.err << ", " << t.refused << " refused";
  if (t.write_failed != 0) io.err << ", " << t.write_failed << " not written";
  io.err << "; " << t.to_recreate << (t.to_recreate == 1 ? " setting" : " settings") << " to re-create by hand";
  // The distinct values among them, as the index's view counts them: what is re-created once, as a
  // template (none are known when the index was not put in place).
  if (result.distinct_to_recreate != 0) {
    io.err << " (" << result.distinct_to_recreate
           << (result.distinct_to_recreate == 1 ? " distinct value)" : " distinct values)");
  }
  if (t.adjustments != 0) io.err << ", " << t.adjustments << (t.adjustments == 1 ? " value" : " values") << " to check";
  io.err << '\n';
  if (result.removed != 0) {
    io.err << "recaster: removed " << result.removed << (result.removed == 1 ? " file" : " files")
           << " that the earlier index listed\n";
  }
  if (result.index_written) io.err << "recaster: index: " << Display(platform::AbsolutePath(result.index_html)) << '\n';
  if (t.converted == 0) io.err << "recaster: no source was converted; nothing was written\n";
}

fleet::FleetResult Convert(const fleet::FleetPlan& plan, const ConvertOptions& opt, const StandardInput& input,
                           Console& io) {
  fleet::FleetOptions options;
  options.program_version = RECASTER_VERSION;
  options.replace_existing = true;
  options.standard_input = &input;
  options.jobs = opt.jobs;
  options.verify = opt.verify;
  const bool show_progress = io.err_is_terminal && !opt.quiet;
  std::size_t shown = 0;
  fleet::FleetResult result = fleet::ConvertFleet(plan, options, [&](std::size_t done, std::size_t total) {
    if (!show_progress) return;
    std::string line = "converted " + std::to_string(done) + " of " + std::to_string(total);
    shown = line.size();
    io.err << '\r' << line << std::flush;
  });
  if (shown != 0) io.err << '\r' << std::string(shown, ' ') << '\r' << std::flush;
  return result;
}

}  // namespace

// Every source into the folder: usage errors, the folder's lock and existing outputs before anything is
// written, then one line per source that was not converted, the totals and where the index is.
int run_fleet(const ConvertOptions& opt, Console& io) {
  const std::vector<std::u16string> sources = SourcesOf(opt);
  const fleet::FleetPlan plan = fleet::PlanFleet(sources, platform::PathFromNative(opt.out_dir));
  if (plan.usage_code == kExitUsage) return UsageError(Display(plan.problem_path) + ": " + plan.problem, io);
  if (plan.usage_code != kExitOk) {
    SayAbout(plan.problem_path, plan.problem, io);
    return plan.usage_code;
  }
  StandardInput input;
  const bool from_input = std::any_of(sources.begin(), sources.end(), IsStandardInput);
  if (from_input && io.in_is_terminal) return ReadStandardInputOnce(io, &input);
  if (!plan.earlier_index_problem.empty()) {
    SayAbout(plan.index_json, "the earlier index cannot be read (" + plan.earlier_index_problem +
                                  "); files it lists are left in place", io);
  }
  if (int code = MayReplaceAll(plan, opt, io); code != kExitOk) return code;
  if (from_input) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  }
  for (const fleet::Renamed& renamed : plan.renamed) {
    io.err << "recaster: " << Display(renamed.from) << " is now " << Display(renamed.to) << '\n';
  }
  const fleet::FleetResult result = Convert(plan, opt, input, io);
  for (const fleet::FleetRow& row : result.rows) {
    if (row.code != kExitOk) SayAbout(row.path, row.reason, io);
  }
  if (result.index_code != kExitOk) io.err << "recaster: cannot write the index: " << result.index_reason << '\n';
  if (!opt.quiet) TellTotals(result, io);
  return opt.detailed_exitcode ? DetailedExitCode(result.worst, result.totals) : result.worst;
}

}  // namespace recaster::cli
