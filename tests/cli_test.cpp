// The recaster command line, driven in-process: exit codes, what goes to standard output and what to
// standard error, the overwrite rules, and the sample's conversion byte for byte.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <fstream>
#include <new>
#include <sstream>
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
#include "tests/support/small_disk.h"
#include "tests/support/spawn.h"

namespace recaster::cli {
namespace {

namespace fs = std::filesystem;

TEST_F(Cli, VersionAndHelpSucceedOnStandardOutput) {
  const Outcome version = Recaster({"--version"});
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "recaster 1.0.1\n");
  const Outcome help = Recaster({"--help"});
  EXPECT_EQ(help.code, kExitOk);
  EXPECT_NE(help.out.find("convert"), std::string::npos);
  EXPECT_NE(help.out.find("show"), std::string::npos);
  EXPECT_EQ(Recaster({"convert", "--help"}).code, kExitOk);
}

TEST_F(Cli, UsageErrorsExitTwoWithAMessageOnStandardError) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"convert", "--bogus"}, {"show", "a", "b"}, {"convert", "a", "b", "c"}}) {
    const Outcome run = Recaster(args);
    EXPECT_EQ(run.code, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("recaster: ", 0), 0u) << run.err;
  }
}

TEST_F(Cli, SourceMustBeAnExistingRegularFile) {
  for (const std::vector<std::string>& command : {std::vector<std::string>{"show"}, {"convert"}}) {
    auto with = [&](const std::string& source) {
      std::vector<std::string> args = command;
      args.push_back(source);
      if (command[0] == "convert") args.push_back(Path("out.json"));
      return args;
    };
    const Outcome missing = Recaster(with(Path("missing.cfg")));
    EXPECT_EQ(missing.code, kExitUsage);
    EXPECT_EQ(missing.err, "recaster: " + Path("missing.cfg") + ": " +
                               platform::DescribeSystemError(platform::kFileNotFound) + "\n");
    const Outcome folder = Recaster(with(folder_.string()));
    EXPECT_EQ(folder.code, kExitUsage);
    EXPECT_EQ(folder.out, "");
  }
  EXPECT_FALSE(fs::exists(folder_ / "out.json"));
}

TEST_F(Cli, ShowPrintsEveryGroupInDocumentOrderWithSecretsMasked) {
  const Outcome run = Recaster({"show", kSample.string()});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.err, "");
  const boost::json::object doc = boost::json::parse(run.out).as_object();
  std::vector<std::string> keys;
  for (const auto& member : doc) keys.emplace_back(member.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"Processing", "Format", "Grid", "General", "Storage", "RemConn", "Network",
                                            "NetworkEx", "Dns", "Backup", "ExportToText", "ExportToDb", "Emailer",
                                            "EmailAlerts", "SyslogForwarders"}));
  EXPECT_EQ(doc.at("Network").at("UdpPort"), 1514);
  EXPECT_EQ(doc.at("Network").at("Tcp"), true);
  EXPECT_EQ(doc.at("Format").at("FirstWeekDay"), 0);
  // Every secret is masked: both passwords whole, the connection string's secret fields (it has none).
  EXPECT_EQ(doc.at("RemConn").at("Password"), "********");
  EXPECT_EQ(doc.at("Emailer").at("Password"), "********");
  EXPECT_EQ(doc.at("ExportToDb").at("ExporterToDb").at("ConnString"),
            "Driver={SQL Server};Server=db01.example.com;Database=Syslog;Trusted_Connection=yes;");
  EXPECT_TRUE(doc.at("Storage").at("KeepPeriod").is_array());
  EXPECT_TRUE(doc.at("Backup").at("Schedule").is_object());
  const auto& filter = doc.at("SyslogForwarders").at("Forwarders").at(0).at("Filter").as_object();
  std::vector<std::string> fields;
  for (const auto& member : filter) fields.emplace_back(member.key());
  EXPECT_EQ(fields.front(), "name");
  EXPECT_EQ(fields.back(), "wildcardType");
  EXPECT_EQ(fields.size(), 18u);
  EXPECT_TRUE(filter.at("originMatch").at("matchCase").is_bool());

  const Outcome secrets = Recaster({"show", "--show-secrets", kSample.string()});
  const boost::json::object shown = boost::json::parse(secrets.out).as_object();
  EXPECT_NE(shown.at("RemConn").at("Password"), "********");
  EXPECT_NE(shown.at("RemConn").at("Password"), "");
  EXPECT_NE(shown.at("ExportToDb").at("ExporterToDb").at("ConnString"), "********");
  EXPECT_NE(shown.at("ExportToDb").at("ExporterToDb").at("ConnString"), "");
}

TEST_F(Cli, UnreadableSourceExitsThreeWithTheReasonAndWritesNothing) {
  WriteFile(folder_ / "notes.cfg", "just some text, not UTF-16");
  const Outcome show = Recaster({"show", Path("notes.cfg")});
  EXPECT_EQ(show.code, kExitUnreadable);
  EXPECT_EQ(show.out, "");
  std::vector<std::string> lines = Lines(show.err);
  ASSERT_EQ(lines.size(), 2u) << show.err;
  EXPECT_EQ(lines[0], kReadFailed);
  EXPECT_EQ(lines[1].rfind("recaster: " + Path("notes.cfg") + ": ", 0), 0u) << lines[1];

  // Rejected text gives its line and column.
  std::string bytes = "\xFF\xFE";
  for (char16_t c : std::u16string(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<R>\r\n<a></b>\r\n</R>")) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  WriteFile(folder_ / "broken.cfg", bytes);
  const Outcome convert = Recaster({"convert", "--force", Path("broken.cfg"), Path("out.json")});
  EXPECT_EQ(convert.code, kExitUnreadable);
  lines = Lines(convert.err);
  ASSERT_EQ(lines.size(), 2u) << convert.err;
  EXPECT_EQ(lines[0], kReadFailed);
  EXPECT_NE(lines[1].find("line 3"), std::string::npos) << lines[1];
  EXPECT_FALSE(fs::exists(folder_ / "out.json"));
}

TEST_F(Cli, ConvertWritesTheSampleByteForByte) {
  const Outcome run = Recaster({"convert", kSample.string(), Path("converted.json")});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, kWriteSucceeded);
  EXPECT_EQ(ReadFile(folder_ / "converted.json"), ReadFile(kGolden));
  // The notes name what is left to do by hand, never a secret's value.
  EXPECT_NE(run.err.find("EmailAlerts.Alerts: 2 items"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("RemConn.Password"), std::string::npos);
  const std::string shown = Recaster({"show", "--show-secrets", kSample.string()}).out;
  const std::string password(boost::json::parse(shown).at("RemConn").at("Password").as_string());
  EXPECT_EQ(run.err.find(password), std::string::npos);
}

TEST_F(Cli, QuietAndStandardOutputKeepStandardOutputForData) {
  const Outcome quiet = Recaster({"convert", "-q", kSample.string(), Path("q.json")});
  EXPECT_EQ(quiet.code, kExitOk);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(quiet.err, "");
  const Outcome piped = Recaster({"convert", kSample.string(), "-"});
  EXPECT_EQ(piped.code, kExitOk);
  EXPECT_EQ(piped.out, ReadFile(kGolden));
  EXPECT_FALSE(fs::exists(folder_ / "-"));
}

TEST_F(Cli, DestinationWithoutExtensionGetsJson) {
  EXPECT_EQ(Recaster({"convert", "-q", kSample.string(), Path("plain")}).code, kExitOk);
  EXPECT_TRUE(fs::exists(folder_ / "plain.json"));
  EXPECT_FALSE(fs::exists(folder_ / "plain"));
  EXPECT_EQ(Recaster({"convert", "-q", kSample.string(), Path("dotted.txt")}).code, kExitOk);
  EXPECT_TRUE(fs::exists(folder_ / "dotted.txt"));
}

TEST_F(Cli, ExistingDestinationIsReplacedOnlyWhenAllowed) {
  const fs::path dest = folder_ / "existing.json";
  WriteFile(dest, "old");

  const Outcome refused = Recaster({"convert", kSample.string(), dest.string()});
  EXPECT_EQ(refused.code, kExitNotReplaced);
  EXPECT_NE(refused.err.find("--force"), std::string::npos);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(ReadFile(dest), "old");

  const Outcome declined = Recaster({"convert", kSample.string(), dest.string()}, "n\n", /*terminal=*/true);
  EXPECT_EQ(declined.code, kExitNotReplaced);
  EXPECT_EQ(declined.err, "Replace " + dest.string() + "? [y/N] ");
  EXPECT_EQ(ReadFile(dest), "old");

  EXPECT_EQ(Recaster({"convert", kSample.string(), dest.string()}, "", /*terminal=*/true).code, kExitNotReplaced);
  EXPECT_EQ(ReadFile(dest), "old");

  const Outcome accepted = Recaster({"convert", "-q", kSample.string(), dest.string()}, "y\n", /*terminal=*/true);
  EXPECT_EQ(accepted.code, kExitOk);
  EXPECT_EQ(ReadFile(dest), ReadFile(kGolden));

  WriteFile(dest, "old");
  EXPECT_EQ(Recaster({"convert", "--force", "-q", kSample.string(), dest.string()}).code, kExitOk);
  EXPECT_EQ(ReadFile(dest), ReadFile(kGolden));
}

TEST_F(Cli, WriteFailureExitsOneWithTheReason) {
  const Outcome run = Recaster({"convert", kSample.string(), Path("no/such/folder/out.json")});
  EXPECT_EQ(run.code, kExitWriteFailed);
  EXPECT_EQ(run.out, "");
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], kWriteFailed);
  EXPECT_EQ(lines[1].rfind("recaster: " + Path("no/such/folder/out.json") + ": ", 0), 0u) << lines[1];
}

TEST_F(Cli, SourceErrorsNameTheRealCauseWithoutWindowsCodes) {
#ifndef _WIN32
  // A name longer than the system allows is no "no such file" (Wine calls it one).
  const std::string long_name = Path(std::string(300, 'n').c_str());
  const Outcome too_long = Recaster({"show", long_name});
  EXPECT_EQ(too_long.code, kExitUsage);
  EXPECT_EQ(too_long.err.find(platform::DescribeSystemError(platform::kFileNotFound)), std::string::npos)
      << too_long.err;
#endif

  // A folder that may not be entered, and a file that may not be read: the system's own words.
  class Denied final : public test::ForwardingFiles {
   public:
    bool deny_inspect = false;
    OsStatus Inspect(const std::u16string& path, platform::PathInfo* info) override {
      if (deny_inspect) return {platform::kAccessDenied, "Permission denied"};
      return real_.Inspect(path, info);
    }
    OsStatus OpenForReading(const std::u16string&, FileHandle*) override {
      return {platform::kAccessDenied, "Permission denied"};
    }
  } denied;
  platform::ScopedFileSystem scoped(denied);
  for (const bool in_folder : {true, false}) {
    denied.deny_inspect = in_folder;
    const Outcome run = Recaster({"convert", kSample.string(), Path("out.json")});
    EXPECT_EQ(run.code, kExitUnreadable);
    const std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0], kReadFailed);
    EXPECT_EQ(lines[1], "recaster: " + kSample.string() + ": cannot open the file: Permission denied");
  }
  EXPECT_FALSE(fs::exists(folder_ / "out.json"));
}

TEST_F(Cli, FolderAsDestinationIsAUsageError) {
  fs::create_directories(folder_ / "dir");
  fs::create_directories(folder_ / "x.json");
  const std::string separator(1, static_cast<char>(fs::path::preferred_separator));
  for (const std::string& destination : {Path("dir"), Path("dir") + separator, Path("new") + separator,
                                         Path("x.json"), Path("x")}) {
    const Outcome run = Recaster({"convert", "--force", kSample.string(), destination});
    EXPECT_EQ(run.code, kExitUsage) << destination;
    EXPECT_NE(run.err.find("is a folder"), std::string::npos) << run.err;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "dir"), fs::directory_iterator()), 0);
  EXPECT_FALSE(fs::exists(folder_ / "dir.json"));
}

TEST_F(Cli, SourceIsNeverItsOwnDestination) {
  const fs::path source = folder_ / "same.cfg";
  fs::copy_file(kSample, source);
  const std::string original = ReadFile(source);
  std::vector<std::vector<std::string>> runs = {{"convert", "--force", source.string(), source.string()}};
  std::error_code error;
  fs::create_symlink(source, folder_ / "link.cfg", error);
  if (!error) runs.push_back({"convert", "--force", source.string(), Path("link.cfg")});
  fs::create_hard_link(source, folder_ / "hard.cfg", error);
  if (!error) runs.push_back({"convert", "--force", source.string(), Path("hard.cfg")});
  for (const auto& args : runs) {
    const Outcome run = Recaster(args);
    EXPECT_EQ(run.code, kExitUsage) << args.back();
    EXPECT_NE(run.err.find("is the source file itself"), std::string::npos) << run.err;
  }
  // Nor by a yes at the prompt, which is not even asked.
  const Outcome asked = Recaster({"convert", source.string(), source.string()}, "y\n", /*terminal=*/true);
  EXPECT_EQ(asked.code, kExitUsage);
  EXPECT_EQ(asked.err.find("Replace"), std::string::npos);
  EXPECT_EQ(ReadFile(source), original);
}

TEST_F(Cli, SuccessNamesTheAbsolutePathWritten) {
  const fs::path here = fs::current_path();
  fs::current_path(folder_);
  const Outcome run = Recaster({"convert", kSample.string(), "named"});
  fs::current_path(here);
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_EQ(run.out, kWriteSucceeded);
  const std::vector<std::string> lines = Lines(run.err);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "recaster: written to " + fs::canonical(folder_ / "named.json").string());
  EXPECT_EQ(Recaster({"convert", "-q", "-f", kSample.string(), Path("named.json")}).err, "");
  EXPECT_EQ(Recaster({"convert", kSample.string(), "-"}).err.find("written to"), std::string::npos);
}

TEST_F(Cli, LinkDestinationIsPromptedForByItsTarget) {
  std::error_code error;
  fs::create_symlink(folder_ / "absent.json", folder_ / "dangling.json", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  const Outcome refused = Recaster({"convert", kSample.string(), Path("dangling.json")});
  EXPECT_EQ(refused.code, kExitNotReplaced);
  EXPECT_NE(refused.err.find(Path("absent.json")), std::string::npos) << refused.err;
  const Outcome asked = Recaster({"convert", kSample.string(), Path("dangling.json")}, "y\n", /*terminal=*/true);
  EXPECT_EQ(asked.code, kExitOk);
  EXPECT_EQ(asked.err.rfind("Replace " + Path("absent.json") + "? [y/N] ", 0), 0u) << asked.err;
  EXPECT_TRUE(fs::is_symlink(folder_ / "dangling.json"));
  EXPECT_EQ(ReadFile(folder_ / "absent.json"), ReadFile(kGolden));
}

TEST_F(Cli, DeviceDestinationIsWrittenAsItIs) {
  if (!fs::exists("/dev/null")) GTEST_SKIP() << "no /dev/null here";
  const Outcome run = Recaster({"convert", "-q", kSample.string(), "/dev/null"});
  EXPECT_EQ(run.code, kExitOk) << run.err;
  EXPECT_FALSE(fs::exists("/dev/null.json"));
  const Outcome full = Recaster({"convert", "-q", kSample.string(), "/dev/full"});
  EXPECT_EQ(full.code, kExitWriteFailed);
  EXPECT_NE(full.err.find(platform::DescribeSystemError(platform::kDiskFull)), std::string::npos) << full.err;
}

TEST_F(Cli, FailedWritesToStandardOutputExitOne) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  out.setstate(std::ios::badbit);
  Console console{in, out, err, false};
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"show", kSample.string()}, {"convert", "-q", kSample.string(), "-"}, {"--help"}, {"--version"}}) {
    err.str("");
    EXPECT_EQ(RunRecaster(args, console), kExitWriteFailed) << args[0];
    EXPECT_EQ(err.str(), "recaster: cannot write to standard output: write error\n");
  }
  // The success line is data too; the file is written all the same.
  err.str("");
  EXPECT_EQ(RunRecaster({"convert", kSample.string(), Path("out.json")}, console), kExitWriteFailed);
  EXPECT_EQ(ReadFile(folder_ / "out.json"), ReadFile(kGolden));
}

#ifndef _WIN32
TEST_F(Cli, ProgramExitsOneWhenStandardOutputFails) {
  const std::string program = RECASTER_PROGRAM;
  for (const std::string redirect : {">/dev/full", ">&-"}) {
    for (const std::string& command : {"show '" + kSample.string() + "'", "convert -q '" + kSample.string() + "' -",
                                       std::string("--version")}) {
      test::ChildProcess child;
      std::string error;
      // Standard error goes to the pipe the test reads; standard output to the failing place.
      ASSERT_TRUE(child.Start("/bin/sh", {"-c", "exec '" + program + "' " + command + " 2>&1 " + redirect}, &error));
      std::string line;
      ASSERT_TRUE(child.ReadLine(&line)) << command << redirect;
      EXPECT_EQ(line.rfind("recaster: cannot write to standard output: ", 0), 0u) << line;
      EXPECT_EQ(child.Wait(), kExitWriteFailed) << command << redirect;
    }
  }
}

TEST_F(Cli, FullDiskLeavesTheOldDestinationByteForByte) {
  test::SmallDisk disk(64 * 1024);
  if (!disk.ok()) GTEST_SKIP() << "cannot mount a small tmpfs here; the fake disk's DiskFull case stands in";
  const fs::path dest = disk.folder() / "out.json";
  WriteFile(dest, "{\"the\": \"previous good file\"}\n");
  disk.Fill();
  const Outcome run = Recaster({"convert", "--force", kSample.string(), dest.string()});
  EXPECT_EQ(run.code, kExitWriteFailed);
  EXPECT_NE(run.err.find(platform::DescribeSystemError(platform::kDiskFull)), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dest), "{\"the\": \"previous good file\"}\n");
  for (const auto& entry : fs::directory_iterator(disk.folder())) {
    EXPECT_EQ(entry.path().filename().string().find(".recaster-"), std::string::npos) << entry.path();
  }
}
#endif

TEST_F(Cli, RunningOutOfMemoryIsAFailureNotAnAbort) {
  class Exhausted final : public test::ForwardingFiles {
   public:
    bool on_read = false;
    OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
      if (on_read) throw std::bad_alloc();
      return real_.Read(file, buffer, size, read);
    }
    OsStatus Write(FileHandle, const void*, std::uint32_t, std::uint32_t*) override { throw std::bad_alloc(); }
  } exhausted;
  platform::ScopedFileSystem scoped(exhausted);
  WriteFile(folder_ / "out.json", "old");

  exhausted.on_read = true;
  const Outcome load = Recaster({"convert", "--force", kSample.string(), Path("out.json")});
  EXPECT_EQ(load.code, kExitUnreadable);
  EXPECT_EQ(Lines(load.err).back(), "recaster: " + kSample.string() + ": not enough memory");
  const Outcome show = Recaster({"show", kSample.string()});
  EXPECT_EQ(show.code, kExitUnreadable);
  EXPECT_NE(show.err.find("not enough memory"), std::string::npos);

  exhausted.on_read = false;
  const Outcome write = Recaster({"convert", "--force", kSample.string(), Path("out.json")});
  EXPECT_EQ(write.code, kExitWriteFailed);
  EXPECT_EQ(Lines(write.err).front(), kWriteFailed);
  EXPECT_EQ(Lines(write.err).back(), "recaster: " + Path("out.json") + ": not enough memory");
  EXPECT_EQ(ReadFile(folder_ / "out.json"), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

// The step of a conversion in which memory runs out, for convert::g_before_step.
recaster::convert::ConversionStep g_exhausted_step = recaster::convert::ConversionStep::kLoad;

// Memory that runs out while the settings are read is a source that cannot be read (3); while mapping,
// making the JSON text or writing, it is a failed write (1), to a file or to standard output. Either
// way the old file stays and nothing is left beside it.
TEST_F(Cli, RunningOutOfMemoryInEachStepOfAConversion) {
  using Step = convert::ConversionStep;
  struct Case {
    Step step;
    bool to_stdout;
    int code;
    std::string first_line;
    std::string last_line;
  };
  const std::string out = Path("out.json");
  const Case cases[] = {
      {Step::kLoad, false, kExitUnreadable, kReadFailed, "recaster: " + kSample.string() + ": not enough memory"},
      {Step::kMap, false, kExitWriteFailed, kWriteFailed, "recaster: " + out + ": not enough memory"},
      {Step::kJsonText, false, kExitWriteFailed, kWriteFailed, "recaster: " + out + ": not enough memory"},
      {Step::kWrite, false, kExitWriteFailed, kWriteFailed, "recaster: " + out + ": not enough memory"},
      {Step::kMap, true, kExitWriteFailed, kWriteFailed, "recaster: standard output: not enough memory"},
      {Step::kJsonText, true, kExitWriteFailed, kWriteFailed, "recaster: standard output: not enough memory"},
  };
  for (const Case& c : cases) {
    WriteFile(folder_ / "out.json", "old");
    g_exhausted_step = c.step;
    convert::g_before_step = [](Step step) {
      if (step == g_exhausted_step) throw std::bad_alloc();
    };
    const Outcome run = Recaster({"convert", "--force", kSample.string(), c.to_stdout ? "-" : out});
    convert::g_before_step = nullptr;
    const std::string name = std::to_string(static_cast<int>(c.step)) + (c.to_stdout ? " to standard output" : "");
    EXPECT_EQ(run.code, c.code) << name;
    EXPECT_EQ(Lines(run.err).front(), c.first_line) << name;
    EXPECT_EQ(Lines(run.err).back(), c.last_line) << name;
    EXPECT_EQ(ReadFile(folder_ / "out.json"), "old") << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1) << name;
  }
}

}  // namespace
}  // namespace recaster::cli
