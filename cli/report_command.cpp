// The report command: the migration report of one or more version 5 files on standard output.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <new>
#include <ostream>

#include "cli/commands.h"
#include "convert/convert.h"
#include "platform/platform.h"
#include "report/report.h"
#include "settings/ov_settings.h"

namespace recaster::cli {
namespace {

bool PlainInShell(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("./\\:_-+").find(c) != std::string_view::npos;
}

// The report of one source, and the exit code it earns.
report::Report ReportOf(const std::u16string& source, Console& io, int* code) {
  platform::PathInfo info;
  if (const SourceCheck check = InspectSource(source, &info); check.code != kExitOk) {
    *code = TellSourceProblem(source, check, io);
    return report::UnreadReport(source, check.why);
  }
  convert::ConversionResult conversion;
  try {
    conversion = convert::BuildConfigTree(source);
  } catch (const std::bad_alloc&) {
    *code = NotEnoughMemoryToLoad(source, io);
    return report::UnreadReport(source, "not enough memory");
  }
  if (!conversion.ok()) {
    const std::string why = LoadFailureReason(conversion.load);
    *code = ReportLoadFailure(source, why, io);
    return report::UnreadReport(source, "not a readable Ornvale 5 server configuration: " + why);
  }
  *code = kExitOk;
  return report::BuildReport(conversion, source);
}

}  // namespace

std::string ReportCommandFor(const std::u16string& source) {
  const std::string path = Display(source);
  const bool plain = !path.empty() && std::all_of(path.begin(), path.end(), PlainInShell);
  return "recaster report " + (plain ? path : "\"" + path + "\"");
}

void setup_report(CLI::App& app, ReportOptions& opt) {
  auto* report = app.add_subcommand(
      "report", "Print what version 6 takes over and every setting to re-create by hand, with its values");
  report->footer(
      "Each setting that differs from its default and is not carried over is marked and counted once, a list as\n"
      "one; filters read in words, passwords only as set or not set. Several sources: a summary table first.\n"
      "Exit codes: 0 done; 1 standard output could not be written; 2 usage error or no such source file;\n"
      "3 the source is not a readable Ornvale 5 server configuration; with several sources, the worst of them.\n"
      "Examples:\n"
      "  recaster report ov_server_settings.cfg | less\n"
      "  recaster report --html servers/*/ov_server_settings.cfg > fleet.html");
  report->add_flag("--html", opt.html, "Print one self-contained HTML page instead of Markdown text");
  report->add_option("SOURCE", opt.sources,
                     "The version 5 files; with several, a summary table comes first (default: " +
                         Display(convert::DefaultInputPath()) + ")");
}

int run_report(const ReportOptions& opt, Console& io) {
  std::vector<std::u16string> sources;
  for (const std::string& source : opt.sources) sources.push_back(platform::PathFromNative(source));
  if (sources.empty()) sources.push_back(convert::DefaultInputPath());

  std::vector<report::Report> reports;
  int worst = kExitOk;
  for (const std::u16string& source : sources) {
    int code = kExitOk;
    reports.push_back(ReportOf(source, io, &code));
    worst = std::max(worst, code);
  }
  if (sources.size() == 1 && worst != kExitOk) return worst;

  if (const int written = WriteData(io, opt.html ? report::ToHtml(reports) : report::ToMarkdown(reports));
      written != kExitOk) {
    return written;
  }
  return worst;
}

}  // namespace recaster::cli
