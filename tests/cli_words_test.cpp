// The recaster command line's words: unknown commands and options, the help, empty paths, the report
// of several sources, and the report command it suggests.
#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "convert/convert.h"
#include "convert/source.h"
#include "platform/platform.h"
#include "report/report.h"
#include "tests/support/cli_fixture.h"
#include "tests/support/forwarding_files.h"
#include "tests/support/spawn.h"

namespace recaster::cli {
namespace {

// ---- the command line's words ----

TEST_F(Cli, UnknownCommandsAndOptionsAreNamed) {
  const struct {
    std::vector<std::string> args;
    std::string said;
    std::string command;  // whose help is pointed at; empty: the program's
  } cases[] = {
      {{"conv"}, "unknown command \"conv\"; did you mean \"convert\"?", ""},
      {{"shwo", "x"}, "unknown command \"shwo\"; did you mean \"show\"?", ""},
      {{"help", "rep"}, "unknown command \"rep\"; did you mean \"report\"?", ""},
      {{"frobnicate"}, "unknown command \"frobnicate\"; the commands are show, convert, report, check, diff, completion and help", ""},
      {{"--verbose"}, "unknown option \"--verbose\"", ""},
      {{"-V", "convert"}, "unknown option \"-V\"", ""},
      {{"convert", "-qz"}, "unknown option \"-z\"", "convert"},
      {{"report", "--bogus", kSample.string()}, "unknown option \"--bogus\"", "report"},
      {{"show", "--show-secret", kSample.string()}, "unknown option \"--show-secret\"; did you mean \"--show-secrets\"?", "show"},
      {{"report", "--json", kSample.string()}, "unknown option \"--json\"; did you mean \"--format json\"?", "report"},
      {{"convert", "--out", "x", kSample.string()}, "unknown option \"--out\"; did you mean \"--out-dir\"?", "convert"},
      {{"convert", "--json", kSample.string()}, "unknown option \"--json\"", "convert"},
      {{"completion", "bsh"}, "unknown shell \"bsh\"; did you mean \"bash\"?", "completion"},
      {{"show", "a", "b"}, "unexpected argument \"b\"", "show"},
      {{"convert", "a", "b", "c"}, "unexpected argument \"c\"", "convert"},
      {{}, "A subcommand is required", ""},
      {{"check"}, "FILE is required", "check"},
      {{"report", "--format", "pdf", kSample.string()}, "--format: pdf not in {markdown,html,json,csv}", "report"},
  };
  for (const auto& c : cases) {
    const Outcome run = Recaster(c.args);
    EXPECT_EQ(run.code, kExitUsage) << c.said;
    EXPECT_EQ(run.out, "");
    const std::string pointer = c.command.empty() ? "Run with --help for more information."
                                                  : "Run \"recaster " + c.command + " --help\" for its options.";
    EXPECT_EQ(run.err, "recaster: " + c.said + "\n" + pointer + "\n");
  }
}

TEST_F(Cli, HelpCommandPrintsTheHelpOfTheProgramOrOfACommand) {
  for (const std::string command : {"", "show", "convert", "report", "help"}) {
    const std::vector<std::string> asked = command.empty() ? std::vector<std::string>{"help"}
                                                           : std::vector<std::string>{"help", command};
    const std::vector<std::string> flag = command.empty() ? std::vector<std::string>{"--help"}
                                                          : std::vector<std::string>{command, "--help"};
    const Outcome help = Recaster(asked);
    EXPECT_EQ(help.code, kExitOk) << command;
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out, Recaster(flag).out) << command;
  }
  EXPECT_NE(Recaster({"help"}).out.find("recaster help COMMAND"), std::string::npos);
}

TEST_F(Cli, AnEmptyPathIsAUsageErrorForEveryCommand) {
  const std::string sample = kSample.string();
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"show", ""}, {"convert", "", Path("out.json")}, {"convert", "-f", sample, ""}, {"report", ""},
           {"report", sample, ""}}) {
    const Outcome run = Recaster(args);
    EXPECT_EQ(run.code, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    const std::string argument = args[1] == "-f" ? "DESTINATION" : "SOURCE";
    EXPECT_EQ(Lines(run.err).front(), "recaster: " + argument + ": an empty path names no file");
  }
  EXPECT_FALSE(fs::exists(folder_ / "out.json"));
}

// ---- the report of several sources ----

TEST_F(Cli, SeveralReportsInTurnReadAsAllAtOnce) {
  fs::copy_file(kSample, folder_ / "b.cfg");
  WriteFile(folder_ / "notes.cfg", "just some text");
  const std::vector<std::string> sources = {kSample.string(), Path("missing.cfg"), Path("notes.cfg"), Path("b.cfg")};
  std::vector<report::Report> reports;
  for (const std::string& source : sources) {
    const std::u16string path = platform::PathFromNative(source);
    const convert::SourceOutcome taken = convert::TakeSource({path, nullptr, nullptr, convert::SourceStage::kPlan});
    reports.push_back(taken.ok() ? report::BuildReport(taken.conversion, path) : report::UnreadReport(path, taken.RowReason()));
  }
  std::vector<std::string> args = {"report"};
  args.insert(args.end(), sources.begin(), sources.end());
  EXPECT_EQ(Recaster(args).out, report::ToMarkdown(reports));
  args.insert(args.begin() + 1, "--html");
  EXPECT_EQ(Recaster(args).out, report::ToHtml(reports));
}

TEST_F(Cli, ASourceThatChangesBetweenThePassesIsNotReported) {
  const fs::path first = folder_ / "first.cfg";
  const fs::path second = folder_ / "second.cfg";
  fs::copy_file(kSample, first);
  fs::copy_file(kSample, second);
  // Once the second source is read, the first gets a blank line more: still a loadable file.
  class Meddling final : public test::ForwardingFiles {
   public:
    std::u16string watched;
    fs::path changed;
    OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
      if (path == watched && !changed.empty()) {
        std::ofstream(changed, std::ios::binary | std::ios::app) << std::string("\r\0\n\0", 4);
        changed.clear();
      }
      return real_.OpenForReading(path, file);
    }
  } meddling;
  meddling.watched = platform::PathFromNative(second.string());
  meddling.changed = first;
  platform::ScopedFileSystem scoped(meddling);
  const Outcome run = Recaster({"report", first.string(), second.string()});
  EXPECT_EQ(run.code, kExitUnreadable);
  EXPECT_EQ(Lines(run.err), (std::vector<std::string>{kReadFailed, "recaster: " + first.string() + ": changed while being read"}));
  EXPECT_NE(run.out.find("Not converted: changed while being read"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Not converted"), run.out.rfind("Not converted"));
  EXPECT_EQ(Recaster({"report", first.string(), second.string()}).code, kExitOk);
}

// ---- the suggested report command ----

#ifndef _WIN32
// Pasted into dash and into bash, the line runs `recaster report` on exactly the name and nothing else.
TEST_F(Cli, SuggestedReportCommandIsSafeToPasteIntoAShell) {
  const std::string names[] = {
      "$(touch PWNED).cfg", "`touch PWNED`.cfg", "it's.cfg", "say \"hi\".cfg", "wow!.cfg", "two  blanks\t.cfg",
      "esc\x1b[2J.cfg", "admin\xE2\x80\xAE\xE2\x81\xA6gnp.exe\xE2\x81\xA9.cfg", "line\nfeed.cfg", "ends in\n",
      "ends in two\n\n", "\n", "-dash.cfg", "back\\slash %s.cfg", "\xC2\x85next line\xEF\xBB\xBF", "bad\xFF" "byte",
      "plain/ov_server_settings.cfg"};
  const std::string stub =
      "recaster() { printf '%s' $# > argc; n=0; for a; do n=$((n+1)); printf '%s' \"$a\" > arg$n; done; }\n";
  for (const std::string shell : {"/bin/dash", "/bin/bash"}) {
    if (!fs::exists(shell)) continue;
    for (const std::string& name : names) {
      const std::string line = PosixReportCommand(platform::PathFromNative(name));
      for (const std::string raw : {"\n", "\t", "\x1b", "\xE2\x80\xAE", "\xE2\x81\xA6", "\xC2\x85", "\xEF\xBB\xBF", "\xFF"}) {
        EXPECT_EQ(line.find(raw), std::string::npos) << line;
      }
      test::ChildProcess child;
      std::string error;
      ASSERT_TRUE(child.Start(shell, {"-c", "cd '" + folder_.string() + "' || exit 9\n" + stub + line}, &error)) << error;
      EXPECT_EQ(child.Wait(), 0) << shell << ": " << line;
      const bool dashed = name.front() == '-';
      EXPECT_EQ(ReadFile(folder_ / "argc"), dashed ? "3" : "2") << line;
      EXPECT_EQ(ReadFile(folder_ / "arg1"), "report");
      EXPECT_EQ(ReadFile(folder_ / "arg2"), dashed ? "--" : name) << shell << ": " << line;
      EXPECT_EQ(ReadFile(folder_ / "arg3"), dashed ? name : "") << shell << ": " << line;
      EXPECT_FALSE(fs::exists(folder_ / "PWNED")) << shell << ": " << line;
      for (const char* file : {"argc", "arg1", "arg2", "arg3"}) fs::remove(folder_ / file);
    }
  }
  EXPECT_EQ(PosixReportCommand(u"servers/a/ov_server_settings.cfg"), "recaster report servers/a/ov_server_settings.cfg");
}
#endif

TEST_F(Cli, SuggestedReportCommandForPowerShellNamesTheProgramByItsPath) {
  const std::u16string program = u"C:\\Program Files\\Recaster\\recaster-cli.exe";
  const struct {
    std::u16string source;
    std::string argument;
  } cases[] = {
      {u"C:\\cfg\\ov server.cfg", "'C:\\cfg\\ov server.cfg'"},
      {u"$(calc) `x` \"y\".cfg", "'$(calc) `x` \"y\".cfg'"},
      {u"it's \u2018q\u2019.cfg", "'it''s \u2018\u2018q\u2019\u2019.cfg'"},
      {u"admin\u202E\u2066gnp.exe\u2069.cfg", "('admin' + [char]0x202E + [char]0x2066 + 'gnp.exe' + [char]0x2069 + '.cfg')"},
      {u"\uFEFFx\u001B", "('' + [char]0xFEFF + 'x' + [char]0x001B)"},
      {u"-x.cfg", "'--' '-x.cfg'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PowerShellReportCommand(program, c.source),
              "& 'C:\\Program Files\\Recaster\\recaster-cli.exe' report " + c.argument);
  }
}

// Each exit code's entry in the man page and in the guide's table begins with the program's own text
// for it, and each lists the same codes.
TEST(ExitCodes, TheManPageAndTheUserDocumentationSayWhatTheProgramSays) {
  const fs::path root(RECASTER_SOURCE_DIR);
  std::map<int, std::string> man;
  std::map<int, std::string> guide;
  const std::vector<std::string> page = Lines(ReadFile(root / "docs" / "recaster.1"));
  bool in_section = false;
  for (std::size_t i = 0; i + 1 < page.size(); ++i) {
    if (page[i].starts_with(".SH")) in_section = page[i] == ".SH EXIT STATUS";
    if (in_section && page[i].size() == 4 && page[i].starts_with(".B ") && std::isdigit(page[i][3])) {
      std::string text = page[i + 1];
      for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
      man[page[i][3] - '0'] = text;
    }
  }
  for (const std::string& line : Lines(ReadFile(root / "docs" / "guide.md"))) {
    if (line.size() > 6 && line.starts_with("| ") && std::isdigit(line[2]) && line.substr(3, 3) == " | ") {
      guide.emplace(line[2] - '0', line.substr(6));
    }
  }
  EXPECT_EQ(man.size(), std::size(kExitCodes));
  EXPECT_EQ(guide.size(), std::size(kExitCodes));
  for (const ExitCode code : kExitCodes) {
    EXPECT_TRUE(man[code].starts_with(ExitCodeText(code))) << code << ": " << man[code];
    EXPECT_TRUE(guide[code].starts_with(ExitCodeText(code))) << code << ": " << guide[code];
  }
}

}  // namespace
}  // namespace recaster::cli
