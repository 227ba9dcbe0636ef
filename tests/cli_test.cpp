// The recaster command line, driven in-process: exit codes, what goes to standard output and what to
// standard error, the overwrite rules, and the sample's conversion byte for byte.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace recaster::cli {
namespace {

namespace fs = std::filesystem;

const fs::path kSample = fs::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";
const fs::path kGolden = fs::path(RECASTER_TEST_DATA) / "ov_server_settings.json";

constexpr char kReadFailed[] = "Failed to read an Ornvale 5 server configuration from the file you selected.";
constexpr char kWriteSucceeded[] =
    "The converted configuration has beed sucessfully saved. You can now import it into Ornvale Manager.\n";
constexpr char kWriteFailed[] = "Failed to write converted configuration to the file path you specified.";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" +
               std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  Outcome Recaster(std::vector<std::string> args, const std::string& input = "", bool terminal = false) {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    Console console{in, out, err, terminal};
    const int code = RunRecaster(args, console);
    return {code, out.str(), err.str()};
  }

  std::string Path(const char* name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

TEST_F(Cli, VersionAndHelpSucceedOnStandardOutput) {
  const Outcome version = Recaster({"--version"});
  EXPECT_EQ(version.code, kExitOk);
  EXPECT_EQ(version.out, "Recaster, Version 1.0\nFile version 1.0.1\n");
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
    EXPECT_EQ(missing.err, "recaster: " + Path("missing.cfg") + ": no such file\n");
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
  // Every secret is masked: both passwords and the connection string, which may hold a third.
  EXPECT_EQ(doc.at("RemConn").at("Password"), "********");
  EXPECT_EQ(doc.at("Emailer").at("Password"), "********");
  EXPECT_EQ(doc.at("ExportToDb").at("ExporterToDb").at("ConnString"), "********");
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

}  // namespace
}  // namespace recaster::cli
