// The commands of the recaster program. Per command: an options struct, a setup_* that binds it to the
// parser, and a run_* that does the work and returns the exit code. Parsing is separate from running.
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <exception>
#include <iterator>
#include <istream>
#include <memory>
#include <new>
#include <optional>
#include <ostream>

#include "cli/commands.h"
#include "cli/settings_json.h"
#include "convert/convert.h"
#include "fleet/fleet.h"
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

void SayAbout(const std::u16string& path, std::string_view why, Console& io) {
  io.err << "recaster: " << Display(path) << ": " << why << '\n';
}

int ReportLoadFailure(const std::u16string& source, std::string_view why, Console& io) {
  io.err << kReadFailed << '\n';
  SayAbout(source, why, io);
  return kExitUnreadable;
}

std::string LoadFailureReason(const xml::XmlLoadResult& result) {
  if (result.system_message.empty()) return xml::DescribeLoadResult(result);
  return std::string(xml::DescribeXmlError(result.error)) + ": " + result.system_message;
}

namespace {

// A path that cannot name a file: usage (2). A file the system keeps us from: unreadable (3).
bool NamesNoFile(platform::SystemError code) {
  return code == platform::kFileNotFound || code == platform::kPathNotFound || code == platform::kFilenameTooLong ||
         code == platform::kInvalidName || code == platform::kCantResolveName;
}

}  // namespace

SourceCheck InspectSource(const std::u16string& source, platform::PathInfo* info) {
  if (const platform::OsStatus found = platform::Files().Inspect(source, info); !found.ok()) {
    if (NamesNoFile(found.code)) return {kExitUsage, found.message};
    return {kExitUnreadable, "cannot open the file: " + found.message};
  }
  switch (info->kind) {
    case platform::PathKind::kRegularFile: return {kExitOk, std::string()};
    case platform::PathKind::kMissing: return {kExitUsage, platform::DescribeSystemError(platform::kFileNotFound)};
    case platform::PathKind::kDirectory: return {kExitUsage, "is a folder, not a file"};
    case platform::PathKind::kOther: break;
  }
  return {kExitUsage, "not a regular file"};
}

int TellSourceProblem(const std::u16string& source, const SourceCheck& check, Console& io) {
  if (check.code == kExitUnreadable) return ReportLoadFailure(source, check.why, io);
  if (check.code != kExitOk) SayAbout(source, check.why, io);
  return check.code;
}

int NotEnoughMemoryToLoad(const std::u16string& source, Console& io) {
  return ReportLoadFailure(source, "not enough memory", io);
}

bool IsStandardInput(std::u16string_view source) { return source == fleet::kStandardInput; }

int StandardInputTwice(Console& io) {
  io.err << "recaster: -: standard input can be read only once\nRun with --help for more information.\n";
  return kExitUsage;
}

int ReadStandardInputOnce(Console& io, StandardInput* input) {
  if (input->read) return kExitOk;
  if (io.in_is_terminal) {
    io.err << "recaster: -: standard input is a terminal; pipe a version 5 file into it or name the file\n";
    return kExitUsage;
  }
  // One byte past the loader's limit, so that a longer input is refused as a longer file is.
  const std::size_t limit = std::size_t{xml::kMaxFileSize} + 1;
  if (io.read_in != nullptr) {
    if (const platform::OsStatus read = io.read_in(limit, &input->bytes); !read.ok()) {
      return ReportLoadFailure(std::u16string(fleet::kStandardInput), read.message, io);
    }
  } else {
    input->bytes.resize(limit);
    io.in.read(input->bytes.data(), static_cast<std::streamsize>(limit));
    input->bytes.resize(static_cast<std::size_t>(io.in.gcount()));
  }
  input->read = true;
  return kExitOk;
}

convert::ConversionResult PlanSource(const std::u16string& source, const StandardInput& input) {
  if (!IsStandardInput(source)) return convert::PlanConversion(source);
  convert::ConversionResult conversion;
  auto document = std::make_unique<settings::COVSettings>();
  conversion.load = document->LoadFromBytesWithResult(input.bytes);
  if (conversion.load.ok()) {
    conversion.document = std::move(document);
    convert::MapConversion(conversion);
  }
  return conversion;
}

namespace {

int ReportWriteFailure(const std::u16string& destination, std::string_view why, Console& io) {
  io.err << kWriteFailed << '\n';
  SayAbout(destination, why, io);
  return kExitWriteFailed;
}

// A source must name an existing regular file, as the open dialog insists; 0 when it does.
int CheckSource(const std::u16string& source, Console& io, platform::PathInfo* info) {
  return TellSourceProblem(source, InspectSource(source, info), io);
}

// ---- show ----

struct ShowOptions {
  std::string source;
  bool show_secrets = false;
};

void setup_show(CLI::App& app, ShowOptions& opt) {
  auto* show = app.add_subcommand("show", "Print the settings a version 5 configuration file holds, as JSON");
  show->add_flag("--show-secrets", opt.show_secrets, "Print secrets (passwords, the database connection string) as stored instead of ********");
  show->add_option("SOURCE", opt.source, "The version 5 file (default: " + Display(convert::DefaultInputPath()) + ")")
      ->check(NotEmpty());
}

int run_show(const ShowOptions& opt, Console& io) {
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  StandardInput input;
  if (IsStandardInput(source)) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  } else {
    platform::PathInfo source_info;
    if (int code = CheckSource(source, io, &source_info); code != kExitOk) return code;
  }
  // The JSON text goes to standard output as it is made.
  struct Output final : convert::TextSink {
    explicit Output(Console& console) : io(console) {}
    bool Write(std::string_view piece) override { return (code = WriteData(io, piece)) == kExitOk; }
    Console& io;
    int code = kExitOk;
  } output(io);
  try {
    settings::COVSettings document;
    const xml::XmlLoadResult loaded =
        input.read ? document.LoadFromBytesWithResult(input.bytes) : document.LoadFromFileWithResult(source);
    if (!loaded.ok()) return ReportLoadFailure(source, LoadFailureReason(loaded), io);
    try {
      WriteSettingsJson(document, opt.show_secrets, output);
    } catch (const std::bad_alloc&) {
      io.err << "recaster: cannot print the settings: not enough memory\n";
      return kExitWriteFailed;
    }
  } catch (const std::bad_alloc&) {
    return NotEnoughMemoryToLoad(source, io);
  }
  return output.code;
}

// ---- convert ----

struct ConvertOptions {
  std::string source;
  std::vector<std::string> more;  // with --out-dir, the sources after SOURCE and DESTINATION
  std::string destination;
  std::string out_dir;
  bool force = false;
  bool quiet = false;
  bool detailed_exitcode = false;
};

void setup_convert(CLI::App& app, ConvertOptions& opt) {
  auto* convert = app.add_subcommand("convert", "Write the version 6 configuration of a version 5 file");
  convert->add_flag("-f,--force", opt.force, "Replace an existing DESTINATION (with --out-dir: any existing output) without asking");
  convert->add_flag("-q,--quiet", opt.quiet, "Print neither the success message nor the conversion notes (nor the progress and totals)");
  convert->add_flag("--detailed-exitcode", opt.detailed_exitcode,
                    "Exit with 5 instead of 0 when settings remain to re-create by hand");
  convert
      ->add_option("-o,--out-dir", opt.out_dir,
                   "Convert every SOURCE into the folder DIR: NAME.json, NAME.report.html and NAME.report.json "
                   "per source, then index.html and index.json")
      ->option_text("DIR")
      ->check(NotEmpty());
  convert->add_option("SOURCE", opt.source, "The version 5 file, or - for standard input (default: " + Display(convert::DefaultInputPath()) + ")")
      ->check(NotEmpty());
  convert
      ->add_option("DESTINATION", opt.destination,
                   "The version 6 file to write, or - for standard output (default: " +
                       Display(convert::DefaultOutputPath()) + "); \".json\" is added to a name without a dot")
      ->check(NotEmpty());
  convert->add_option("MORE", opt.more, "With --out-dir only: more sources; SOURCE and DESTINATION are then sources too")
      ->check(NotEmpty());
  convert->footer(
      "Examples:\n"
      "  recaster convert ov_server_settings.cfg srv01.json\n"
      "  ssh srv01 cat /var/lib/Ornvale/ov_server_settings.cfg | recaster convert - srv01.json\n"
      "  recaster convert --out-dir converted servers/*/ov_server_settings.cfg");
}

// A destination whose last component has no "." gets the default extension, as the save dialog does.
std::u16string WithDefaultExtension(std::u16string path) {
  const auto slash = path.find_last_of(u"/\\");
  const std::u16string_view name = slash == std::u16string::npos ? std::u16string_view(path)
                                                                 : std::u16string_view(path).substr(slash + 1);
  if (name.find(u'.') == std::u16string_view::npos) path += u".json";
  return path;
}

// The overwrite prompt for an existing destination, named by `target` (where its links lead): true
// when it may be replaced.
bool MayReplace(const std::u16string& target, const ConvertOptions& opt, Console& io, int* exit_code) {
  if (opt.force) return true;
  if (!io.in_is_terminal) {
    SayAbout(target, "already exists (pass --force to replace it)", io);
    *exit_code = kExitNotReplaced;
    return false;
  }
  io.err << "Replace " << Display(target) << "? [y/N] " << std::flush;
  std::string answer;
  std::getline(io.in, answer);
  std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
  if (answer == "y" || answer == "yes") return true;
  *exit_code = kExitNotReplaced;
  return false;
}

int IsAFolder(const std::u16string& path, Console& io) {
  SayAbout(path, "is a folder, not a file", io);
  return kExitUsage;
}

// What `path` names, or the exit code that ends the command: a folder (2) or a path that cannot be
// looked at (1, with the system's reason). Another user's link in a shared folder is refused here,
// before any prompt and whatever --force says, and named itself.
int InspectDestination(const std::u16string& path, Console& io, platform::PathInfo* info) {
  if (const platform::OsStatus found = platform::Files().Inspect(path, info); !found.ok()) {
    return ReportWriteFailure(found.code == platform::kLinkNotFollowed ? info->target : path, found.message, io);
  }
  return info->kind == platform::PathKind::kDirectory ? IsAFolder(path, io) : kExitOk;
}

// The destination, as the save dialog would give it, into `*target`: never a folder nor the source
// itself; ".json" added to a name without a dot, unless it names an existing device or FIFO, which is
// written as it is without a prompt; an existing file (or a dangling link) only replaced when allowed.
int ChooseDestination(const ConvertOptions& opt, const platform::PathInfo& source, Console& io,
                      std::u16string* target) {
  const std::u16string given =
      opt.destination.empty() ? convert::DefaultOutputPath() : platform::PathFromNative(opt.destination);
  if (platform::EndsWithSeparator(given)) return IsAFolder(given, io);
  platform::PathInfo info;
  if (int code = InspectDestination(given, io, &info); code != kExitOk) return code;
  if (info.kind != platform::PathKind::kOther) {
    const std::u16string named = WithDefaultExtension(given);
    if (named != given) {
      if (int code = InspectDestination(named, io, &info); code != kExitOk) return code;
    }
  }
  *target = info.target;
  if (info.kind == platform::PathKind::kOther) return kExitOk;
  if (info.kind == platform::PathKind::kRegularFile && info.id == source.id) {
    SayAbout(*target, "is the source file itself; choose another destination", io);
    return kExitUsage;
  }
  const bool exists = info.kind != platform::PathKind::kMissing || info.is_link;
  int exit_code = kExitOk;
  if (exists && !MayReplace(*target, opt, io, &exit_code)) return exit_code;
  return kExitOk;
}

// The notes, then the command that reports the source in full (`suggest`: not for standard input,
// which that command could not read again).
void PrintNotes(const std::vector<convert::ConversionNote>& notes, const std::u16string& source, bool suggest,
                Console& io) {
  if (notes.empty()) return;
  io.err << "recaster: " << notes.size() << (notes.size() == 1 ? " note" : " notes")
         << " on what to finish by hand:\n";
  for (const auto& note : notes) io.err << "  " << convert::FormatNote(note) << '\n';
  if (suggest) io.err << "recaster: every value, default and filter of these: " << ReportCommandFor(source) << '\n';
}

// Standard output as a sink for the JSON text; it refuses once the stream has failed.
class OutputSink final : public convert::TextSink {
 public:
  explicit OutputSink(std::ostream& out) : out_(out) {}
  bool Write(std::string_view bytes) override {
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out_);
  }

 private:
  std::ostream& out_;
};

// The JSON text to its destination, made while it is written: a file gets it through a temporary that
// takes the destination's place only once the whole text is in it.
int WriteConversion(const convert::ConversionResult& conversion, const std::u16string& destination, bool to_stdout,
                    const ConvertOptions& opt, Console& io) {
  if (const std::string problem = convert::JsonProblem(conversion.tree); !problem.empty()) {
    io.err << "recaster: cannot produce the JSON text: " << problem << '\n';
    return kExitWriteFailed;
  }
  if (to_stdout) {
    OutputSink sink(io.out);
    static_cast<void>(convert::WriteJson(conversion.tree, sink));  // a failed stream is told below
    return WriteData(io, {});
  }
  const platform::SystemError code = convert::WriteConfigFile(conversion.tree, destination);
  if (code != platform::kSuccess) return ReportWriteFailure(destination, convert::DescribeWriteError(code), io);
  if (opt.quiet) return kExitOk;
  const int written = WriteData(io, std::string(kWriteSucceeded) + "\n");
  io.err << "recaster: written to " << Display(platform::AbsolutePath(destination)) << '\n';
  return written;
}

int TellUnexpected(std::string_view argument, bool command_named, Console& io);

// ---- convert --out-dir ----

// "Replace N files in DIR? [y/N]" on a terminal; otherwise the first ten of them and how many there are.
int MayReplaceAll(const fleet::FleetPlan& plan, const ConvertOptions& opt, Console& io) {
  if (plan.existing.empty() || opt.force) return kExitOk;
  const std::size_t count = plan.existing.size();
  if (io.in_is_terminal) {
    io.err << "Replace " << count << (count == 1 ? " file" : " files") << " in " << Display(plan.out_dir)
           << "? [y/N] " << std::flush;
    std::string answer;
    std::getline(io.in, answer);
    std::transform(answer.begin(), answer.end(), answer.begin(), [](unsigned char c) { return std::tolower(c); });
    return answer == "y" || answer == "yes" ? kExitOk : kExitNotReplaced;
  }
  io.err << "recaster: " << Display(plan.out_dir) << ": " << count << (count == 1 ? " output exists" : " outputs exist")
         << " already (pass --force to replace them):\n";
  for (std::size_t i = 0; i < std::min<std::size_t>(count, 10); ++i) io.err << "  " << Display(plan.existing[i]) << '\n';
  if (count > 10) io.err << "  and " << count - 10 << " more\n";
  return kExitNotReplaced;
}

// Every source into the folder: usage errors and existing outputs before anything is written, then one
// line per source that was not converted, the totals and where the index is.
int run_fleet(const ConvertOptions& opt, Console& io) {
  std::vector<std::u16string> sources;
  for (const std::string* path : {&opt.source, &opt.destination}) {
    if (!path->empty()) sources.push_back(platform::PathFromNative(*path));
  }
  for (const std::string& path : opt.more) sources.push_back(platform::PathFromNative(path));
  const fleet::FleetPlan plan = fleet::PlanFleet(sources, platform::PathFromNative(opt.out_dir));
  if (plan.usage_code != 0) {
    SayAbout(plan.problem_path, plan.problem, io);
    io.err << "Run with --help for more information.\n";
    return kExitUsage;
  }
  StandardInput input;
  const bool from_input = std::any_of(sources.begin(), sources.end(), IsStandardInput);
  if (from_input && io.in_is_terminal) return ReadStandardInputOnce(io, &input);
  if (int code = MayReplaceAll(plan, opt, io); code != kExitOk) return code;
  if (from_input) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  }

  fleet::FleetOptions options;
  options.program_version = RECASTER_VERSION;
  options.replace_existing = true;
  options.standard_input = input.bytes;
  const bool show_progress = io.err_is_terminal && !opt.quiet;
  std::size_t shown = 0;
  const fleet::FleetResult result = fleet::ConvertFleet(plan, options, [&](std::size_t done, std::size_t total) {
    if (!show_progress) return;
    std::string line = "converted " + std::to_string(done) + " of " + std::to_string(total);
    shown = line.size();
    io.err << '\r' << line << std::flush;
  });
  if (shown != 0) io.err << '\r' << std::string(shown, ' ') << '\r' << std::flush;
  if (!result.problem.empty()) {
    SayAbout(result.problem_path, result.problem, io);
    return kExitWriteFailed;
  }
  for (const fleet::FleetRow& row : result.rows) {
    if (row.code != fleet::kConverted) SayAbout(row.path, row.reason, io);
  }
  if (result.index_code != fleet::kConverted) io.err << "recaster: cannot write the index: " << result.index_reason << '\n';
  if (!opt.quiet) {
    const fleet::FleetTotals& t = result.totals;
    io.err << "recaster: converted " << t.converted << " of " << t.sources << (t.sources == 1 ? " source" : " sources");
    if (t.refused != 0) io.err << ", " << t.refused << " refused";
    if (t.write_failed != 0) io.err << ", " << t.write_failed << " not written";
    io.err << "; " << t.to_recreate << (t.to_recreate == 1 ? " setting" : " settings") << " to re-create by hand\n";
    if (result.index_code == fleet::kConverted) {
      io.err << "recaster: index: " << Display(platform::AbsolutePath(result.index_html)) << '\n';
    }
  }
  return opt.detailed_exitcode ? DetailedExitCode(result.worst, result.SettingsRemain()) : result.worst;
}

int run_convert(const ConvertOptions& opt, Console& io) {
  if (!opt.out_dir.empty()) return run_fleet(opt, io);
  if (!opt.more.empty()) return TellUnexpected(opt.more.front(), true, io);
  // The source, as the open dialog would give it.
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  platform::PathInfo source_info;
  StandardInput input;
  if (IsStandardInput(source)) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  } else if (int code = CheckSource(source, io, &source_info); code != kExitOk) {
    return code;
  }

  // Load the settings; nothing is written when the source cannot be read. No memory for them is a
  // source that cannot be read (3).
  convert::ConversionResult conversion;
  try {
    convert::BeginStep(convert::ConversionStep::kLoad);
    auto document = std::make_unique<settings::COVSettings>();
    conversion.load = input.read ? document->LoadFromBytesWithResult(input.bytes) : document->LoadFromFileWithResult(source);
    if (conversion.load.ok()) conversion.document = std::move(document);
  } catch (const std::bad_alloc&) {
    return NotEnoughMemoryToLoad(source, io);
  }
  if (!conversion.load.ok()) return ReportLoadFailure(source, LoadFailureReason(conversion.load), io);

  const bool to_stdout = opt.destination == "-";
  std::u16string destination;
  if (!to_stdout) {
    if (int code = ChooseDestination(opt, source_info, io, &destination); code != kExitOk) return code;
  }
  // Map, make the JSON text and write it: no memory for any of them is a failed write (1).
  int code = kExitOk;
  try {
    convert::BeginStep(convert::ConversionStep::kMap);
    convert::MapConversion(conversion);
    code = WriteConversion(conversion, destination, to_stdout, opt, io);
  } catch (const std::bad_alloc&) {
    return ReportWriteFailure(to_stdout ? u"standard output" : destination, "not enough memory", io);
  }
  if (code == kExitOk && !opt.quiet) PrintNotes(convert::ConversionNotes(conversion), source, !input.read, io);
  return opt.detailed_exitcode ? DetailedExitCode(code, conversion.plan.RecreateCount() != 0) : code;
}

// ---- help ----

struct HelpOptions {
  std::string command;
};

constexpr std::string_view kCommands[] = {"show", "convert", "report", "help"};

void setup_help(CLI::App& app, HelpOptions& opt) {
  auto* help = app.add_subcommand("help", "Print the help of the program, or of COMMAND");
  help->add_option("COMMAND", opt.command, "show, convert, report or help");
}

// The number of single-character edits that turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "unknown command "WORD"", with the command it most likely stands for: one it begins, or one a slip
// or two away; otherwise the commands there are.
std::string UnknownCommand(std::string_view word) {
  std::string_view nearest;
  std::size_t best = 3;
  for (const std::string_view command : kCommands) {
    const std::size_t distance = command.starts_with(word) && word.size() >= 2 ? 0 : EditDistance(word, command);
    if (distance < best) best = distance, nearest = command;
  }
  const std::string named = "unknown command \"" + std::string(word) + "\"";
  if (nearest.empty()) return named + "; the commands are show, convert, report and help";
  return named + "; did you mean \"" + std::string(nearest) + "\"?";
}

int UsageError(std::string_view what, Console& io) {
  io.err << "recaster: " << what << "\nRun with --help for more information.\n";
  return kExitUsage;
}

// The first argument that no command or option took: an unknown option, an unknown command (when no
// command was named) or an argument too many.
int TellUnexpected(std::string_view argument, bool command_named, Console& io) {
  if (argument.size() > 1 && argument.front() == '-') return UsageError("unknown option \"" + std::string(argument) + "\"", io);
  if (!command_named) return UsageError(UnknownCommand(argument), io);
  return UsageError("unexpected argument \"" + std::string(argument) + "\"", io);
}

// The first argument that the parser left at this level, the "--" that ends the options aside.
std::optional<std::string> FirstLeft(const CLI::App& level) {
  if (level.remaining_size() == 0) return std::nullopt;
  for (const std::string& argument : level.remaining()) {
    if (argument != "--") return argument;
  }
  return "--";
}

int Run(const std::vector<std::string>& args, Console& io) {
  CLI::App app{"Recaster converts an Ornvale 5 server configuration into the Ornvale 6 configuration file.",
               "recaster"};
  app.set_version_flag("--version", std::string("recaster " RECASTER_VERSION));
  // At most one command; none, an unknown one and unknown options are told below, by name.
  app.require_subcommand(0, 1);
  app.allow_extras();
  // "/x" is a path on every platform, never an option, so the program reads the same everywhere.
  app.allow_windows_style_options(false);
  app.footer(
      "Run \"recaster help COMMAND\" for the options of a command.\n"
      "Exit codes: 0 done; 1 the destination or standard output could not be written; 2 usage error, no\n"
      "such source file, a folder as destination, or the source as its own destination; 3 the source is\n"
      "not a readable Ornvale 5 server configuration; 4 the destination exists and was kept; 5 with\n"
      "--detailed-exitcode (convert, report): done, and settings remain to re-create by hand.");
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return std::string("recaster: ") + e.what() + "\nRun with --help for more information.\n";
  });

  ShowOptions show;
  ConvertOptions convert;
  ReportOptions report;
  report.program_version = RECASTER_VERSION;
  HelpOptions help;
  setup_show(app, show);
  setup_convert(app, convert);
  setup_report(app, report);
  setup_help(app, help);
  for (CLI::App* command : app.get_subcommands({})) command->allow_extras();

  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    // Help and version are successes, once they are out; every other parse error is a usage error.
    const int code = app.exit(e, io.out, io.err);
    return code == static_cast<int>(CLI::ExitCodes::Success) ? WriteData(io, {}) : kExitUsage;
  }

  const std::vector<CLI::App*> named = app.get_subcommands();
  if (const auto left = FirstLeft(app)) return TellUnexpected(*left, !named.empty(), io);
  if (named.empty()) return UsageError("A subcommand is required", io);
  if (const auto left = FirstLeft(*named.front())) return TellUnexpected(*left, true, io);

  if (app.got_subcommand("show")) return run_show(show, io);
  if (app.got_subcommand("convert")) return run_convert(convert, io);
  if (app.got_subcommand("report")) return run_report(report, io);
  if (help.command.empty()) return Run({"--help"}, io);
  if (std::find(std::begin(kCommands), std::end(kCommands), help.command) == std::end(kCommands)) {
    return UsageError(UnknownCommand(help.command), io);
  }
  return Run({help.command, "--help"}, io);
}

}  // namespace

CLI::Validator NotEmpty() {
  return CLI::Validator(
      [](const std::string& value) { return value.empty() ? std::string("an empty path names no file") : std::string(); },
      "", "NOT EMPTY");
}

int DetailedExitCode(int code, bool settings_remain) {
  if (code != kExitOk) return code;
  return settings_remain ? kExitLeftBehind : kExitOk;
}

int WriteData(Console& io, std::string_view data) {
  io.out.write(data.data(), static_cast<std::streamsize>(data.size()));
  io.out.flush();
  if (io.out) return kExitOk;
  const std::string why = io.describe_out_error != nullptr ? io.describe_out_error() : "write error";
  io.err << "recaster: cannot write to standard output: " << why << '\n';
  return kExitWriteFailed;
}

// Errors are results; what reaches this point is a library's exception that no step expected, and it
// ends the program with a message instead of an abort.
int RunRecaster(const std::vector<std::string>& args, Console& io) {
  try {
    return Run(args, io);
  } catch (const std::bad_alloc&) {
    io.err << "recaster: not enough memory\n";
  } catch (const std::exception& e) {
    io.err << "recaster: unexpected error: " << e.what() << '\n';
  }
  return kExitWriteFailed;
}

}  // namespace recaster::cli
