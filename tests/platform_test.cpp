// The POSIX file layer: errno mapped to the Windows codes the loader and the writer report, sharing
// through locks, links followed, temporary files and their replacement of a destination.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

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

TEST_F(PlatformFiles, ReadersShareAFileAWriterHoldsItAlone) {
  FileHandle first = kNoFile;
  ASSERT_TRUE(SystemFiles().OpenForReading(Path("file.cfg"), &first).ok());
  EXPECT_EQ(OpenCode("file.cfg"), kSuccess);  // a second reader is welcome
  FileHandle writer = kNoFile;
  EXPECT_EQ(SystemFiles().CreateForWriting(Path("file.cfg"), &writer).code, kSharingViolation);
  SystemFiles().Close(first);
  EXPECT_EQ(fs::file_size(folder_ / "file.cfg"), 7u);  // the refused writer emptied nothing

  ASSERT_TRUE(SystemFiles().CreateForWriting(Path("file.cfg"), &writer).ok());
  const OsStatus refused = [&] {
    FileHandle reader = kNoFile;
    return SystemFiles().OpenForReading(Path("file.cfg"), &reader);
  }();
  EXPECT_EQ(refused.code, kSharingViolation);
  EXPECT_EQ(refused.message, DescribeSystemError(kSharingViolation));
  SystemFiles().Close(writer);
  EXPECT_EQ(OpenCode("file.cfg"), kSuccess);
}

// Links, devices, POSIX names and messages; the Windows layer has tests of its own.
#ifndef _WIN32
TEST_F(PlatformFiles, InspectFollowsLinksAndTellsWhatIsThere) {
  fs::create_directories(folder_ / "sub");
  fs::create_symlink("file.cfg", folder_ / "link.cfg");
  fs::create_symlink(folder_ / "link.cfg", folder_ / "sub" / "chain.cfg");
  fs::create_symlink("absent.cfg", folder_ / "dangling.cfg");
  fs::create_symlink("loop-b", folder_ / "loop-a");
  fs::create_symlink("loop-a", folder_ / "loop-b");
  struct Case {
    std::string name;
    SystemError code;
    PathKind kind;
    bool is_link;
    std::string target;  // relative to the folder
  };
  const Case cases[] = {
      {"file.cfg", kSuccess, PathKind::kRegularFile, false, "file.cfg"},
      {"sub", kSuccess, PathKind::kDirectory, false, "sub"},
      {"missing.cfg", kSuccess, PathKind::kMissing, false, "missing.cfg"},
      {"link.cfg", kSuccess, PathKind::kRegularFile, true, "file.cfg"},
      {"sub/chain.cfg", kSuccess, PathKind::kRegularFile, true, "file.cfg"},
      {"dangling.cfg", kSuccess, PathKind::kMissing, true, "absent.cfg"},
      {"no-folder/file.cfg", kPathNotFound, PathKind::kMissing, false, ""},
      {"file.cfg/inner", kPathNotFound, PathKind::kMissing, false, ""},
      {"loop-a", kCantResolveName, PathKind::kMissing, false, ""},
      {std::string(300, 'n'), kFilenameTooLong, PathKind::kMissing, false, ""},
  };
  for (const Case& c : cases) {
    PathInfo info;
    const OsStatus status = SystemFiles().Inspect(Path(c.name), &info);
    EXPECT_EQ(status.code, c.code) << c.name;
    EXPECT_EQ(status.message.find("System error"), std::string::npos) << status.message;
    if (!status.ok()) continue;
    EXPECT_EQ(info.kind, c.kind) << c.name;
    EXPECT_EQ(info.is_link, c.is_link) << c.name;
    EXPECT_EQ(fs::path(PathToNative(info.target)).lexically_normal(), (folder_ / c.target).lexically_normal())
        << c.name;
  }
}

// The rule for links in sticky folders that everyone may write. Only root can give a link to another
// user, so the test needs root (as CI runs it).
class SharedFolderLinks : public PlatformFiles {
 protected:
  static constexpr uid_t kNobody = 65534;
  static constexpr uid_t kNoName = 54321;  // a user number with no name

  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can make a link that another user owns";
    PlatformFiles::SetUp();
    for (const char* name : {"st", "st-nobody", "plain"}) fs::create_directory(folder_ / name);
    fs::permissions(folder_ / "st", fs::perms(01777));
    fs::permissions(folder_ / "st-nobody", fs::perms(01777));
    fs::permissions(folder_ / "plain", fs::perms(0777));
    ASSERT_EQ(::chown((folder_ / "st-nobody").c_str(), kNobody, kNobody), 0);
    Link("file.cfg", "st/nobody.json", kNobody);
    Link("file.cfg", "st/unnamed.json", kNoName);
    Link("absent.json", "st/dangling.json", kNobody);
    Link("file.cfg", "st/mine.json", 0);
    Link("st/nobody.json", "st/via-mine.json", 0);
    Link("", "st/dir", kNobody);
    Link("file.cfg", "st-nobody/owners.json", kNobody);
    Link("file.cfg", "plain/nobody.json", kNobody);
  }
  // A link at `name` to `target` in the test's folder, owned by `owner`.
  void Link(const std::string& target, const std::string& name, uid_t owner) {
    fs::create_symlink(folder_ / target, folder_ / name);
    ASSERT_EQ(::lchown((folder_ / name).c_str(), owner, owner), 0) << name;
  }
};

TEST_F(SharedFolderLinks, InspectFollowsOnlyTheCallersOrTheFolderOwnersLinks) {
  struct Case {
    std::string name;
    std::string refused;  // the link not followed, relative to the folder; empty when followed
    std::string owner;
  };
  const Case cases[] = {
      {"st/nobody.json", "st/nobody.json", "nobody"},  {"st/unnamed.json", "st/unnamed.json", "54321"},
      {"st/dangling.json", "st/dangling.json", "nobody"}, {"st/via-mine.json", "st/nobody.json", "nobody"},
      {"st/dir/file.cfg", "st/dir", "nobody"},          {"st/mine.json", "", ""},
      {"st-nobody/owners.json", "", ""},                {"plain/nobody.json", "", ""},
  };
  for (const Case& c : cases) {
    PathInfo info;
    const OsStatus status = SystemFiles().Inspect(Path(c.name), &info);
    if (c.refused.empty()) {
      EXPECT_TRUE(status.ok()) << c.name << ": " << status.message;
      EXPECT_EQ(PathToNative(info.target), (folder_ / "file.cfg").string()) << c.name;
      continue;
    }
    EXPECT_EQ(status.code, kLinkNotFollowed) << c.name;
    EXPECT_EQ(status.message, "a link owned by " + c.owner + " in a shared folder; not followed") << c.name;
    EXPECT_EQ(PathToNative(info.target), (folder_ / c.refused).string()) << c.name;
  }
  EXPECT_FALSE(fs::exists(folder_ / "absent.json"));
}

// A link planted on the way after the destination was inspected stops the creation and the replacement.
TEST_F(SharedFolderLinks, TemporaryAndReplacementCheckTheLinksAgain) {
  std::u16string temporary;
  FileHandle file = kNoFile;
  EXPECT_EQ(SystemFiles().CreateTemporary(Path("st/dir/out.json"), &temporary, &file).code, kLinkNotFollowed);
  ASSERT_TRUE(SystemFiles().CreateTemporary(Path("st/out.json"), &temporary, &file).ok());
  SystemFiles().Close(file);
  EXPECT_EQ(SystemFiles().Replace(temporary, Path("st/dir/out.json")).code, kLinkNotFollowed);
  EXPECT_EQ(SystemFiles().Replace(temporary, Path("st/nobody.json")).code, kLinkNotFollowed);
  EXPECT_FALSE(fs::exists(folder_ / "out.json"));
  EXPECT_TRUE(SystemFiles().Discard(temporary).ok());
  std::ifstream in(folder_ / "file.cfg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "content");
}

TEST_F(PlatformFiles, DevicesAndTheProcesssOwnStreamsAreOther) {
  PathInfo info;
  ASSERT_TRUE(SystemFiles().Inspect(u"/dev/null", &info).ok());
  EXPECT_EQ(info.kind, PathKind::kOther);
  // Standard output may be a pipe or a file: either way it is written as it is, never replaced.
  ASSERT_TRUE(SystemFiles().Inspect(u"/dev/stdout", &info).ok());
  EXPECT_EQ(info.kind, PathKind::kOther);
  EXPECT_EQ(info.target, u"/dev/stdout");
}

TEST_F(PlatformFiles, SameFileHoweverNamed) {
  fs::create_directories(folder_ / "sub");
  std::ofstream(folder_ / "other.cfg") << "content";
  fs::create_symlink(folder_ / "file.cfg", folder_ / "link.cfg");
  fs::create_hard_link(folder_ / "file.cfg", folder_ / "hard.cfg");
  for (const char* name : {"file.cfg", "link.cfg", "hard.cfg", "sub/../file.cfg", "./file.cfg"}) {
    EXPECT_TRUE(SameFile(Path("file.cfg"), Path(name))) << name;
  }
  EXPECT_FALSE(SameFile(Path("file.cfg"), Path("other.cfg")));
  EXPECT_FALSE(SameFile(Path("missing.cfg"), Path("missing.cfg")));
}

TEST_F(PlatformFiles, TemporaryLiesBesideTheDestinationAndGoesWhenDiscarded) {
  for (const std::string& name : {std::string("out.json"), std::string(250, 'l') + ".json"}) {
    std::u16string temporary;
    FileHandle file = kNoFile;
    ASSERT_TRUE(SystemFiles().CreateTemporary(Path(name), &temporary, &file).ok()) << name.size();
    SystemFiles().Close(file);
    const fs::path made = PathToNative(temporary);
    EXPECT_EQ(made.parent_path(), folder_);
    const std::string made_name = made.filename().string();
    const std::string prefix = '.' + name.substr(0, 20);
    EXPECT_EQ(made_name.rfind(prefix, 0), 0u) << made_name;
    EXPECT_EQ(made_name.size() - made_name.find(".recaster-"), 16u) << made_name;
    EXPECT_LE(made_name.size(), 255u);
    EXPECT_TRUE(fs::exists(made));
    EXPECT_TRUE(SystemFiles().Discard(temporary).ok());
    EXPECT_FALSE(fs::exists(made));
  }
  std::u16string temporary;
  FileHandle file = kNoFile;
  EXPECT_EQ(SystemFiles().CreateTemporary(Path("no-folder/out.json"), &temporary, &file).code, kPathNotFound);
}

#endif

TEST_F(PlatformFiles, ReplaceLeavesBothFilesWhenItFails) {
  std::u16string temporary;
  FileHandle file = kNoFile;
  ASSERT_TRUE(SystemFiles().CreateTemporary(Path("file.cfg"), &temporary, &file).ok());
  std::uint32_t written = 0;
  ASSERT_TRUE(SystemFiles().Write(file, "new", 3, &written).ok());
  SystemFiles().Close(file);
  FileHandle writer = kNoFile;
  ASSERT_TRUE(SystemFiles().CreateForWriting(Path("file.cfg"), &writer).ok());
  ASSERT_TRUE(SystemFiles().Write(writer, "content", 7, &written).ok());
  EXPECT_EQ(SystemFiles().Replace(temporary, Path("file.cfg")).code, kSharingViolation);
  SystemFiles().Close(writer);
  EXPECT_TRUE(fs::exists(PathToNative(temporary)));
  ASSERT_TRUE(SystemFiles().Replace(temporary, Path("file.cfg")).ok());
  EXPECT_FALSE(fs::exists(PathToNative(temporary)));
  std::ifstream in(folder_ / "file.cfg");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
}

#ifndef _WIN32
TEST(PlatformMessages, NameNoWindowsCode) {
  for (SystemError code : {kFileNotFound, kPathNotFound, kAccessDenied, kWriteProtect, kSharingViolation, kDiskFull,
                           kFilenameTooLong, kCantResolveName, kFileTooLarge, kGenFailure, SystemError{0xDEADBEEF}}) {
    const std::string text = DescribeSystemError(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find(std::to_string(code)), std::string::npos) << text;
  }
}

TEST(PlatformPaths, AbsolutePathResolvesTheFoldersOnTheWay) {
  const fs::path here = fs::current_path();
  EXPECT_EQ(PathToNative(AbsolutePath(u"out.json")), (fs::canonical(here) / "out.json").string());
  EXPECT_EQ(AbsolutePath(u"/dev/null"), u"/dev/null");
  EXPECT_EQ(PathToNative(AbsolutePath(u"/no-such-folder/x.json")), "/no-such-folder/x.json");
  EXPECT_TRUE(EndsWithSeparator(u"dir/"));
  EXPECT_FALSE(EndsWithSeparator(u"dir"));
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
#endif

}  // namespace
}  // namespace recaster::platform
