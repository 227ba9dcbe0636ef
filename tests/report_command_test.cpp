// Where the report goes and what is said of it: its path beside the destination, the dialog's message,
// and the report command's output and exit codes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/commands.h"
#include "platform/platform.h"
#include "report/report.h"

namespace recaster::report {
namespace {

namespace fs = std::filesystem;

const fs::path kSample = fs::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";

TEST(ReportPath, BesideTheDestinationWithItsExtensionReplaced) {
  EXPECT_EQ(ReportPathBeside(u"C:\\Users\\A\\Documents\\converted_ov_config.json"),
            u"C:\\Users\\A\\Documents\\converted_ov_config.report.html");
  EXPECT_EQ(ReportPathBeside(u"/home/a/out.v6.json"), u"/home/a/out.v6.report.html");
  EXPECT_EQ(ReportPathBeside(u"/home/a.d/out"), u"/home/a.d/out.report.html");
  EXPECT_EQ(ReportPathBeside(u"C:\\x.d\\.hidden"), u"C:\\x.d\\.hidden.report.html");
  EXPECT_EQ(ReportPathBeside(u"out"), u"out.report.html");
}

TEST(DialogMessage, SaysHowMuchIsLeftAndWhereTheReportIsOrWhyItIsNot) {
  Report report;
  report.summary.to_recreate = 47;
  EXPECT_EQ(LeftBehindMessage(report, u"C:\\out.report.html", ""),
            "47 settings must be re-created by hand in Ornvale Manager. The report lists them with their values:\n"
            "C:\\out.report.html");
  report.summary.adjustments = 1;
  EXPECT_EQ(LeftBehindMessage(report, u"r.html", "").rfind(
                "47 settings must be re-created by hand in Ornvale Manager, and 1 value to check, adjusted to fit version 6. ", 0),
            0u);
  report.summary.to_recreate = 1;
  report.summary.adjustments = 0;
  EXPECT_EQ(LeftBehindMessage(report, u"r.html", "access denied"),
            "1 setting must be re-created by hand in Ornvale Manager. The report that lists them could not be written "
            "to r.html:\naccess denied");
  report.summary.to_recreate = 0;
  report.summary.adjustments = 2;
  EXPECT_EQ(LeftBehindMessage(report, u"r.html", ""),
            "2 values to check, adjusted to fit version 6. The report lists them with their values:\nr.html");
}

// ---- the report command ----

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome Recaster(std::vector<std::string> args, bool broken_out = false) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  if (broken_out) out.setstate(std::ios::badbit);
  cli::Console console{in, out, err, false};
  const int code = cli::RunRecaster(args, console);
  return {code, out.str(), err.str()};
}

class ReportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster_report_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(folder_);
    std::ofstream(folder_ / "not-settings.cfg") << "not a settings file\n";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  fs::path folder_;
};

TEST_F(ReportCommand, PrintsTheReportWithTheExitCodesOfShow) {
  Outcome o = Recaster({"report", kSample.string()});
  EXPECT_EQ(o.code, kExitOk);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("The 47 settings marked"), std::string::npos);

  o = Recaster({"report", "--html", kSample.string()});
  EXPECT_EQ(o.code, kExitOk);
  EXPECT_EQ(o.out.rfind("<!DOCTYPE html>", 0), 0u);

  o = Recaster({"report", (folder_ / "missing.cfg").string()});
  EXPECT_EQ(o.code, kExitUsage);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("missing.cfg: "), std::string::npos);

  o = Recaster({"report", (folder_ / "not-settings.cfg").string()});
  EXPECT_EQ(o.code, kExitUnreadable);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("Failed to read an Ornvale 5 server configuration"), std::string::npos);
}

TEST_F(ReportCommand, SeveralSourcesGiveTheSummaryAndTheWorstExitCode) {
  const Outcome o = Recaster(
      {"report", kSample.string(), (folder_ / "missing.cfg").string(), (folder_ / "not-settings.cfg").string()});
  EXPECT_EQ(o.code, kExitUnreadable);
  EXPECT_EQ(o.out.rfind("# Migration summary", 0), 0u);
  EXPECT_NE(o.out.find("missing.cfg` | no: "), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("| no: not a readable Ornvale 5 server configuration: "), std::string::npos);
  EXPECT_NE(o.out.find("| 4         | 365       | 47           |"), std::string::npos);
}

TEST_F(ReportCommand, AFailedWriteToStandardOutputExitsOne) {
  const Outcome o = Recaster({"report", kSample.string()}, true);
  EXPECT_EQ(o.code, kExitWriteFailed);
  EXPECT_EQ(o.err, "recaster: cannot write to standard output: write error\n");
}

TEST_F(ReportCommand, ConvertNamesTheCommandThatPrintsTheReport) {
  const Outcome o = Recaster({"convert", "--force", kSample.string(), (folder_ / "out.json").string()});
  EXPECT_EQ(o.code, kExitOk);
  const std::string last = o.err.substr(o.err.rfind('\n', o.err.size() - 2) + 1);
  EXPECT_EQ(last, "recaster: every value, default and filter of these: " +
                      cli::ReportCommandFor(platform::PathFromNative(kSample.string())) + "\n");
  EXPECT_NE(last.find("ov_server_settings.cfg"), std::string::npos);
}

// A server that never set a retention has nothing to re-create, but its keep_days 1 is a value to
// check: 5 with --detailed-exitcode from every command, and the item to check in every form it is told.
TEST_F(ReportCommand, AnEmptyRetentionIsAnItemToCheckEverywhere) {
  const std::string source = (fs::path(RECASTER_TEST_DATA) / "empty_retention.cfg").string();
  const std::string out_dir = (folder_ / "fleet").string();
  const auto index = [&out_dir](const char* name) {
    std::ifstream in(fs::path(out_dir) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  const std::string kTodo = "check the retention you want";
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> expected;
    char where = 'o';  // standard output, 'e' standard error (the notes), 'i' index.html then index.json
  } cases[] = {
      {{"convert", "--detailed-exitcode", source, "-"}, {"Storage.KeepPeriod: empty, so keep_days is 1 (one day of "
                                                         "logs): " + kTodo + "\n"}, 'e'},
      {{"report", "--detailed-exitcode", source}, {"## To check\n\n- [ ] `Storage.KeepPeriod`: empty, so keep_days is 1 (one day of logs); " + kTodo + "\n"}},
      {{"report", "--detailed-exitcode", "--html", source}, {"<h2 id=\"group-to-check\">To check</h2>",
                                                             "<tr class=\"todo\"><td class=\"check\"><input type=\"checkbox\" "
                                                             "id=\"item-1\"></td><td><label for=\"item-1\">Storage.KeepPeriod</label>"}},
      {{"report", "--detailed-exitcode", "--format", "json", source}, {"\"to_do\": \"" + kTodo, "\"to_check\": 1"}},
      {{"report", "--detailed-exitcode", source, source}, {"| To re-create | To check |", "| 0            | 1        |"}},
      {{"convert", "--detailed-exitcode", "--out-dir", out_dir, source},
       {"<th scope=\"col\">To re-create</th><th scope=\"col\">To check</th>", "<td>1</td><td>0</td><td>1</td>", "\"adjustments\": 1"}, 'i'},
  };
  for (const auto& c : cases) {
    const Outcome o = Recaster(c.args);
    EXPECT_EQ(o.code, kExitLeftBehind) << c.args[0] << " " << c.args[2] << "\n" << o.err;
    const std::string text = c.where == 'e' ? o.err : c.where == 'i' ? index("index.html") + index("index.json") : o.out;
    for (const std::string& expected : c.expected) EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
}

}  // namespace
}  // namespace recaster::report
