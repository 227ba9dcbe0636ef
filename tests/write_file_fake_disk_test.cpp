// Writing the destination file on a fake disk: each failure a disk can have gives its code and leaves
// no temporary behind, a device is written as it is, and the JSON goes out as it is made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert.h"
#include "platform/platform.h"

namespace recaster::convert {
namespace {

using platform::FileHandle;
using platform::OsStatus;
using platform::PathKind;
using platform::SystemError;

constexpr FileHandle kTemporaryHandle = 7;
constexpr FileHandle kInPlaceHandle = 8;

// A file system that fails as told and counts what it was asked to do.
class FakeFiles final : public platform::FileSystem {
 public:
  PathKind kind = PathKind::kMissing;      // what the destination is
  SystemError create_result = 0;          // of CreateTemporary
  std::deque<SystemError> open_results;    // of CreateForWriting, one per attempt; success once empty
  SystemError write_error = 0;
  std::uint32_t write_limit = UINT32_MAX;  // bytes a write delivers at most
  SystemError flush_error = 0;
  std::deque<SystemError> replace_results;  // one per attempt; success once empty
  bool throw_on_write = false;

  int creates = 0;
  int opens = 0;
  int writes = 0;
  int flushes = 0;
  int closes = 0;
  int replaces = 0;
  int discards = 0;
  std::vector<std::uint32_t> sleeps;
  std::string written;

  OsStatus OpenForReading(const std::u16string&, FileHandle*) override { return {platform::kNotSupported, ""}; }
  OsStatus FileSize(FileHandle, std::uint64_t*) override { return {platform::kNotSupported, ""}; }
  OsStatus Read(FileHandle, void*, std::uint32_t, std::uint32_t*) override { return {platform::kNotSupported, ""}; }
  OsStatus Inspect(const std::u16string& path, platform::PathInfo* info) override {
    *info = platform::PathInfo{kind, false, path, {}};
    return {};
  }
  OsStatus CreateTemporary(const std::u16string& destination, std::u16string* temporary, FileHandle* file) override {
    ++creates;
    if (create_result != 0) return {create_result, "fake"};
    *temporary = u"." + destination + u".recaster-fake00";
    *file = kTemporaryHandle;
    return {};
  }
  OsStatus CreateForWriting(const std::u16string&, FileHandle* file) override {
    ++opens;
    SystemError code = Next(open_results);
    if (code != 0) return {code, "fake"};
    *file = kInPlaceHandle;
    return {};
  }
  OsStatus Write(FileHandle, const void* data, std::uint32_t size, std::uint32_t* count) override {
    ++writes;
    if (throw_on_write) throw std::bad_alloc();
    *count = std::min(size, write_limit);
    written.append(static_cast<const char*>(data), *count);
    if (write_error != 0) return {write_error, "fake"};
    return {};
  }
  OsStatus Flush(FileHandle file) override {
    EXPECT_EQ(file, kTemporaryHandle);
    ++flushes;
    return {flush_error, flush_error != 0 ? "fake" : ""};
  }
  void Close(FileHandle) override { ++closes; }
  OsStatus Replace(const std::u16string& temporary, const std::u16string&) override {
    EXPECT_EQ(closes, 1) << "the temporary file is closed before it takes the destination's place";
    EXPECT_NE(temporary.find(u".recaster-"), std::u16string::npos);
    ++replaces;
    SystemError code = Next(replace_results);
    return {code, code != 0 ? "fake" : ""};
  }
  OsStatus Discard(const std::u16string&) override {
    ++discards;
    return {};
  }
  void Sleep(std::uint32_t ms) override { sleeps.push_back(ms); }

 private:
  static SystemError Next(std::deque<SystemError>& results) {
    if (results.empty()) return 0;
    const SystemError code = results.front();
    results.pop_front();
    return code;
  }
};

struct DiskCase {
  const char* name;
  PathKind kind;
  SystemError create_result;
  SystemError write_error;
  std::uint32_t write_limit;
  SystemError flush_error;
  std::vector<SystemError> replace_results;
  SystemError expected;
  int replaces;
  int sleeps;
  int discards;  // 1 exactly when a temporary was made and the replacement failed
};

void PrintTo(const DiskCase& c, std::ostream* os) { *os << c.name; }

class WriteTextFileOnFakeDisk : public testing::TestWithParam<DiskCase> {};

TEST_P(WriteTextFileOnFakeDisk, ReturnsTheCodeAndLeavesNoTemporaryBehind) {
  const DiskCase& c = GetParam();
  FakeFiles fake;
  fake.kind = c.kind;
  fake.create_result = c.create_result;
  fake.write_error = c.write_error;
  fake.write_limit = c.write_limit;
  fake.flush_error = c.flush_error;
  fake.replace_results.assign(c.replace_results.begin(), c.replace_results.end());
  platform::ScopedFileSystem scoped(fake);

  EXPECT_EQ(WriteTextFile(u"out.json", "{\n}\n"), c.expected);
  const int made = c.kind != PathKind::kDirectory && c.create_result == 0 ? 1 : 0;
  EXPECT_EQ(fake.creates, c.kind == PathKind::kDirectory ? 0 : 1);
  EXPECT_EQ(fake.writes, made);  // one write request, exactly when the temporary exists
  EXPECT_EQ(fake.closes, made);
  EXPECT_EQ(fake.replaces, c.replaces);
  EXPECT_EQ(fake.sleeps, std::vector<std::uint32_t>(c.sleeps, 25));
  EXPECT_EQ(fake.discards, c.discards);
  EXPECT_EQ(fake.opens, 0);  // a file is never written in place
}

INSTANTIATE_TEST_SUITE_P(
    WriteTextFile, WriteTextFileOnFakeDisk,
    testing::Values(DiskCase{"NewFile", PathKind::kMissing, 0, 0, UINT32_MAX, 0, {}, 0, 1, 0, 0},
                    DiskCase{"ExistingFile", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {}, 0, 1, 0, 0},
                    DiskCase{"Folder", PathKind::kDirectory, 0, 0, UINT32_MAX, 0, {}, 5, 0, 0, 0},
                    DiskCase{"FolderDenied", PathKind::kMissing, 5, 0, UINT32_MAX, 0, {}, 5, 0, 0, 0},
                    DiskCase{"MissingFolder", PathKind::kMissing, 3, 0, UINT32_MAX, 0, {}, 3, 0, 0, 0},
                    DiskCase{"DiskFull", PathKind::kRegularFile, 0, 112, 2, 0, {}, 112, 0, 0, 1},
                    DiskCase{"ShortWriteWithoutReason", PathKind::kRegularFile, 0, 0, 2, 0, {}, kWriteFault, 0, 0, 1},
                    DiskCase{"FlushFails", PathKind::kRegularFile, 0, 0, UINT32_MAX, 31, {}, 31, 0, 0, 1},
                    DiskCase{"ReadOnly", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {5}, 5, 1, 0, 1},
                    DiskCase{"HeldThroughout", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {32, 32, 32, 32}, 32, 4,
                             4, 1},
                    DiskCase{"HeldTwice", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {32, 32}, 0, 3, 2, 0},
                    DiskCase{"HeldThreeTimes", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {32, 32, 32}, 0, 4, 3, 0},
                    DiskCase{"HeldThenDenied", PathKind::kRegularFile, 0, 0, UINT32_MAX, 0, {32, 5}, 5, 2, 1, 1}),
    [](const testing::TestParamInfo<DiskCase>& info) { return std::string(info.param.name); });

TEST(WriteTextFile, WritesAllBytesInOneRequestToTheTemporary) {
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  const std::string text(100000, 'x');
  EXPECT_EQ(WriteTextFile(u"out.json", text), 0u);
  EXPECT_EQ(fake.writes, 1);
  EXPECT_EQ(fake.flushes, 1);
  EXPECT_EQ(fake.written, text);
}

TEST(WriteTextFile, WritesADeviceAsItIsWithTheSharingRetry) {
  FakeFiles fake;
  fake.kind = PathKind::kOther;
  fake.open_results = {32, 32};
  platform::ScopedFileSystem scoped(fake);
  EXPECT_EQ(WriteTextFile(u"/dev/null", "{\n}\n"), 0u);
  EXPECT_EQ(fake.opens, 3);
  EXPECT_EQ(fake.sleeps, std::vector<std::uint32_t>(2, 25));
  EXPECT_EQ(fake.creates + fake.replaces, 0);
  EXPECT_EQ(fake.written, "{\n}\n");
  EXPECT_EQ(fake.closes, 1);
}

TEST(WriteTextFile, AnExceptionWhileWritingStillRemovesTheTemporary) {
  FakeFiles fake;
  fake.throw_on_write = true;
  platform::ScopedFileSystem scoped(fake);
  EXPECT_THROW(static_cast<void>(WriteTextFile(u"out.json", "{\n}\n")), std::bad_alloc);
  EXPECT_EQ(fake.closes, 1);
  EXPECT_EQ(fake.discards, 1);
  EXPECT_EQ(fake.replaces, 0);
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

// The JSON text goes to the temporary as it is made, 64 KiB a request; a failed request ends the
// writing there and the temporary goes.
TEST(WriteConfigFile, StreamsTheTextAndDiscardsTheTemporaryOnAFailedWrite) {
  tree::ConfigTree tree;
  tree::PutText(tree, "addr", std::string(200000, '\x01'));
  const std::string text = ConfigTreeToJson(tree);
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  EXPECT_EQ(WriteConfigFile(tree, u"out.json"), 0u);
  EXPECT_EQ(fake.written, text);
  EXPECT_EQ(fake.writes, static_cast<int>((text.size() + 65535) / 65536));

  FakeFiles full;
  full.write_error = platform::kDiskFull;
  platform::ScopedFileSystem scoped_full(full);
  EXPECT_EQ(WriteConfigFile(tree, u"out.json"), platform::kDiskFull);
  EXPECT_EQ(full.writes, 1);
  EXPECT_EQ(full.discards, 1);
  EXPECT_EQ(full.replaces, 0);
}

TEST(WriteConfigFile, LeavesTheDestinationAloneWhenTheTreeCannotBeJson) {
  FakeFiles fake;
  platform::ScopedFileSystem scoped(fake);
  tree::ConfigTree tree;
  tree.put_value(std::string("root value"));
  EXPECT_THROW(static_cast<void>(WriteConfigFile(tree, u"out.json")), boost::property_tree::ptree_error);
  EXPECT_EQ(fake.creates, 0);
}

TEST(DescribeWriteError, NamesOurOwnCodes) {
  EXPECT_NE(DescribeWriteError(kWriteFault).find("before all"), std::string::npos);
  EXPECT_NE(DescribeWriteError(kFileTooLarge).find("4 GiB"), std::string::npos);
}

}  // namespace
}  // namespace recaster::convert
