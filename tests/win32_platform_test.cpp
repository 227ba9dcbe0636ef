// The Windows platform layer under Wine or Windows: path joining, special folders, file calls.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace recaster::platform {
namespace {

std::u16string KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::u16string out;
  if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path))) out.assign(path, path + ::wcslen(path));
  ::CoTaskMemFree(path);
  return out;
}

// A fresh file name in the temporary folder, removed again at the end of the test.
class TempFile {
 public:
  explicit TempFile(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    std::wstring path = std::wstring(folder) + name;
    path_.assign(path.begin(), path.end());
    ::DeleteFileW(path.c_str());
  }
  ~TempFile() { ::DeleteFileW(reinterpret_cast<const wchar_t*>(path_.c_str())); }
  const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
};

struct JoinCase {
  const char16_t* left;
  const char16_t* right;
  const char16_t* joined;
};

TEST(Win32JoinPath, SeparatesWithBackslashExceptAfterEmptyDriveOrSeparator) {
  const JoinCase cases[] = {
      {u"C:\\ProgramData", u"Ornvale", u"C:\\ProgramData\\Ornvale"},
      {u"C:\\ProgramData\\Ornvale", u"ov_server_settings.cfg", u"C:\\ProgramData\\Ornvale\\ov_server_settings.cfg"},
      {u"", u"ov_server_settings.cfg", u"ov_server_settings.cfg"},
      {u"C:", u"x.json", u"C:x.json"},
      {u"z:", u"x.json", u"z:x.json"},
      {u"C:\\", u"x.json", u"C:\\x.json"},
      {u"C:\\Users\\A\\Documents\\", u"x.json", u"C:\\Users\\A\\Documents\\x.json"},
      {u"C:/Users/A/Documents/", u"x.json", u"C:/Users/A/Documents/x.json"},
      {u"\\\\server\\share", u"x.json", u"\\\\server\\share\\x.json"},
      {u"1:", u"x.json", u"1:\\x.json"},    // not a drive letter
      {u"CC:", u"x.json", u"CC:\\x.json"},  // not a bare drive designator
      {u"Data", u"x.json", u"Data\\x.json"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinPath(c.left, c.right), c.joined) << "left: " << PathToNative(c.left);
  }
}

TEST(Win32SpecialFolder, AreTheShellsCommonAppDataAndDocuments) {
  std::u16string common;
  ASSERT_TRUE(GetSpecialFolder(SpecialFolder::kCommonAppData, &common));
  EXPECT_EQ(common, KnownFolder(FOLDERID_ProgramData));
  EXPECT_EQ(GetPathKind(common), PathKind::kDirectory);

  std::u16string documents;
  ASSERT_TRUE(GetSpecialFolder(SpecialFolder::kDocuments, &documents));
  EXPECT_EQ(documents, KnownFolder(FOLDERID_Documents));
  EXPECT_NE(documents, common);
}

TEST(Win32Files, WrittenBytesReadBack) {
  TempFile file(L"recaster-platform-roundtrip.bin");
  FileSystem& fs = SystemFiles();
  const std::string bytes = std::string("line\n\x00\xff", 7);
  {
    FileHandle handle = kNoFile;
    ASSERT_EQ(fs.CreateForWriting(file.path(), &handle).code, kSuccess);
    ScopedFile owned(fs, handle);
    std::uint32_t written = 0;
    ASSERT_EQ(fs.Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written).code, kSuccess);
    EXPECT_EQ(written, bytes.size());
  }
  FileHandle handle = kNoFile;
  ASSERT_EQ(fs.OpenForReading(file.path(), &handle).code, kSuccess);
  ScopedFile owned(fs, handle);
  std::uint64_t size = 0;
  ASSERT_EQ(fs.FileSize(handle, &size).code, kSuccess);
  EXPECT_EQ(size, bytes.size());
  std::string back(16, '?');
  std::uint32_t read = 0;
  ASSERT_EQ(fs.Read(handle, back.data(), 16, &read).code, kSuccess);
  back.resize(read);
  EXPECT_EQ(back, bytes);
}

TEST(Win32Files, OpenFailuresGiveTheSystemsCodes) {
  TempFile file(L"recaster-platform-missing.bin");
  FileSystem& fs = SystemFiles();
  FileHandle handle = kNoFile;
  OsStatus missing = fs.OpenForReading(file.path(), &handle);
  EXPECT_EQ(missing.code, kFileNotFound);
  EXPECT_FALSE(missing.message.empty());
  EXPECT_EQ(fs.OpenForReading(file.path() + u"\\below", &handle).code, kPathNotFound);
  EXPECT_EQ(fs.CreateForWriting(JoinPath(file.path(), u"below.json"), &handle).code, kPathNotFound);

  std::u16string folder;
  ASSERT_TRUE(GetSpecialFolder(SpecialFolder::kCommonAppData, &folder));
  EXPECT_EQ(fs.OpenForReading(folder, &handle).code, kAccessDenied);
  EXPECT_EQ(fs.CreateForWriting(folder, &handle).code, kAccessDenied);
}

TEST(Win32Files, FileHeldWithoutSharingIsASharingViolationAndKeepsItsContent) {
  TempFile file(L"recaster-platform-held.bin");
  FileSystem& fs = SystemFiles();
  FileHandle writer = kNoFile;
  ASSERT_EQ(fs.CreateForWriting(file.path(), &writer).code, kSuccess);
  std::uint32_t written = 0;
  ASSERT_EQ(fs.Write(writer, "kept", 4, &written).code, kSuccess);
  fs.Close(writer);

  FileHandle holder = kNoFile;
  ASSERT_EQ(fs.OpenForReading(file.path(), &holder).code, kSuccess);
  ScopedFile held(fs, holder);
  FileHandle other = kNoFile;
  EXPECT_EQ(fs.CreateForWriting(file.path(), &other).code, kSharingViolation);
  EXPECT_EQ(fs.OpenForReading(file.path(), &other).code, kSharingViolation);
  held.reset();

  std::uint64_t size = 0;
  ASSERT_EQ(fs.OpenForReading(file.path(), &holder).code, kSuccess);
  ScopedFile reopened(fs, holder);
  ASSERT_EQ(fs.FileSize(holder, &size).code, kSuccess);
  EXPECT_EQ(size, 4u);
}

TEST(Win32SystemError, DescribesWithoutTrailingLineBreak) {
  for (SystemError code : {kFileNotFound, kAccessDenied, kSharingViolation}) {
    const std::string text = DescribeSystemError(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_NE(text.back(), '\n') << code;
    EXPECT_NE(text.back(), '\r') << code;
  }
  EXPECT_EQ(DescribeSystemError(0xDEADBEEF), "System error 3735928559");
}

TEST(Win32PathKind, TellsFilesFoldersAndMissing) {
  TempFile file(L"recaster-platform-kind.bin");
  EXPECT_EQ(GetPathKind(file.path()), PathKind::kMissing);
  FileHandle handle = kNoFile;
  ASSERT_EQ(SystemFiles().CreateForWriting(file.path(), &handle).code, kSuccess);
  SystemFiles().Close(handle);
  EXPECT_EQ(GetPathKind(file.path()), PathKind::kRegularFile);
  std::u16string folder;
  ASSERT_TRUE(GetSpecialFolder(SpecialFolder::kCommonAppData, &folder));
  EXPECT_EQ(GetPathKind(folder), PathKind::kDirectory);
}

TEST(Win32NativePath, IsUtf8BothWays) {
  const std::u16string wide = u"C:\\Donn\u00e9es\\\U0001F600.cfg";
  const std::string utf8 = "C:\\Donn\xc3\xa9" "es\\\xf0\x9f\x98\x80.cfg";
  EXPECT_EQ(PathToNative(wide), utf8);
  EXPECT_EQ(PathFromNative(utf8), wide);
  EXPECT_EQ(PathFromNative("a\xff" "b"), u"a\uFFFDb");
  EXPECT_EQ(PathToNative(u"a\xD800" "b"), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(PathFromNative(""), u"");
}

}  // namespace
}  // namespace recaster::platform
