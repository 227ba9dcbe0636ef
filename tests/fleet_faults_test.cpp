// The fleet under faults: folders as sources, the folder's lock, what the earlier index listed, standard
// input that cannot be read, a FIFO among the sources, and a kind asked once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "convert/source.h"
#include "fleet/fleet.h"
#include "platform/platform.h"
#include "tests/support/fleet_fixture.h"
#include "tests/support/forwarding_files.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace recaster {
namespace {

namespace fs = std::filesystem;
using Fleet = test::FleetFixture;
using test::kSample;
using test::ReadFile;
using test::Outcome;

std::vector<std::string> OutputsIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(Fleet, AFolderStandsForEveryVersion5FileBelowItInTheOrderOfTheirFolders) {
  for (const char* file : {"sites/b/OV_SERVER_SETTINGS.CFG", "sites/a/x/ov_server_settings.cfg",
                           "sites/a-b/Ov_Server_Settings.cfg", "elsewhere/far/ov_server_settings.cfg"}) {
    fs::create_directories((folder_ / file).parent_path());
    fs::copy_file(kSample, folder_ / file);
  }
  std::ofstream(folder_ / "sites" / "a" / "other.cfg") << "not taken";
  fs::create_directories(folder_ / "empty");
#ifndef _WIN32
  fs::create_directory_symlink(folder_ / "elsewhere", folder_ / "sites" / "linked");  // not followed
#endif
  const Outcome run = Recaster({"convert", "-q", "-o", Path("out"), Path("sites")});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  // By folder names, not by the bytes of the whole path: "a" comes before "a-b" on every system.
  const std::string index = ReadFile(folder_ / "out" / "index.json");
  const auto at = [&index](const char* name) { return index.find(std::string("\"name\": \"") + name + "\""); };
  ASSERT_NE(at("x"), std::string::npos) << index.substr(0, 400);
  EXPECT_LT(at("x"), at("a-b"));
  EXPECT_LT(at("a-b"), at("b"));
  EXPECT_EQ(at("far"), std::string::npos);

  const struct {
    std::vector<std::string> args;
    std::string says;
  } refused[] = {
      {{"convert", "-o", Path("out2"), Path("empty")}, "is a folder with no ov_server_settings.cfg below it"},
      {{"convert", Path("sites"), Path("one.json")}, "pass --out-dir DIR"},
  };
  for (const auto& c : refused) {
    const Outcome no = Recaster(c.args);
    EXPECT_EQ(no.code, kExitUsage) << c.says;
    EXPECT_NE(no.err.find(c.says), std::string::npos) << no.err;
  }
}

TEST_F(Fleet, OneCallAtATimeWritesAFolder) {
  const std::vector<std::u16string> sources = {platform::PathFromNative(Path("in/srv01.cfg"))};
  const std::u16string out = platform::PathFromNative(Path("out"));
  {
    const fleet::FleetPlan first = fleet::PlanFleet(sources, out);
    ASSERT_EQ(first.usage_code, kExitOk) << first.problem;
    ASSERT_TRUE(first.lock.held());
    const Outcome second = Recaster({"convert", "-q", "-o", Path("out"), Path("in/srv02.cfg")});
    EXPECT_EQ(second.code, kExitWriteFailed);
    EXPECT_EQ(second.err, "recaster: " + Path("out") + ": another recaster call is writing this folder\n");
  }
  const Outcome after = Recaster({"convert", "-q", "-o", Path("out"), Path("in/srv02.cfg")});
  EXPECT_EQ(after.code, kExitOk) << after.err;
  const std::vector<std::string> expected = {".recaster.lock", "index.csv", "index.html", "index.json", "srv02.json",
                                             "srv02.report.html", "srv02.report.json"};
  EXPECT_EQ(OutputsIn(folder_ / "out"), expected) << "the lock file is no output";
}

TEST_F(Fleet, TheFolderHoldsWhatItsIndexLists) {
  for (const char* site : {"east", "west"}) {
    fs::create_directories(folder_ / site / "srv02");
    fs::copy_file(kSample, folder_ / site / "srv02" / "ov_server_settings.cfg");
  }
  const std::string east = Path("east/srv02/ov_server_settings.cfg");
  const std::string west = Path("west/srv02/ov_server_settings.cfg");
  ASSERT_EQ(Recaster({"convert", "-q", "-o", Path("out"), east}).code, kExitOk);
  std::ofstream(folder_ / "out" / "notes.txt") << "mine";  // never listed: never removed

  // West beside east renames east's outputs: without --force the old ones are named and nothing changes.
  const Outcome asked = Recaster({"convert", "-q", "-o", Path("out"), east, west});
  EXPECT_EQ(asked.code, kExitNotReplaced);
  EXPECT_NE(asked.err.find((folder_ / "out" / "srv02.json").string()), std::string::npos) << asked.err;
  EXPECT_TRUE(fs::exists(folder_ / "out" / "srv02.json"));

  const Outcome forced = Recaster({"convert", "-q", "-f", "-o", Path("out"), east, west});
  ASSERT_EQ(forced.code, kExitOk) << forced.err;
  EXPECT_NE(forced.err.find("recaster: srv02 is now east_srv02\n"), std::string::npos) << forced.err;
  const std::vector<std::string> expected = {
      ".recaster.lock",       "east_srv02.json", "east_srv02.report.html", "east_srv02.report.json", "index.csv",
      "index.html",           "index.json",      "notes.txt",              "west_srv02.json",
      "west_srv02.report.html", "west_srv02.report.json"};
  EXPECT_EQ(OutputsIn(folder_ / "out"), expected);
}

TEST_F(Fleet, ACallThatConvertsNothingWritesNothing) {
  std::ofstream(folder_ / "in" / "notes.cfg") << "just text";
  const Outcome run = Recaster({"convert", "-o", Path("out"), Path("in/notes.cfg"), Path("in/missing.cfg")});
  EXPECT_EQ(run.code, kExitUnreadable);
  EXPECT_FALSE(fs::exists(folder_ / "out" / "index.json"));
  // The corrected rerun is not blocked by an index of the failed one.
  EXPECT_EQ(Recaster({"convert", "-q", "-o", Path("out"), Path("in/srv01.cfg")}).code, kExitOk);
}

// Standard input that cannot be read is a refused source of its own; the others go on.
TEST_F(Fleet, StandardInputThatCannotBeReadIsRefusedWithTheSystemsReason) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  cli::Console console{in, out, err, false};
  console.read_in = [](std::size_t, std::string*) {
    return platform::OsStatus{platform::kAccessDenied, "Is a directory"};
  };
  const struct {
    std::vector<std::string> args;
    int code;
    std::string out_has;
  } cases[] = {
      {{"report", "--format", "json", "-"}, kExitUnreadable, "\"reason\": \"Is a directory\""},
      {{"convert", "-q", "-o", Path("out"), "-", Path("in/srv01.cfg")}, kExitUnreadable, ""},
      {{"show", "-"}, kExitUnreadable, ""},
  };
  for (const auto& c : cases) {
    out.str("");
    err.str("");
    EXPECT_EQ(cli::RunRecaster(c.args, console), c.code) << c.args.front();
    EXPECT_NE(out.str().find(c.out_has), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("recaster: -: Is a directory\n"), std::string::npos) << err.str();
  }
  EXPECT_TRUE(fs::exists(folder_ / "out" / "srv01.json"));
}

// Counts how often each path's kind is asked.
class CountingFiles final : public test::ForwardingFiles {
 public:
  OsStatus Inspect(const std::u16string& path, platform::PathInfo* info) override {
    ++asked[path];
    return real_.Inspect(path, info);
  }
  std::map<std::u16string, int> asked;
};

TEST_F(Fleet, ADroppedFilesKindIsAskedOnce) {
  const std::u16string one = platform::PathFromNative(Path("in/srv01.cfg"));
  const std::u16string two = platform::PathFromNative(Path("in/srv02.cfg"));
  CountingFiles files;
  const platform::ScopedFileSystem scoped(files);
  // One file, as the dialog program takes it: found, then taken with what was found.
  fleet::FoundSources found = fleet::FindSources(std::vector<std::u16string>{one});
  ASSERT_EQ(found.sources.size(), 1u);
  const convert::SourceOutcome taken =
      convert::TakeSource({one, nullptr, &found.sources.front().info, convert::SourceStage::kTree});
  EXPECT_TRUE(taken.ok()) << taken.reason;
  EXPECT_EQ(files.asked[one], 1);
  // Several: found, planned and converted.
  files.asked.clear();
  fleet::FleetOptions options;
  options.guard_signals = false;
  const fleet::FleetResult result = fleet::ConvertFleet(
      fleet::PlanFleet(fleet::FindSources(std::vector<std::u16string>{one, two}), platform::PathFromNative(Path("out"))),
      options);
  EXPECT_EQ(result.worst, kExitOk);
  EXPECT_EQ(files.asked[one], 1);
  EXPECT_EQ(files.asked[two], 1);
}

#ifndef _WIN32
// Another user's link planted among the outputs, in a folder that everyone may write, is refused when
// the file is written, and the refusal names the link's owner.
TEST_F(Fleet, APlantedLinkIsRefusedByItsOwnersName) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make a link that another user owns";
  fs::create_directories(folder_ / "out");
  fs::permissions(folder_ / "out", fs::perms(01777));
  fs::create_symlink(folder_ / "in" / "srv02.cfg", folder_ / "out" / "srv01.json");
  ASSERT_EQ(::lchown((folder_ / "out" / "srv01.json").c_str(), 65534, 65534), 0);
  const Outcome run = Recaster({"convert", "-q", "-f", "-o", Path("out"), Path("in/srv01.cfg")});
  EXPECT_EQ(run.code, kExitWriteFailed);
  EXPECT_NE(run.err.find("a link owned by nobody in a shared folder; not followed"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(folder_ / "in" / "srv02.cfg"), ReadFile(kSample));
}

// A FIFO among the sources is refused by its kind, never opened: the call ends, the others convert.
TEST_F(Fleet, AFifoAmongTheSourcesIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo(Path("in/ff.cfg").c_str(), 0600), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(20);
    const Outcome run = Recaster({"convert", "-q", "-o", Path("out"), Path("in/ff.cfg"), Path("in/srv01.cfg")});
    ::_exit(run.code);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << " (20 s passed)";
  EXPECT_EQ(WEXITSTATUS(status), kExitUsage);
  EXPECT_TRUE(fs::exists(folder_ / "out" / "srv01.json"));
}
#endif

}  // namespace
}  // namespace recaster
