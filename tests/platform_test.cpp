// The POSIX file layer: errno mapped to the Windows codes the loader and the writer report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/platform.h"

namespace recaster::platform {
namespace {

namespace fs = std::filesystem;

class PlatformFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    folder_ = fs::temp_directory_path() / ("recaster-platform-" + std::to_string(std::random_device{}()) + "-" + test);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::ofstream(folder_ / "file.cfg", std::ios::binary) << "content";
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::u16string Path(const std::string& name) const { return PathFromNative((folder_ / name).string()); }

  SystemError OpenCode(const std::string& name) {
    FileHandle file = kNoFile;
    const OsStatus status = SystemFiles().OpenForReading(Path(name), &file);
    if (status.ok()) SystemFiles().Close(file);
    return status.code;
  }

  fs::path folder_;
};

TEST_F(PlatformFiles, MapsOpenFailuresToWindowsCodes) {
  const std::pair<const char*, SystemError> cases[] = {
      {"file.cfg", kSuccess},          {"missing.cfg", kFileNotFound},      {"no-folder/file.cfg", kPathNotFound},
      {"file.cfg/inner", kPathNotFound}, {"", kAccessDenied},  // a folder opened as a file
  };
  for (const auto& [name, code] : cases) EXPECT_EQ(OpenCode(name), code) << name;
}

TEST_F(PlatformFiles, SecondOpenOfHeldFileIsSharingViolation) {
  FileHandle held = kNoFile;
  ASSERT_TRUE(SystemFiles().OpenForReading(Path("file.cfg"), &held).ok());
  EXPECT_EQ(OpenCode("file.cfg"), kSharingViolation);
  FileHandle writer = kNoFile;
  EXPECT_EQ(SystemFiles().CreateForWriting(Path("file.cfg"), &writer).code, kSharingViolation);
  SystemFiles().Close(held);
  EXPECT_EQ(fs::file_size(folder_ / "file.cfg"), 7u);  // the refused writer emptied nothing
  EXPECT_EQ(OpenCode("file.cfg"), kSuccess);
}

TEST_F(PlatformFiles, ReadsAndSizesAnOpenFile) {
  FileHandle file = kNoFile;
  ASSERT_TRUE(SystemFiles().OpenForReading(Path("file.cfg"), &file).ok());
  ScopedFile owner(SystemFiles(), file);
  std::uint64_t size = 0;
  ASSERT_TRUE(SystemFiles().FileSize(file, &size).ok());
  EXPECT_EQ(size, 7u);
  char buffer[16] = {};
  std::uint32_t read = 0;
  ASSERT_TRUE(SystemFiles().Read(file, buffer, sizeof buffer, &read).ok());
  EXPECT_EQ(std::string(buffer, read), "content");
}

}  // namespace
}  // namespace recaster::platform
