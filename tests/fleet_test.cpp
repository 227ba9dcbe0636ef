// Many sources into one folder: the naming rule as a table, and the command line's fleet and standard
// input driven in-process (usage errors, exit codes, the overwrite check, a write that fails).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "fleet/fleet.h"
#include "platform/platform.h"
#include "tests/support/fleet_fixture.h"
#include "tests/support/forwarding_files.h"

namespace recaster {
namespace {

namespace fs = std::filesystem;

using test::kSample;
using test::ReadFile;
using test::Outcome;

// ---- the names ----

TEST(FleetNames, BaseNameOfAPath) {
  const std::u16string long_name(250, u'x');
  const std::u16string long_accented(150, u'\u00E9');  // two bytes each
  const struct {
    std::u16string path;
    std::u16string name;
  } cases[] = {
      {u"/srv/a/ov_server_settings.cfg", u"a"},          // the folder names the server
      {u"/srv/a/OV_Server_Settings.CFG", u"a"},          // in any case
      {u"/ov_server_settings.cfg", u"ov_server_settings"},  // no folder to take
      {u"/srv/a/srv01.cfg", u"srv01"},
      {u"/srv/a/srv01.tar.cfg", u"srv01.tar"},           // the last extension only
      {u"/srv/a/.cfg", u".cfg"},                         // a leading dot is no extension
      {u"-", u"stdin"},
      {u"/srv/a<b>:\"|?*\x01\x7F.cfg", u"a_b________"},
      {u"/srv/con.cfg", u"con_"},
      {u"/srv/LPT9.cfg", u"LPT9_"},
      {u"/srv/COM10.cfg", u"COM10"},
      {u"/srv/con.tar.cfg", u"con_.tar"},                // a device before any extension
      {u"/srv/Aux .x.cfg", u"Aux_ .x"},
      {u"/srv/index.old.cfg", u"index.old"},             // index.old.json is no index
      {u"/srv/Index.cfg", u"Index_"},
      {u"/srv/name..cfg", u"name_"},                     // no dot at the end
      {u"/srv/name .cfg", u"name_"},                     // nor a blank
      {u"/srv/" + long_name + u".cfg", std::u16string(200, u'x')},
      {u"/srv/" + long_accented + u".cfg", std::u16string(100, u'\u00E9')},
      {u"/srv/\U0001F600.cfg", u"\U0001F600"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::PathToNative(fleet::BaseName(c.path)), platform::PathToNative(c.name))
        << platform::PathToNative(c.path);
  }
}

TEST(FleetNames, OnlyCollidingNamesTakeTheirFolderThenANumber) {
  const std::vector<std::u16string> paths = {
      u"/s/East/srv1/ov_server_settings.cfg", u"/s/east/srv1/ov_server_settings.cfg",  // case only
      u"/s/a/srv2.cfg",  u"/s/b/SRV2.cfg",                                            // case only
      u"/s/c/other.cfg",                                                              // alone: stays
      u"/s/d/x.cfg",     u"/s/e/x.report.cfg",  // x.report.json from both
      u"/s/f/y.cfg",     u"/s/f/y.xml",  u"/s/f/y.txt",  // the same folder: numbers
  };
  const std::vector<std::u16string> expected = {u"East_srv1", u"east_srv1-2", u"a_srv2", u"b_SRV2", u"other",
                                                u"d_x",       u"e_x.report",  u"f_y",    u"f_y-2",  u"f_y-3"};
  EXPECT_EQ(fleet::AssignNames(paths), expected);
}

// ---- the command line ----

using Fleet = test::FleetFixture;

TEST_F(Fleet, UsageErrorsExitTwoBeforeAnythingIsWritten) {
  const std::string one = Path("in/srv01.cfg");
  fs::copy_file(kSample, folder_ / "in" / "self.json");
  std::ofstream(folder_ / "a_file") << "x";
  const struct {
    std::vector<std::string> args;
    std::string says;
  } cases[] = {
      {{"convert", "-o", Path("out")}, "no source to convert"},
      {{"convert", "-o", Path("out"), one, Path("in/../in/srv01.cfg")}, "is named twice"},
      {{"convert", "-o", Path("out"), "-", one, "-"}, "standard input can be read only once"},
      {{"convert", "-o", Path("a_file"), one}, "is not a folder"},
      {{"convert", "-o", Path("in"), Path("in/self.json")}, "is also an output"},
      {{"convert", one, Path("x.json"), Path("in/srv02.cfg")}, "unexpected argument"},  // no --out-dir
  };
  for (const auto& c : cases) {
    const Outcome run = Recaster(c.args);
    EXPECT_EQ(run.code, kExitUsage) << c.says;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(FilesIn("out"), 0u) << c.says;
  }
  EXPECT_EQ(FilesIn("in"), 3u);
}

TEST_F(Fleet, TheExitCodeIsTheWorstAndTheOthersGoOn) {
  std::ofstream(folder_ / "in" / "notes.cfg") << "just some notes";
  const struct {
    std::vector<std::string> sources;
    bool detailed;
    int code;
    std::size_t written;
  } cases[] = {
      {{"in/srv01.cfg", "in/srv02.cfg"}, false, kExitOk, 9},
      {{"in/srv01.cfg", "in/srv02.cfg"}, true, kExitLeftBehind, 9},
      {{"in/srv01.cfg", "in/missing.cfg"}, true, kExitUsage, 6},
      {{"in/notes.cfg", "in/missing.cfg", "in/srv02.cfg"}, false, kExitUnreadable, 6},
  };
  int run_number = 0;
  for (const auto& c : cases) {
    const std::string out = "out" + std::to_string(run_number++);
    std::vector<std::string> args = {"convert", "-o", Path(out)};
    if (c.detailed) args.push_back("--detailed-exitcode");
    for (const std::string& source : c.sources) args.push_back(Path(source));
    const Outcome run = Recaster(args);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_EQ(FilesIn(out), c.written) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(Fleet, AnOutputThatCannotBeWrittenIsARowOfItsOwn) {
  fs::create_directories(folder_ / "out" / "srv01.report.html");  // a folder where a file goes
  const Outcome run = Recaster({"convert", "-o", Path("out"), Path("in/srv01.cfg"), Path("in/srv02.cfg")});
  EXPECT_EQ(run.code, kExitNotReplaced);  // it exists: asked first
  const Outcome forced =
      Recaster({"convert", "-f", "-o", Path("out"), Path("in/srv01.cfg"), Path("in/srv02.cfg")});
  EXPECT_EQ(forced.code, kExitWriteFailed) << forced.err;
  EXPECT_NE(forced.err.find("converted 1 of 2 sources, 1 not written"), std::string::npos) << forced.err;
  EXPECT_FALSE(fs::exists(folder_ / "out" / "srv01.json"));
  EXPECT_TRUE(fs::exists(folder_ / "out" / "srv02.json"));
  EXPECT_NE(ReadFile(folder_ / "out" / "index.json").find("\"exit_code\": 1"), std::string::npos);
}

TEST_F(Fleet, ExistingOutputsAreReplacedOnlyWhenThePersonSaysSo) {
  const std::vector<std::string> args = {"convert", "-o", Path("out"), Path("in/srv01.cfg")};
  ASSERT_EQ(Recaster(args).code, kExitOk);
  fs::remove(folder_ / "out" / "srv01.report.json");
  const Outcome no = Recaster(args, "n\n", true);
  EXPECT_EQ(no.code, kExitNotReplaced);
  EXPECT_EQ(no.err, "Replace 5 files in " + Path("out") + "? [y/N] ");
  EXPECT_FALSE(fs::exists(folder_ / "out" / "srv01.report.json"));
  EXPECT_EQ(Recaster(args, "y\n", true).code, kExitOk);
  EXPECT_TRUE(fs::exists(folder_ / "out" / "srv01.report.json"));
}

TEST_F(Fleet, StandardInputIsReadOnceAndNeverFromATerminal) {
  const std::string sample = ReadFile(kSample);
  const Outcome file = Recaster({"convert", "-q", Path("in/srv01.cfg"), "-"});
  const Outcome piped = Recaster({"convert", "-q", "-", "-"}, sample);
  EXPECT_EQ(piped.code, kExitOk);
  EXPECT_EQ(piped.out, file.out);
  const Outcome noted = Recaster({"convert", "-", Path("piped.json")}, sample);
  EXPECT_EQ(noted.err.find("recaster report"), std::string::npos) << "no command to report standard input again";
  EXPECT_EQ(Recaster({"show", "-"}, sample).out, Recaster({"show", Path("in/srv01.cfg")}).out);
  EXPECT_EQ(Recaster({"report", "-"}, sample).code, kExitOk);
  EXPECT_EQ(Recaster({"convert", "-o", Path("out"), "-"}, sample).code, kExitOk);
  EXPECT_EQ(ReadFile(folder_ / "out" / "stdin.json"), file.out);

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"convert", "-", "-"}, {"show", "-"}, {"report", "-"}, {"convert", "-o", Path("t"), "-"}}) {
    const Outcome terminal = Recaster(args, sample, true);
    EXPECT_EQ(terminal.code, kExitUsage) << args[0];
    EXPECT_NE(terminal.err.find("standard input is a terminal"), std::string::npos) << terminal.err;
  }
  EXPECT_EQ(Recaster({"report", "-", "-"}, sample).code, kExitUsage);
  // One byte past the loader's limit is refused as a longer file is.
  const Outcome large = Recaster({"convert", "-", "-"}, std::string(64u * 1024u * 1024u + 1u, ' '));
  EXPECT_EQ(large.code, kExitUnreadable);
  EXPECT_NE(large.err.find("larger than 64 MiB"), std::string::npos) << large.err;
}

// Large sources go one at a time behind the index; mixed with small ones on two threads, in any order
// of finishing, every source is converted and the call ends.
TEST_F(Fleet, LargeSourcesAmongSmallOnesAllConvert) {
  std::u16string text;
  {
    const std::string bytes = ReadFile(kSample);
    text.assign(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  }
  const std::u16string address = u"<Ipv4BindAddr text=\"192.0.2.10\"/>";
  const std::size_t at = text.find(address);
  ASSERT_NE(at, std::u16string::npos);
  text.replace(at, address.size(), u"<Ipv4BindAddr text=\"" + std::u16string(4'500'000, u'a') + u"\"/>");
  std::vector<std::u16string> sources;
  for (const char* name : {"s1", "L1", "L2", "s2", "L3", "s3"}) {
    const fs::path path = folder_ / "in" / (std::string(name) + ".cfg");
    if (name[0] == 'L') {
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(text.data()),
                                                  static_cast<std::streamsize>(text.size() * 2));
    } else {
      fs::copy_file(kSample, path);
    }
    sources.push_back(platform::PathFromNative(path.string()));
  }
  ASSERT_GT(fleet::MemoryCharge(fs::file_size(folder_ / "in" / "L1.cfg")), fleet::kMemoryBudget);
  fleet::FleetOptions options;
  options.jobs = 2;
  const fleet::FleetResult result = fleet::ConvertFleet(sources, platform::PathFromNative(Path("out")), options);
  ASSERT_EQ(result.rows.size(), sources.size());
  for (const fleet::FleetRow& row : result.rows) EXPECT_EQ(row.code, kExitOk) << row.reason;
  EXPECT_EQ(result.index_code, kExitOk);
}

// ---- the batch ----

// Counts the flushes and breaks what a case asks: the flush of the batch, or the placing of one file.
class BatchFiles final : public test::ForwardingFiles {
 public:
  OsStatus Flush(FileHandle file) override {
    ++single_flushes;
    return real_.Flush(file);
  }
  OsStatus FlushFiles(std::span<const std::u16string> paths) override {
    ++batch_flushes;
    if (fail_flush) return {platform::kDiskFull, platform::DescribeSystemError(platform::kDiskFull)};
    return real_.FlushFiles(paths);
  }
  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    if (!refuse.empty() && destination.ends_with(refuse)) return {platform::kAccessDenied, platform::DescribeSystemError(platform::kAccessDenied)};
    return real_.ReplaceInBatch(temporary, destination);
  }
  OsStatus FlushFolder(const std::u16string& folder) override {
    ++folder_flushes;
    return real_.FlushFolder(folder);
  }
  bool fail_flush = false;
  std::u16string refuse;
  int single_flushes = 0;
  int batch_flushes = 0;
  int folder_flushes = 0;
};

TEST_F(Fleet, TheBatchIsFlushedOnceAndAFailureKeepsTheOldFiles) {
  const struct {
    const char* what;
    bool fail_flush;
    std::u16string refuse;
    std::vector<int> codes;
  } cases[] = {
      {"no fault", false, u"", {kExitOk, kExitOk}},
      {"the flush fails", true, u"", {kExitWriteFailed, kExitWriteFailed}},
      {"one file is refused its place", false, u"srv02.report.html", {kExitOk, kExitWriteFailed}},
  };
  const std::vector<std::u16string> sources = {platform::PathFromNative(Path("in/srv01.cfg")),
                                               platform::PathFromNative(Path("in/srv02.cfg"))};
  for (const auto& c : cases) {
    const fs::path out = folder_ / "out";
    fs::remove_all(out);
    fs::create_directories(out);
    for (const char* name : {"srv01.json", "srv02.json", "srv02.report.json", "index.json"}) {
      std::ofstream(out / name) << "old";
    }
    BatchFiles files;
    files.fail_flush = c.fail_flush;
    files.refuse = c.refuse;
    fleet::FleetOptions options;
    options.replace_existing = true;
    fleet::FleetResult result;
    {
      const platform::ScopedFileSystem scoped(files);
      result = fleet::ConvertFleet(sources, platform::PathFromNative(out.string()), options);
    }
    ASSERT_EQ(result.rows.size(), 2u) << c.what;
    EXPECT_EQ(result.rows[0].code, c.codes[0]) << c.what;
    EXPECT_EQ(result.rows[1].code, c.codes[1]) << c.what;
    EXPECT_EQ(files.batch_flushes, 1) << c.what;
    EXPECT_EQ(files.single_flushes, 0) << c.what << ": no file is flushed on its own";
    EXPECT_EQ(files.folder_flushes, c.fail_flush ? 0 : 1) << c.what << ": nothing was renamed after a failed flush";
    EXPECT_EQ(ReadFile(out / "srv01.json") == "old", c.codes[0] != kExitOk) << c.what;
    // An index that would list a source whose files are not in place as converted is not put in place.
    const bool all_placed = c.codes[1] == kExitOk;
    EXPECT_EQ(ReadFile(out / "index.json") == "old", !all_placed) << c.what;
    EXPECT_EQ(result.index_code, all_placed ? kExitOk : kExitWriteFailed) << c.what;
    EXPECT_TRUE(all_placed || result.distinct_to_recreate == 0) << c.what << ": no index counts them";
    std::size_t temporaries = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
      temporaries += entry.path().filename().string().find(".recaster-") != std::string::npos;
    }
    EXPECT_EQ(temporaries, 0u) << c.what;
  }
}

}  // namespace
}  // namespace recaster
