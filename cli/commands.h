// File: cli/commands.h - what the commands of the recaster program share beyond cli.h: how a path is
// shown, why a path is no source, how a failed load is told, and the report command.
#pragma once

#include <string>
#include <vector>

#include "cli/cli.h"
#include "xml/xml_document.h"

namespace CLI {
class App;
}

namespace recaster::cli {

// The path as the person's system writes it.
std::string Display(const std::u16string& path);

// Why the path names no source: "no such file", "is a folder, not a file", "not a regular file"; empty
// when it names an existing regular file, as the open dialog insists.
std::string SourceProblem(const std::u16string& source);

// Tells on standard error that the source could not be read, and the loader's reason.
void ReportLoadFailure(const std::u16string& source, const xml::XmlLoadResult& result, Console& io);

// The command line that prints the full report of the source: "recaster report SOURCE", the source
// in double quotes when it holds anything but letters, digits and . / \ : _ - +.
std::string ReportCommandFor(const std::u16string& source);

struct ReportOptions {
  std::vector<std::string> sources;
  bool html = false;
};

// Adds `report [--html] [SOURCE...]` to the program.
void setup_report(CLI::App& app, ReportOptions& opt);

// Writes the report of every source to standard output (a summary table first when there are several)
// and returns the worst exit code among them: 0, 2 for a path that is no file, 3 for a file that does
// not load; 1 when standard output cannot be written. A single source that cannot be reported prints
// nothing on standard output.
int run_report(const ReportOptions& opt, Console& io);

}  // namespace recaster::cli
