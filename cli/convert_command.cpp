// The convert command for one source: the version 6 file of a version 5 file, the destination chosen as
// the save dialog would choose it, and the notes on what is left to finish by hand.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <istream>
#include <new>
#include <ostream>

#include "cli/commands.h"
#include "convert/convert.h"
#include "convert/verify.h"
#include "platform/platform.h"

namespace recaster::cli {
namespace {

constexpr std::string_view kWriteSucceeded =
    "The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.";
constexpr std::string_view kWriteFailed = "Failed to write converted configuration to the file path you specified.";

int ReportWriteFailure(const std::u16string& destination, std::string_view why, Console& io) {
  io.err << kWriteFailed << '\n';
  SayAbout(destination, why, io);
  return kExitWriteFailed;
}

}  // namespace



void setup_convert(CLI::App& app, ConvertOptions& opt) {
  auto* convert = app.add_subcommand("convert", "Write the version 6 configuration of a version 5 file");
  convert->add_flag("-f,--force", opt.force,
                    "Replace an existing DESTINATION (with --out-dir: any existing output) without asking");
  convert->add_flag("-q,--quiet", opt.quiet,
                    "Print neither the success message nor the conversion notes (nor the progress and totals)");
  convert->add_flag("--detailed-exitcode", opt.detailed_exitcode,
                    "Exit with 5 instead of 0 when settings remain to re-create by hand or values to check");
  convert->add_flag("--verify", opt.verify,
                    "Read each version 6 file back before it takes its place: check it and compare every "
                    "listener and keep_days with the conversion; a difference is a failed write");
  convert
      ->add_option("-o,--out-dir", opt.out_dir,
                   "Convert every SOURCE into the folder DIR: NAME.json, NAME.report.html and NAME.report.json "
                   "per source, then index.html and index.json")
      ->option_text("DIR")
      ->check(NotEmpty());
  convert->add_option("-j,--jobs", opt.jobs, "With --out-dir: convert N sources at a time (default: the number of processors)")
      ->option_text("N")
      ->check(CLI::Range(1, 1024));
  convert
      ->add_option("SOURCE", opt.source,
                   "The version 5 file, or - for standard input; with --out-dir, a folder too (default: " + Display(convert::DefaultInputPath()) + ")")
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
      "  recaster convert --verify ov_server_settings.cfg srv01.json\n"
      "  ssh srv01 cat /var/lib/Ornvale/ov_server_settings.cfg | recaster convert - srv01.json\n"
      "  recaster convert --out-dir converted servers/*/ov_server_settings.cfg\n"
      "  recaster convert --out-dir converted servers/");
}

namespace {

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
// written as it is without a prompt (refused with --verify, as it cannot be read back); an existing file
// (or a dangling link) only replaced when allowed.
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
  if (info.kind == platform::PathKind::kOther) {
    if (!opt.verify) return kExitOk;
    SayAbout(*target, "is a device or FIFO, which cannot be read back (--verify needs a file)", io);
    return kExitUsage;
  }
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
class OutputSink final : public text::TextSink {
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
  convert::Verification verified;
  if (opt.verify) {
    verified = convert::WriteVerifiedConfigFile(conversion, destination);
  } else {
    verified.code = convert::WriteConfigFile(conversion.tree, destination);
    if (!verified.ok()) verified.problem = convert::DescribeWriteError(verified.code);
  }
  if (!verified.ok()) return ReportWriteFailure(destination, verified.problem, io);
  if (opt.quiet) return kExitOk;
  const int written = WriteData(io, std::string(kWriteSucceeded) + "\n");
  io.err << "recaster: written to " << Display(platform::AbsolutePath(destination)) << '\n';
  if (opt.verify) io.err << "recaster: " << convert::VerifiedText(verified) << '\n';
  return written;
}

// The source, as the open dialog would give it: a file, or standard input. A folder is the fleet's.
int TakeConvertSource(const std::u16string& source, const StandardInput& input, Console& io,
                      convert::SourceOutcome* taken) {
  *taken = TakeSource(source, input, convert::SourceStage::kLoad);
  if (taken->ok()) return kExitOk;
  if (taken->info.kind == platform::PathKind::kDirectory) {
    SayAbout(source, "is a folder, not a file; to convert every version 5 file below it, pass --out-dir DIR", io);
    return kExitUsage;
  }
  return TellRefusal(source, *taken, io);
}

}  // namespace

int run_convert(const ConvertOptions& opt, Console& io) {
  if (!opt.out_dir.empty()) return run_fleet(opt, io);
  if (!opt.more.empty()) return CommandUsageError("unexpected argument \"" + opt.more.front() + "\"", "convert", io);
  if (opt.jobs != 0) return CommandUsageError("--jobs goes with --out-dir", "convert", io);
  if (opt.verify && opt.destination == "-") {
    return CommandUsageError("--verify needs a file to read back, not standard output", "convert", io);
  }
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  StandardInput input;
  if (IsStandardInput(source)) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  }
  // Nothing is written when the source cannot be read; no memory to load it is a source that cannot be read (3).
  convert::SourceOutcome taken;
  if (int code = TakeConvertSource(source, input, io, &taken); code != kExitOk) return code;
  convert::ConversionResult conversion = std::move(taken.conversion);

  const bool to_stdout = opt.destination == "-";
  std::u16string destination;
  if (!to_stdout) {
    if (int code = ChooseDestination(opt, taken.info, io, &destination); code != kExitOk) return code;
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
  return opt.detailed_exitcode ? DetailedExitCode(code, mapping::Summarize(conversion.plan)) : code;
}

}  // namespace recaster::cli
