// A destination that another process holds: the command line's retry of kSharingAttempts attempts,
// forced with a fake file system on each way a file is written, and the program itself in parallel runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "platform/platform.h"
#include "tests/support/forwarding_files.h"
#include "tests/support/spawn.h"

namespace recaster::cli {
namespace {

namespace fs = std::filesystem;

const fs::path kSample = fs::path(RECASTER_SOURCE_DIR) / "samples" / "ov_server_settings.cfg";
const fs::path kGolden = fs::path(RECASTER_TEST_DATA) / "ov_server_settings.json";

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The temporary files left in `folder` and the folders below it.
std::vector<std::string> Leftovers(const fs::path& folder) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".recaster-") != std::string::npos) found.push_back(name);
  }
  return found;
}

class CliSharing : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster_cli_sharing_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
               "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }

  fs::path folder_;
};

// The operating system's files, except that the destination whose name ends with `held` is held by
// another process for the next `violations` attempts to open or replace it, and that the waits between
// attempts are counted instead of slept.
class HeldFiles final : public test::ForwardingFiles {
 public:
  std::u16string held;
  int violations = 0;
  bool as_device = false;  // Inspect tells the held file as a device, which is written in place
  std::vector<std::uint32_t> sleeps;

  OsStatus Inspect(const std::u16string& path, platform::PathInfo* info) override {
    const OsStatus status = real_.Inspect(path, info);
    if (as_device && status.ok() && path.ends_with(held)) info->kind = platform::PathKind::kOther;
    return status;
  }
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    return Refused(path) ? Violation() : real_.CreateForWriting(path, file);
  }
  OsStatus Replace(const std::u16string& temporary, const std::u16string& destination) override {
    return Refused(destination) ? Violation() : real_.Replace(temporary, destination);
  }
  OsStatus ReplaceInBatch(const std::u16string& temporary, const std::u16string& destination) override {
    return Refused(destination) ? Violation() : real_.ReplaceInBatch(temporary, destination);
  }
  void Sleep(std::uint32_t ms) override { sleeps.push_back(ms); }

 private:
  bool Refused(const std::u16string& path) {
    if (violations == 0 || !path.ends_with(held)) return false;
    --violations;
    return true;
  }
  static OsStatus Violation() {
    return {platform::kSharingViolation, platform::DescribeSystemError(platform::kSharingViolation)};
  }
};

TEST_F(CliSharing, FewerViolationsThanAttemptsSucceedAndAsManyFailKeepingTheOldFile) {
  fs::create_directories(folder_ / "srv01");
  fs::create_directories(folder_ / "out");
  const std::string source = Path("srv01/ov_server_settings.cfg");
  fs::copy_file(kSample, source);
  const struct {
    const char* way;
    std::vector<std::string> args;
    const char* destination;
    bool as_device;
  } ways[] = {
      {"replaced", {"convert", "-q", "--force", source, Path("out.json")}, "out.json", false},
      {"replaced in a batch", {"convert", "-q", "--force", "--out-dir", Path("out"), source}, "out/srv01.json", false},
      {"written in place", {"convert", "-q", "--force", source, Path("device.json")}, "device.json", true},
  };
  const std::string golden = ReadFile(kGolden);
  const std::string refused = ": " + platform::DescribeSystemError(platform::kSharingViolation);
  for (const auto& w : ways) {
    for (int violations = 0; violations <= platform::kSharingAttempts; ++violations) {
      const std::string name = std::string(w.way) + ", held for " + std::to_string(violations) + " attempts";
      const fs::path destination = folder_ / w.destination;
      std::ofstream(destination, std::ios::binary) << "old";
      HeldFiles files;
      files.held = fs::path(w.destination).filename().u16string();
      files.violations = violations;
      files.as_device = w.as_device;
      std::istringstream in;
      std::ostringstream out;
      std::ostringstream err;
      Console console{in, out, err, false};
      int code;
      {
        const platform::ScopedFileSystem scoped(files);
        code = RunRecaster(w.args, console);
      }
      EXPECT_EQ(files.sleeps, std::vector<std::uint32_t>(violations, platform::kSharingWaitMs)) << name;
      if (violations < platform::kSharingAttempts) {
        EXPECT_EQ(code, kExitOk) << name << ": " << err.str();
        EXPECT_EQ(ReadFile(destination), golden) << name;
      } else {
        EXPECT_EQ(code, kExitWriteFailed) << name;
        const std::string said = err.str();
        EXPECT_NE(said.find(destination.filename().string() + refused + "\n"), std::string::npos) << name << ": " << said;
        EXPECT_EQ(ReadFile(destination), "old") << name;
      }
      EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{}) << name;
    }
  }
}

// Real processes of the program, all at once; each waits for its end in ChildProcess's destructor.
std::vector<int> RunInParallel(const std::vector<std::vector<std::string>>& runs) {
  std::vector<std::unique_ptr<test::ChildProcess>> children;
  for (const auto& args : runs) {
    children.push_back(std::make_unique<test::ChildProcess>());
    std::string error;
    EXPECT_TRUE(children.back()->Start(RECASTER_PROGRAM, args, &error)) << error;
  }
  std::vector<int> codes;
  for (auto& child : children) codes.push_back(child->Wait());
  return codes;
}

// How long another run holds the shared destination is up to the machine: each run may meet it held
// more often than it tries, and then fails. What holds whatever the timing: every run to a file of its
// own succeeds, each run to the shared file succeeds or fails as one held off, and the shared file is
// always one whole conversion, with no temporary file left.
TEST_F(CliSharing, ParallelConversionsOfOneSourceNeverBreakTheFile) {
  constexpr int kRuns = 20;
  const std::string source = Path("ov_server_settings.cfg");
  fs::copy_file(kSample, source);
  const std::string golden = ReadFile(kGolden);
  std::ofstream(folder_ / "shared.json", std::ios::binary) << golden;
  std::vector<std::vector<std::string>> separate;
  std::vector<std::vector<std::string>> shared;
  for (int i = 0; i < kRuns; ++i) {
    separate.push_back({"convert", "-q", source, Path("out-" + std::to_string(i) + ".json")});
    shared.push_back({"convert", "-q", "--force", source, Path("shared.json")});
  }
  EXPECT_EQ(RunInParallel(separate), std::vector<int>(kRuns, kExitOk));
  for (int i = 0; i < kRuns; ++i) EXPECT_EQ(ReadFile(folder_ / ("out-" + std::to_string(i) + ".json")), golden) << i;
  for (const int code : RunInParallel(shared)) EXPECT_TRUE(code == kExitOk || code == kExitWriteFailed) << code;
  EXPECT_EQ(ReadFile(folder_ / "shared.json"), golden);
  EXPECT_EQ(Leftovers(folder_), std::vector<std::string>{});
}

}  // namespace
}  // namespace recaster::cli
