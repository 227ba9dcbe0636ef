// Writing the destination file: the failures a disk can have, the retry while another process holds
// the file, and real files.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "platform/platform.h"
#include "tests/support/spawn.h"

namespace recaster::convert {
namespace {

using platform::FileHandle;
using platform::OsStatus;
using platform::SystemError;

// A file system that fails as told and counts what it was asked to do.
class FakeFiles final : public platform::FileSystem {
 public:
  std::deque<SystemError> create_results;  // one per attempt; success once empty
  SystemError write_error = 0;
  std::uint32_t write_limit = UINT32_MAX;  // bytes a write delivers at most

  int creates = 0;
  int writes = 0;
  int closes = 0;
  std::vector<std::uint32_t> sleeps;
  std::string written;

  OsStatus OpenForReading(const std::u16string&, FileHandle*) override { return {platform::kNotSupported, ""}; }
  OsStatus FileSize(FileHandle, std::uint64_t*) override { return {platform::kNotSupported, ""}; }
  OsStatus Read(FileHandle, void*, std::uint32_t, std::uint32_t*) override { return {platform::kNotSupported, ""}; }
  OsStatus CreateForWriting(const std::u16string&, FileHandle* file) override {
    ++creates;
    SystemError code = 0;
    if (!create_results.empty()) {
      code = create_results.front();
      create_results.pop_front();
    }
    if (code != 0) return {code, "fake"};
    *file = 7;
    return {};
  }
  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* count) override {
    EXPECT_EQ(file, 7);
    ++writes;
    *count = std::min(size, write_limit);
    written.append(static_cast<const char*>(data), *count);
    if (write_error != 0) return {write_error, "fake"};
    return {};
  }
  void Close(FileHandle file) override {
    EXPECT_EQ(file, 7);
    ++closes;
  }
  void Sleep(std::uint32_t ms) override { sleeps.push_back(ms); }
};

struct DiskCase {
  const char* name;
  std::vector<SystemError> create_results;
  SystemError write_error;
  std::uint32_t write_limit;
  SystemError expected;
  int creates;
  int sleeps;
  int closes;  // 1 exactly when the file was opened
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.name; }

class WriteTextFileOnFakeDisk : public testing::TestWithParam<DiskCase> {};

TEST_P(WriteTextFileOnFakeDisk, ReturnsTheCodeAndClosesWhatItOpened) {
  const DiskCase& c = GetParam();
  FakeFiles fake;
  fake.create_results.assign(c.create_results.begin(), c.create_results.end());
  fake.write_error = c.write_error;
  fake.write_limit = c.write_limit;
  platform::ScopedFileSystem scoped(fake);

  EXPECT_EQ(WriteTextFile(u"out.json", "{\n}\n"), c.expected);
  EXPECT_EQ(fake.creates, c.creates);
  EXPECT_EQ(fake.sleeps, std::vector<std::uint32_t>(c.sleeps, 25));
  EXPECT_EQ(fake.closes, c.closes);
  EXPECT_EQ(fake.writes, c.closes);  // one write request, exactly when opened
}

INSTANTIATE_TEST_SUITE_P(
    WriteTextFile, WriteTextFileOnFakeDisk,
    testing::Values(DiskCase{"Success", {}, 0, UINT32_MAX, 0, 1, 0, 1},
                    DiskCase{"AccessDenied", {5}, 0, UINT32_MAX, 5, 1, 0, 0},
                    DiskCase{"MissingFolder", {3}, 0, UINT32_MAX, 3, 1, 0, 0},
                    DiskCase{"HeldThroughout", {32, 32, 32, 32}, 0, UINT32_MAX, 32, 4, 4, 0},
                    DiskCase{"HeldTwice", {32, 32}, 0, UINT32_MAX, 0, 3, 2, 1},
                    DiskCase{"HeldThreeTimes", {32, 32, 32}, 0, UINT32_MAX, 0, 4, 3, 1},
                    DiskCase{"HeldThenDenied", {32, 5}, 0, UINT32_MAX, 5, 2, 1, 0},
                    DiskCase{"DiskFull", {}, 112, 2, 112, 1, 0, 1},
                    DiskCase{"ShortWriteWithoutReason", {}, 0, 2, kWriteFault, 1, 0, 1}),
    [](const testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.name); });

TEST(WriteTextFile, WritesAllBytesInOneRequest) {
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  const std::string text(100000, 'x');
  EXPECT_EQ(WriteTextFile(u"out.json", text), 0u);
  EXPECT_EQ(fake.writes, 1);
  EXPECT_EQ(fake.written, text);
}

TEST(WriteTextFile, RefusesFourGibibytesWithoutOpening) {
  if constexpr (sizeof(std::size_t) <= 4) GTEST_SKIP() << "a 32-bit size cannot reach 4 GiB";
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  const char byte = 'x';
  // The view is never read: the size alone is refused.
  const std::string_view huge(&byte, std::size_t{1} << 32);
  EXPECT_EQ(WriteTextFile(u"out.json", huge), kFileTooLarge);
  EXPECT_EQ(fake.creates, 0);
}

TEST(WriteConfigFile, LeavesTheDestinationAloneWhenTheTreeCannotBeJson) {
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  ConfigTree tree;
  tree.put_value(std::string("root value"));
  EXPECT_THROW(WriteConfigFile(tree, u"out.json"), boost::property_tree::ptree_error);
  EXPECT_EQ(fake.creates, 0);
}

TEST(DescribeWriteError, NamesOurOwnCodes) {
  EXPECT_NE(DescribeWriteError(kWriteFault).find("before all"), std::string::npos);
  EXPECT_NE(DescribeWriteError(kFileTooLarge).find("4 GiB"), std::string::npos);
}

// A fresh folder for one test, removed afterwards.
class RealFiles : public testing::Test {
 protected:
  void SetUp() override {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    folder_ = std::filesystem::temp_directory_path() /
              ("recaster_write_" + std::string(info->name()) + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::filesystem::path Path(const char* name) const { return folder_ / name; }
  static std::u16string Wide(const std::filesystem::path& path) { return platform::PathFromNative(path.string()); }
  static std::string Contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Store(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::filesystem::path folder_;
};

TEST_F(RealFiles, CreatesAndReplacesTheFile) {
  const auto path = Path("out.json");
  Store(path, "an older and much longer content than the new one");
  EXPECT_EQ(WriteTextFile(Wide(path), "{\n}\n"), 0u);
  EXPECT_EQ(Contents(path), "{\n}\n");
}

TEST_F(RealFiles, MissingFolderGivesPathNotFound) {
  EXPECT_EQ(WriteTextFile(Wide(Path("missing/out.json")), "x"), platform::kPathNotFound);
}

TEST_F(RealFiles, FolderAsDestinationIsDenied) {
  EXPECT_EQ(WriteTextFile(Wide(folder_), "x"), platform::kAccessDenied);
}

TEST_F(RealFiles, FullDiskGivesDiskFull) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  EXPECT_EQ(WriteTextFile(u"/dev/full", "{\n}\n"), platform::kDiskFull);
}

// The real file system, with the time of every open attempt and every wait recorded.
class TimedFiles final : public platform::FileSystem {
 public:
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> attempts;
  std::vector<std::uint32_t> sleeps;

  OsStatus OpenForReading(const std::u16string& path, FileHandle* file) override {
    return real_.OpenForReading(path, file);
  }
  OsStatus FileSize(FileHandle file, std::uint64_t* size) override { return real_.FileSize(file, size); }
  OsStatus Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t* read) override {
    return real_.Read(file, buffer, size, read);
  }
  OsStatus CreateForWriting(const std::u16string& path, FileHandle* file) override {
    attempts.push_back(Clock::now());
    return real_.CreateForWriting(path, file);
  }
  OsStatus Write(FileHandle file, const void* data, std::uint32_t size, std::uint32_t* written) override {
    return real_.Write(file, data, size, written);
  }
  void Close(FileHandle file) override { real_.Close(file); }
  void Sleep(std::uint32_t ms) override {
    sleeps.push_back(ms);
    real_.Sleep(ms);
  }

 private:
  platform::FileSystem& real_ = platform::SystemFiles();
};

// Starts the helper that holds `path` for `ms` and waits until it holds it.
void HoldInOtherProcess(test::ChildProcess& child, const std::filesystem::path& path, int ms) {
  std::string error;
  ASSERT_TRUE(child.Start(RECASTER_HOLD_FILE, {path.string(), std::to_string(ms)}, &error)) << error;
  std::string line;
  ASSERT_TRUE(child.ReadLine(&line));
  ASSERT_EQ(line, "held");
}

TEST_F(RealFiles, FileHeldByAnotherProcessIsTriedFourTimesThenSharingViolation) {
  const auto path = Path("held.json");
  Store(path, "kept");
  test::ChildProcess child;
  HoldInOtherProcess(child, path, 1000);
  if (HasFatalFailure() || IsSkipped()) return;

  TimedFiles timed;
  platform::ScopedFileSystem scoped(timed);
  EXPECT_EQ(WriteTextFile(Wide(path), "new"), platform::kSharingViolation);
  EXPECT_EQ(timed.sleeps, std::vector<std::uint32_t>(4, 25));
  ASSERT_EQ(timed.attempts.size(), 4u);
  for (std::size_t i = 1; i < timed.attempts.size(); ++i) {
    EXPECT_GE(timed.attempts[i] - timed.attempts[i - 1], std::chrono::milliseconds(25)) << "attempt " << i;
  }
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(Contents(path), "kept");  // never emptied while held
}

TEST_F(RealFiles, FileReleasedWithinTheRetriesIsWritten) {
  const auto path = Path("briefly.json");
  Store(path, "old");
  test::ChildProcess child;
  HoldInOtherProcess(child, path, 50);
  if (HasFatalFailure() || IsSkipped()) return;

  TimedFiles timed;
  platform::ScopedFileSystem scoped(timed);
  EXPECT_EQ(WriteTextFile(Wide(path), "{\n}\n"), 0u);
  EXPECT_GE(timed.attempts.size(), 1u);
  EXPECT_LE(timed.attempts.size(), 4u);
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(Contents(path), "{\n}\n");
}

}  // namespace
}  // namespace recaster::convert
