// File: cli/commands.h - what the commands of the recaster program share beyond cli.h: how a path is
// shown, why a path is no source, how a failed load is told, and the report command.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "convert/convert.h"
#include "convert/source.h"
#include "mapping/summary.h"
#include "platform/platform.h"
#include "text/sink.h"
#include "xml/xml_document.h"

namespace CLI {
class App;
class Validator;
}

namespace recaster::cli {

// The path as the person's system writes it.
std::string Display(const std::u16string& path);

// "recaster: PATH: why" on standard error.
void SayAbout(const std::u16string& path, std::string_view why, Console& io);

// Tells on standard error why the source was refused, as every command tells it: the designed
// "Failed to read ..." line first for a source that is no readable configuration, then
// "recaster: PATH: reason". Returns the outcome's code.
int TellRefusal(const std::u16string& source, const convert::SourceOutcome& outcome, Console& io);

// Takes the source as every command does (convert::TakeSource), from `input` when it is standard input.
[[nodiscard]] convert::SourceOutcome TakeSource(const std::u16string& source, const convert::StandardInput& input,
                                                convert::SourceStage until);

// Standard output as a text sink: each piece written and flushed as it comes (WriteData); it stops at
// the first piece that cannot be written, and code() is then the command's exit code.
class StandardOutput final : public text::TextSink {
 public:
  explicit StandardOutput(Console& io) : io_(io) {}
  bool Write(std::string_view piece) override {
    if (code_ == kExitOk && !piece.empty()) code_ = WriteData(io_, piece);
    return code_ == kExitOk;
  }
  int code() const { return code_; }

 private:
  Console& io_;
  int code_ = kExitOk;
};

// "recaster: WHAT" and the pointer to --help on standard error; returns kExitUsage.
int UsageError(std::string_view what, Console& io);

// "recaster: WHAT" and the pointer to the command's own help on standard error; returns kExitUsage.
int CommandUsageError(std::string_view what, std::string_view command, Console& io);

// The first argument that no command or option took at the level of `command` (the program or one
// of its commands), told as a usage error: an unknown option (with the option of the command it most
// likely stands for), an unknown command (at the program's level when none was named) or an argument
// too many.
int TellUnexpected(std::string_view argument, const CLI::App* command, bool command_named, Console& io);

// "Exit codes: 0 done; 1 ...": the codes and their texts, for a help's footer.
std::string ExitCodesFooter(std::span<const ExitCode> codes);

// The command line that prints the full report of the source, to be pasted as it is: it runs the
// report command on exactly that path and nothing else, and holds no control character.
// PowerShellReportCommand on Windows (this program by its full path), PosixReportCommand elsewhere.
std::string ReportCommandFor(const std::u16string& source);

// "recaster report SOURCE" for a POSIX shell: a plain path bare, any other in single quotes ('\''
// for a quote); a character the report makes visible, or a byte that is no UTF-8, outside the quotes
// as "$(printf '\ooo')"; "--" before a path that starts with "-". A path that ends in a line feed
// comes through `set --` in a subshell, since no quoting keeps it through a command substitution.
std::string PosixReportCommand(std::u16string_view source);

// "& 'PROGRAM' report 'SOURCE'" for PowerShell: each text in single quotes, its quotes doubled
// (the typographic ones too, which PowerShell takes for quotes); with a character the report makes
// visible, a sum such as ('a' + [char]0x202E + 'b').
std::string PowerShellReportCommand(std::u16string_view program, std::u16string_view source);

using convert::IsStandardInput;
using convert::StandardInput;

// Reads standard input into `input` unless it was read already: kExitOk, or kExitUsage for a terminal,
// told on standard error (nothing is read then). A read that fails is kept in `input->status`, for the
// source step to refuse standard input with the system's reason while the other sources go on.
int ReadStandardInputOnce(Console& io, StandardInput* input);

// Reads a whole file of at most 64 MiB, or standard input (through `input`, so that it is read once),
// into `bytes`; `why` gets the reason when it cannot be read (a folder, a device, a missing file, the
// system's words). kExitOk, or the code that ends the command (standard input is a terminal).
int ReadWholeFile(const std::u16string& path, Console& io, StandardInput& input, std::string* bytes, std::string* why);

// Refuses an empty SOURCE or DESTINATION, which names no file, as a usage error.
CLI::Validator NotEmpty();

// The usage error for "-" named more than once: standard input can be read only once.
int StandardInputTwice(Console& io);

struct ShowOptions {
  std::string source;
  bool show_secrets = false;
};

// Adds `show [--show-secrets] [SOURCE]` to the program.
void setup_show(CLI::App& app, ShowOptions& opt);

// Prints the settings of the source as JSON on standard output.
[[nodiscard]] int run_show(const ShowOptions& opt, Console& io);

struct ConvertOptions {
  std::string source;
  std::vector<std::string> more;  // with --out-dir, the sources after SOURCE and DESTINATION
  std::string destination;
  std::string out_dir;
  bool force = false;
  bool quiet = false;
  bool detailed_exitcode = false;
  bool verify = false;  // each version 6 file read back and verified before it takes its place
  unsigned jobs = 0;
};

// Adds `convert [-f] [-q] [--detailed-exitcode] [--verify] [-o DIR [-j N]] [SOURCE [DESTINATION] [MORE...]]`.
void setup_convert(CLI::App& app, ConvertOptions& opt);

// Converts one source into its destination, or with --out-dir every source into the folder (run_fleet).
[[nodiscard]] int run_convert(const ConvertOptions& opt, Console& io);
[[nodiscard]] int run_fleet(const ConvertOptions& opt, Console& io);

struct ReportOptions {
  std::vector<std::string> sources;
  bool html = false;               // the same as format "html"
  std::string format = "markdown";  // "markdown", "html" or "json"
  bool detailed_exitcode = false;
  std::string program_version;     // for the JSON document
};

// The exit code with --detailed-exitcode: `code` when it is not kExitOk, else kExitLeftBehind when
// anything remains to re-create by hand or to check (a value adjusted to fit), else kExitOk.
int DetailedExitCode(int code, const mapping::Summary& summary);
// The same over many sources.
int DetailedExitCode(int code, const mapping::Totals& totals);

// Adds `report [--format markdown|html|json] [--html] [--detailed-exitcode] [SOURCE...]` to the program.
void setup_report(CLI::App& app, ReportOptions& opt);

// Writes the report of every source to standard output (a summary table first when there are several)
// and returns the worst exit code among them: 0, 2 for a path that is no file, 3 for a file that does
// not load; 1 when standard output cannot be written. A single source that cannot be reported prints
// nothing on standard output, except as JSON: the JSON document always comes, a source that cannot be
// reported in it as refused, and its summary follows the sources. With --detailed-exitcode, DetailedExitCode.
[[nodiscard]] int run_report(const ReportOptions& opt, Console& io);

struct CheckOptions {
  std::vector<std::string> files;
  bool strict = false;
  std::string format = "text";  // "text" or "json"
};

// Adds `check [--strict] [--format text|json] FILE...` to the program.
void setup_check(CLI::App& app, CheckOptions& opt);

// Checks each version 6 file (or standard input for -): a line per finding (the first 100 of a file)
// and a summary on standard output, or one JSON document for them all. 0 when every file is valid, 6 when one is not, 3 when one cannot be read, 1 when standard
// output cannot be written; the highest any file gave.
[[nodiscard]] int run_check(const CheckOptions& opt, Console& io);

struct DiffOptions {
  std::string a;
  std::string b;
  std::string format = "text";  // "text" or "json"
};

// Adds `diff [--format text|json] A B` to the program.
void setup_diff(CLI::App& app, DiffOptions& opt);

// Tells what differs between A and B, each a version 5 or version 6 file as its bytes tell: one line per
// difference and a summary, or a JSON document. 0 when they are the same, 7 when they differ, 3 when a
// side cannot be read or is neither a version 5 configuration nor JSON, 6 when a side is not a valid
// version 6 file (its findings printed as check prints them), 1 when standard output cannot be written.
[[nodiscard]] int run_diff(const DiffOptions& opt, Console& io);

}  // namespace recaster::cli
