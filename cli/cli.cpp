// The recaster command line: what the commands share (how a path is shown, how a refused source is
// told, standard input read once, the exit codes in the help), the help and the dispatch. Per command:
// an options struct, a setup_* that binds it to the parser, and a run_* that does the work and returns
// the exit code, each in its own file. Parsing is separate from running.
#include "cli/cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <iterator>
#include <istream>
#include <new>
#include <optional>
#include <ostream>

#include "check/nearest_name.h"
#include "cli/commands.h"
#include "cli/completion.h"
#include "convert/convert.h"
#include "platform/platform.h"

namespace recaster::cli {
namespace {

constexpr std::string_view kReadFailed =
    "Failed to read an Ornvale 5 server configuration from the file you selected.";

}  // namespace

std::string Display(const std::u16string& path) { return platform::PathToNative(path); }

void SayAbout(const std::u16string& path, std::string_view why, Console& io) {
  io.err << "recaster: " << Display(path) << ": " << why << '\n';
}

int TellRefusal(const std::u16string& source, const convert::SourceOutcome& outcome, Console& io) {
  if (outcome.code == kExitUnreadable) io.err << kReadFailed << '\n';
  SayAbout(source, outcome.reason, io);
  return outcome.code;
}

convert::SourceOutcome TakeSource(const std::u16string& source, const StandardInput& input, convert::SourceStage until) {
  return convert::TakeSource({source, &input, nullptr, until});
}

int StandardInputTwice(Console& io) { return UsageError("-: standard input can be read only once", io); }

int ReadStandardInputOnce(Console& io, StandardInput* input) {
  if (input->read) return kExitOk;
  if (io.in_is_terminal) {
    io.err << "recaster: -: standard input is a terminal; pipe a version 5 file into it or name the file\n";
    return kExitUsage;
  }
  // One byte past the loader's limit, so that a longer input is refused as a longer file is.
  const std::size_t limit = std::size_t{xml::kMaxFileSize} + 1;
  if (io.read_in != nullptr) {
    input->status = io.read_in(limit, &input->bytes);
  } else {
    input->bytes.resize(limit);
    io.in.read(input->bytes.data(), static_cast<std::streamsize>(limit));
    input->bytes.resize(static_cast<std::size_t>(io.in.gcount()));
  }
  input->read = true;
  return kExitOk;
}

namespace {

constexpr std::string_view kTooLarge = "larger than 64 MiB, the most a configuration file may hold";

// Reads the whole file into `bytes`; the reason when it cannot be read.
std::string ReadWhole(const std::u16string& path, std::string* bytes) {
  platform::FileSystem& files = platform::Files();
  platform::PathInfo info;
  if (const platform::OsStatus found = files.Inspect(path, &info); !found.ok()) return found.message;
  if (info.kind == platform::PathKind::kMissing) return platform::DescribeSystemError(platform::kFileNotFound);
  if (info.kind == platform::PathKind::kDirectory) return "is a folder, not a file";
  if (info.kind != platform::PathKind::kRegularFile) return "not a regular file";
  platform::FileHandle handle = platform::kNoFile;
  if (const platform::OsStatus opened = files.OpenForReading(path, &handle); !opened.ok()) return opened.message;
  const platform::ScopedFile file(files, handle);
  std::string chunk(std::size_t{1} << 16, '\0');
  for (;;) {
    std::uint32_t read = 0;
    if (const platform::OsStatus status = files.Read(handle, chunk.data(), static_cast<std::uint32_t>(chunk.size()), &read);
        !status.ok()) {
      return status.message;
    }
    if (read == 0) return std::string();
    bytes->append(chunk.data(), read);
    if (bytes->size() > xml::kMaxFileSize) return std::string(kTooLarge);
  }
}

}  // namespace

int ReadWholeFile(const std::u16string& path, Console& io, StandardInput& input, std::string* bytes, std::string* why) {
  if (!IsStandardInput(path)) {
    *why = ReadWhole(path, bytes);
    return kExitOk;
  }
  if (const int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  *why = !input.status.ok() ? input.status.message : input.bytes.size() > xml::kMaxFileSize ? std::string(kTooLarge) : "";
  *bytes = input.bytes;
  return kExitOk;
}

std::string ExitCodesFooter(std::span<const ExitCode> codes) {
  std::string footer = "Exit codes:";
  for (const ExitCode code : codes) {
    footer += (code == codes.front() ? " " : "; ") + std::to_string(static_cast<int>(code)) + " ";
    footer += ExitCodeText(code);
  }
  return footer + ".";
}

int UsageError(std::string_view what, Console& io) {
  io.err << "recaster: " << what << "\nRun with --help for more information.\n";
  return kExitUsage;
}

int CommandUsageError(std::string_view what, std::string_view command, Console& io) {
  io.err << "recaster: " << what << "\nRun \"recaster " << command << " --help\" for its options.\n";
  return kExitUsage;
}

namespace {

struct HelpOptions {
  std::string command;
};

constexpr std::string_view kCommands[] = {"show", "convert", "report", "check", "diff", "completion", "help"};

void setup_help(CLI::App& app, HelpOptions& opt) {
  auto* help = app.add_subcommand("help", "Print the help of the program, or of COMMAND");
  help->add_option("COMMAND", opt.command, "show, convert, report, check, diff, completion or help");
}

// "unknown command "WORD"", with the command it most likely stands for: one it begins, or one a slip
// or two away; otherwise the commands there are.
std::string UnknownCommand(std::string_view word) {
  const std::string_view nearest = check::NearestName(word, kCommands);
  const std::string named = "unknown command \"" + std::string(word) + "\"";
  if (nearest.empty()) return named + "; the commands are show, convert, report, check, diff, completion and help";
  return named + "; did you mean \"" + std::string(nearest) + "\"?";
}

}  // namespace

namespace {

// Options of other tools that mean one of ours, by the option they stand for there.
struct KnownMeaning {
  std::string_view option;
  std::string_view ours;  // what to type instead, when `needs` is an option of the command
  std::string_view needs;
};
constexpr KnownMeaning kKnownMeanings[] = {
    {"--json", "--format json", "--format"},
    {"--out", "--out-dir", "--out-dir"},
    {"--output", "--out-dir", "--out-dir"},
};

// Every long option name of `command` ("--name"), --help included.
std::vector<std::string> OptionNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  }
  return names;
}

// "unknown option "--X"", with the option it most likely stands for among `command`'s, then where
// the command's options are told.
std::string UnknownOption(std::string_view argument, const CLI::App& command) {
  const std::string_view option = argument.substr(0, argument.find('='));
  const std::vector<std::string> names = OptionNames(command);
  std::string text = "unknown option \"" + std::string(argument) + "\"";
  const auto has = [&names](std::string_view name) { return std::find(names.begin(), names.end(), name) != names.end(); };
  for (const KnownMeaning& meaning : kKnownMeanings) {
    if (option == meaning.option && has(meaning.needs)) return text + "; did you mean \"" + std::string(meaning.ours) + "\"?";
  }
  if (!option.starts_with("--")) return text;  // one letter is too little to guess from
  const std::vector<std::string_view> views(names.begin(), names.end());
  const std::string_view nearest = check::NearestName(option, views);
  if (!nearest.empty()) text += "; did you mean \"" + std::string(nearest) + "\"?";
  return text;
}

}  // namespace

// The first argument that no command or option took: an unknown option, an unknown command (when no
// command was named) or an argument too many.
int TellUnexpected(std::string_view argument, const CLI::App* command, bool command_named, Console& io) {
  if (command->get_parent() == nullptr) {  // left before any command
    if (argument.size() > 1 && argument.front() == '-') return UsageError("unknown option \"" + std::string(argument) + "\"", io);
    if (!command_named) return UsageError(UnknownCommand(argument), io);
    return UsageError("unexpected argument \"" + std::string(argument) + "\"", io);
  }
  const std::string what = argument.size() > 1 && argument.front() == '-'
                               ? UnknownOption(argument, *command)
                               : "unexpected argument \"" + std::string(argument) + "\"";
  return CommandUsageError(what, command->get_name(), io);
}

namespace {

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
  app.footer("Run \"recaster help COMMAND\" for the options of a command.\n" + ExitCodesFooter(kExitCodes));
  // A parse error inside a command points at that command's help, as the program's own usage errors do.
  app.failure_message([](const CLI::App* program, const CLI::Error& e) {
    const std::vector<const CLI::App*> named = program->get_subcommands([](const CLI::App* c) { return c->parsed(); });
    if (named.empty()) return std::string("recaster: ") + e.what() + "\nRun with --help for more information.\n";
    return std::string("recaster: ") + e.what() + "\nRun \"recaster " + named.front()->get_name() + " --help\" for its options.\n";
  });

  ShowOptions show;
  ConvertOptions convert;
  ReportOptions report;
  report.program_version = RECASTER_VERSION;
  CheckOptions checking;
  DiffOptions diff;
  CompletionOptions completion;
  HelpOptions help;
  setup_show(app, show);
  setup_convert(app, convert);
  setup_report(app, report);
  setup_check(app, checking);
  setup_diff(app, diff);
  setup_completion(app, completion);
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
  if (const auto left = FirstLeft(app)) return TellUnexpected(*left, &app, !named.empty(), io);
  if (named.empty()) return UsageError("A subcommand is required", io);
  if (const auto left = FirstLeft(*named.front())) return TellUnexpected(*left, named.front(), true, io);

  if (app.got_subcommand("show")) return run_show(show, io);
  if (app.got_subcommand("convert")) return run_convert(convert, io);
  if (app.got_subcommand("report")) return run_report(report, io);
  if (app.got_subcommand("check")) return run_check(checking, io);
  if (app.got_subcommand("diff")) return run_diff(diff, io);
  if (app.got_subcommand("completion")) return run_completion(completion, app, io);
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

int DetailedExitCode(int code, const mapping::Summary& summary) {
  if (code != kExitOk) return code;
  return summary.to_recreate != 0 || summary.adjustments != 0 ? kExitLeftBehind : kExitOk;
}

int DetailedExitCode(int code, const mapping::Totals& totals) {
  return DetailedExitCode(code, mapping::Summary{0, 0, totals.to_recreate, totals.adjustments});
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
