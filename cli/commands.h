// File: cli/commands.h - what the commands of the recaster program share beyond cli.h: how a path is
// shown, why a path is no source, how a failed load is told, and the report command.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "convert/convert.h"
#include "platform/platform.h"
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

// Tells on standard error that the source could not be read, and why; returns kExitUnreadable.
int ReportLoadFailure(const std::u16string& source, std::string_view why, Console& io);

// The loader's reason in the system's own words, without the Windows code the loader adds to it.
std::string LoadFailureReason(const xml::XmlLoadResult& result);

// Tells that loading the source ran out of memory; returns kExitUnreadable.
int NotEnoughMemoryToLoad(const std::u16string& source, Console& io);

// Whether a path names a source, as the open dialog insists on an existing regular file: kExitOk, or
// kExitUsage for a path that names no file, a folder or no regular file, or kExitUnreadable for a file
// the system keeps us from; `why` says which in the system's words.
struct SourceCheck {
  int code = kExitOk;
  std::string why;
};

// Looks at the path (filling `info`) and says whether it names a source.
[[nodiscard]] SourceCheck InspectSource(const std::u16string& source, platform::PathInfo* info);

// Tells a failed check on standard error, as every command does; returns its code.
int TellSourceProblem(const std::u16string& source, const SourceCheck& check, Console& io);

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

// Standard input as a source ("-"), read at most once per call.
struct StandardInput {
  bool read = false;
  std::string bytes;  // at most the loader's limit plus one byte, so that a longer input is refused as too large
};

// True for the SOURCE that stands for standard input.
bool IsStandardInput(std::u16string_view source);

// Reads standard input into `input` unless it was read already: kExitOk, or kExitUsage for a terminal
// (nothing is read then) and kExitUnreadable when it cannot be read, each told on standard error.
int ReadStandardInputOnce(Console& io, StandardInput* input);

// Loads and plans the source, as convert::PlanConversion does, from `input` when it is standard input.
convert::ConversionResult PlanSource(const std::u16string& source, const StandardInput& input);

// Refuses an empty SOURCE or DESTINATION, which names no file, as a usage error.
CLI::Validator NotEmpty();

// The usage error for "-" named more than once: standard input can be read only once.
int StandardInputTwice(Console& io);

struct ReportOptions {
  std::vector<std::string> sources;
  bool html = false;               // the same as format "html"
  std::string format = "markdown";  // "markdown", "html" or "json"
  bool detailed_exitcode = false;
  std::string program_version;     // for the JSON document
};

// The exit code with --detailed-exitcode: `code` when it is not kExitOk, else kExitLeftBehind when
// settings remain to re-create by hand, else kExitOk.
int DetailedExitCode(int code, bool settings_remain);

// Adds `report [--format markdown|html|json] [--html] [--detailed-exitcode] [SOURCE...]` to the program.
void setup_report(CLI::App& app, ReportOptions& opt);

// Writes the report of every source to standard output (a summary table first when there are several)
// and returns the worst exit code among them: 0, 2 for a path that is no file, 3 for a file that does
// not load; 1 when standard output cannot be written. A single source that cannot be reported prints
// nothing on standard output, except as JSON: the JSON document always comes, a source that cannot be
// reported in it as refused, and its summary follows the sources. With --detailed-exitcode, DetailedExitCode.
[[nodiscard]] int run_report(const ReportOptions& opt, Console& io);

}  // namespace recaster::cli
