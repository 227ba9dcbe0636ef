// The commands of the recaster program. Per command: an options struct, a setup_* that binds it to the
// parser, and a run_* that does the work and returns the exit code. Parsing is separate from running.
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <istream>
#include <ostream>

#include "cli/commands.h"
#include "cli/settings_json.h"
#include "convert/convert.h"
#include "platform/platform.h"
#include "settings/ov_settings.h"

namespace recaster::cli {
namespace {

constexpr std::string_view kReadFailed =
    "Failed to read an Ornvale 5 server configuration from the file you selected.";
constexpr std::string_view kWriteSucceeded =
    "The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.";
constexpr std::string_view kWriteFailed = "Failed to write converted configuration to the file path you specified.";

}  // namespace

std::string Display(const std::u16string& path) { return platform::PathToNative(path); }

std::string SourceProblem(const std::u16string& source) {
  switch (platform::GetPathKind(source)) {
    case platform::PathKind::kRegularFile:
      return std::string();
    case platform::PathKind::kMissing:
      return "no such file";
    case platform::PathKind::kDirectory:
      return "is a folder, not a file";
    case platform::PathKind::kOther:
      break;
  }
  return "not a regular file";
}

void ReportLoadFailure(const std::u16string& source, const xml::XmlLoadResult& result, Console& io) {
  io.err << kReadFailed << '\n' << "recaster: " << Display(source) << ": " << xml::DescribeLoadResult(result) << '\n';
}

namespace {

// A source must name an existing regular file, as the open dialog insists; 0 when it does.
int CheckSource(const std::u16string& source, Console& io) {
  const std::string problem = SourceProblem(source);
  if (problem.empty()) return kExitOk;
  io.err << "recaster: " << Display(source) << ": " << problem << '\n';
  return kExitUsage;
}

// ---- show ----

struct ShowOptions {
  std::string source;
  bool show_secrets = false;
};

void setup_show(CLI::App& app, ShowOptions& opt) {
  auto* show = app.add_subcommand("show", "Print the settings a version 5 configuration file holds, as JSON");
  show->add_flag("--show-secrets", opt.show_secrets, "Print secrets (passwords, the database connection string) as stored instead of ********");
  show->add_option("SOURCE", opt.source, "The version 5 file (default: " + Display(convert::DefaultInputPath()) + ")");
}

int run_show(const ShowOptions& opt, Console& io) {
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  if (int code = CheckSource(source, io); code != kExitOk) return code;
  settings::COVSettings document;
  const xml::XmlLoadResult loaded = document.LoadFromFileWithResult(source);
  if (!loaded.ok()) {
    ReportLoadFailure(source, loaded, io);
    return kExitUnreadable;
  }
  io.out << SettingsToJson(document, opt.show_secrets);
  return kExitOk;
}

// ---- convert ----

struct ConvertOptions {
  std::string source;
  std::string destination;
  bool force = false;
  bool quiet = false;
};

void setup_convert(CLI::App& app, ConvertOptions& opt) {
  auto* convert = app.add_subcommand("convert", "Write the version 6 configuration of a version 5 file");
  convert->add_flag("-f,--force", opt.force, "Replace an existing DESTINATION without asking");
  convert->add_flag("-q,--quiet", opt.quiet, "Print neither the success message nor the conversion notes");
  convert->add_option("SOURCE", opt.source, "The version 5 file (default: " + Display(convert::DefaultInputPath()) + ")");
  convert->add_option("DESTINATION", opt.destination,
                      "The version 6 file to write, or - for standard output (default: " +
                          Display(convert::DefaultOutputPath()) + "); \".json\" is added to a name without a dot");
}

// A destination whose last component has no "." gets the default extension, as the save dialog does.
std::u16string WithDefaultExtension(std::u16string path) {
  const auto slash = path.find_last_of(u"/\\");
  const std::u16string_view name = slash == std::u16string::npos ? std::u16string_view(path)
                                                                 : std::u16string_view(path).substr(slash + 1);
  if (name.find(u'.') == std::u16string_view::npos) path += u".json";
  return path;
}

// The overwrite prompt: true when the destination may be written.
bool MayReplace(const std::u16string& destination, const ConvertOptions& opt, Console& io, int* exit_code) {
  const platform::PathKind kind = platform::GetPathKind(destination);
  if (opt.force || kind == platform::PathKind::kMissing || kind == platform::PathKind::kDirectory) return true;
  if (!io.in_is_terminal) {
    io.err << "recaster: " << Display(destination) << ": already exists (pass --force to replace it)\n";
    *exit_code = kExitNotReplaced;
    return false;
  }
  io.err << "Replace " << Display(destination) << "? [y/N] " << std::flush;
  std::string answer;
  std::getline(io.in, answer);
  std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
  if (answer == "y" || answer == "yes") return true;
  *exit_code = kExitNotReplaced;
  return false;
}

void PrintNotes(const std::vector<convert::ConversionNote>& notes, const std::u16string& source, Console& io) {
  if (notes.empty()) return;
  io.err << "recaster: " << notes.size() << (notes.size() == 1 ? " note" : " notes")
         << " on what to finish by hand:\n";
  for (const auto& note : notes) io.err << "  " << convert::FormatNote(note) << '\n';
  io.err << "recaster: every value, default and filter of these: " << ReportCommandFor(source) << '\n';
}

int run_convert(const ConvertOptions& opt, Console& io) {
  // The source, as the open dialog would give it.
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  if (int code = CheckSource(source, io); code != kExitOk) return code;

  // Load and map; nothing is written when the source cannot be read.
  const convert::ConversionResult conversion = convert::BuildConfigTree(source);
  if (!conversion.load.ok()) {
    ReportLoadFailure(source, conversion.load, io);
    return kExitUnreadable;
  }

  // The destination, as the save dialog would give it.
  const bool to_stdout = opt.destination == "-";
  std::u16string destination;
  if (!to_stdout) {
    destination = WithDefaultExtension(opt.destination.empty() ? convert::DefaultOutputPath()
                                                               : platform::PathFromNative(opt.destination));
    int exit_code = kExitOk;
    if (!MayReplace(destination, opt, io, &exit_code)) return exit_code;
  }

  // The whole text exists before the destination is opened.
  const convert::JsonResult json = convert::TryConfigTreeToJson(conversion.tree);
  if (!json.ok()) {
    io.err << "recaster: cannot produce the JSON text: " << json.error << '\n';
    return kExitWriteFailed;
  }
  if (to_stdout) {
    io.out << json.text << std::flush;
    if (!io.out) {
      io.err << kWriteFailed << "\nrecaster: standard output: write error\n";
      return kExitWriteFailed;
    }
  } else {
    const platform::SystemError code = convert::WriteTextFile(destination, json.text);
    if (code != platform::kSuccess) {
      io.err << kWriteFailed << '\n'
             << "recaster: " << Display(destination) << ": " << convert::DescribeWriteError(code) << '\n';
      return kExitWriteFailed;
    }
    if (!opt.quiet) io.out << kWriteSucceeded << '\n';
  }
  if (!opt.quiet) PrintNotes(convert::ConversionNotes(conversion), source, io);
  return kExitOk;
}

}  // namespace

int RunRecaster(const std::vector<std::string>& args, Console& io) {
  CLI::App app{"Recaster converts an Ornvale 5 server configuration into the Ornvale 6 configuration file.",
               "recaster"};
  app.set_version_flag("--version", std::string("Recaster, Version 1.0\nFile version " RECASTER_VERSION));
  app.require_subcommand(1);
  // "/x" is a path on every platform, never an option, so the program reads the same everywhere.
  app.allow_windows_style_options(false);
  app.footer(
      "Exit codes: 0 done; 1 the destination could not be written; 2 usage error or no such source file;\n"
      "3 the source is not a readable Ornvale 5 server configuration; 4 the destination exists and was kept.");
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("recaster: ") + e.what() + "\nRun with --help for more information.\n";
  });

  ShowOptions show;
  ConvertOptions convert;
  ReportOptions report;
  setup_show(app, show);
  setup_convert(app, convert);
  setup_report(app, report);

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    // Help and version are successes; every other parse error is a usage error.
    const int code = app.exit(e, io.out, io.err);
    return code == static_cast<int>(CLI::ExitCodes::Success) ? kExitOk : kExitUsage;
  }

  if (app.got_subcommand("show")) return run_show(show, io);
  if (app.got_subcommand("convert")) return run_convert(convert, io);
  if (app.got_subcommand("report")) return run_report(report, io);
  return kExitUsage;
}

}  // namespace recaster::cli
