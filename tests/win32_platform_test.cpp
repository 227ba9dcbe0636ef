// The Windows platform layer under Wine or Windows: path joining, special folders, file calls, sharing,
// and the replacement of a destination by a temporary file.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

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

// Writes `bytes` to `path` through the layer, in place.
void Store(const std::u16string& path, std::string_view bytes) {
  FileSystem& fs = SystemFiles();
  FileHandle handle = kNoFile;
  ASSERT_EQ(fs.CreateForWriting(path, &handle).code, kSuccess);
  ScopedFile owned(fs, handle);
  std::uint32_t written = 0;
  ASSERT_EQ(fs.Write(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written).code, kSuccess);
}

// The whole content of `path`, read through the layer.
std::string Load(const std::u16string& path) {
  FileSystem& fs = SystemFiles();
  FileHandle handle = kNoFile;
  if (!fs.OpenForReading(path, &handle).ok()) return "<unreadable>";
  ScopedFile owned(fs, handle);
  std::string bytes(4096, '\0');
  std::uint32_t read = 0;
  EXPECT_TRUE(fs.Read(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &read).ok());
  bytes.resize(read);
  return bytes;
}

TEST(Win32Files, ReadersShareAWriterHoldsTheFileAlone) {
  TempFile file(L"recaster-platform-held.bin");
  Store(file.path(), "kept");
  FileSystem& fs = SystemFiles();

  FileHandle reader = kNoFile;
  ASSERT_EQ(fs.OpenForReading(file.path(), &reader).code, kSuccess);
  ScopedFile held(fs, reader);
  FileHandle other = kNoFile;
  ASSERT_EQ(fs.OpenForReading(file.path(), &other).code, kSuccess);  // a second reader is welcome
  fs.Close(other);
  EXPECT_EQ(fs.CreateForWriting(file.path(), &other).code, kSharingViolation);
  held.reset();
  EXPECT_EQ(Load(file.path()), "kept");

  FileHandle writer = kNoFile;
  ASSERT_EQ(fs.CreateForWriting(file.path(), &writer).code, kSuccess);
  ScopedFile writing(fs, writer);
  EXPECT_EQ(fs.OpenForReading(file.path(), &other).code, kSharingViolation);
}

TEST(Win32Files, InspectTellsFilesFoldersDevicesAndOneFileByItsId) {
  TempFile file(L"recaster-platform-inspect.bin");
  TempFile link(L"recaster-platform-inspect-link.bin");
  FileSystem& fs = SystemFiles();
  PathInfo info;
  ASSERT_EQ(fs.Inspect(file.path(), &info).code, kSuccess);
  EXPECT_EQ(info.kind, PathKind::kMissing);
  EXPECT_EQ(fs.Inspect(file.path() + u"\\below", &info).code, kPathNotFound);
  Store(file.path(), "x");
  ASSERT_EQ(fs.Inspect(file.path(), &info).code, kSuccess);
  EXPECT_EQ(info.kind, PathKind::kRegularFile);
  EXPECT_EQ(info.target, file.path());
  ASSERT_EQ(fs.Inspect(u"NUL", &info).code, kSuccess);
  EXPECT_EQ(info.kind, PathKind::kOther);

  ASSERT_TRUE(::CreateHardLinkW(reinterpret_cast<const wchar_t*>(link.path().c_str()),
                                reinterpret_cast<const wchar_t*>(file.path().c_str()), nullptr));
  EXPECT_TRUE(SameFile(file.path(), link.path()));
  std::u16string folder;
  ASSERT_TRUE(GetSpecialFolder(SpecialFolder::kCommonAppData, &folder));
  EXPECT_FALSE(SameFile(file.path(), folder));
  EXPECT_FALSE(SameFile(file.path() + u".missing", file.path() + u".missing"));
}

TEST(Win32Files, TemporaryTakesTheDestinationsPlaceWithItsAttributes) {
  TempFile file(L"recaster-platform-replace.json");
  Store(file.path(), "old");
  ::SetFileAttributesW(reinterpret_cast<const wchar_t*>(file.path().c_str()), FILE_ATTRIBUTE_HIDDEN);
  FileSystem& fs = SystemFiles();
  std::u16string temporary;
  FileHandle handle = kNoFile;
  ASSERT_EQ(fs.CreateTemporary(file.path(), &temporary, &handle).code, kSuccess);
  EXPECT_NE(temporary.find(u"\\.recaster-platform-replace.json.recaster-"), std::u16string::npos);
  std::uint32_t written = 0;
  ASSERT_EQ(fs.Write(handle, "new", 3, &written).code, kSuccess);
  ASSERT_EQ(fs.Flush(handle).code, kSuccess);
  fs.Close(handle);
  ASSERT_EQ(fs.Replace(temporary, file.path()).code, kSuccess);
  EXPECT_EQ(GetPathKind(temporary), PathKind::kMissing);
  EXPECT_EQ(Load(file.path()), "new");
  const DWORD attributes = ::GetFileAttributesW(reinterpret_cast<const wchar_t*>(file.path().c_str()));
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  ::SetFileAttributesW(reinterpret_cast<const wchar_t*>(file.path().c_str()), FILE_ATTRIBUTE_NORMAL);
}

// Wine gives a test run no console to send Ctrl+C or Ctrl+Break through (GenerateConsoleCtrlEvent fails
// with ERROR_INVALID_ACCESS there), so the handler the system would call is called here directly, on a
// temporary half written.
TEST(Win32Files, ConsoleEventsRemoveTheTemporaryBeingWritten) {
  TempFile file(L"recaster-platform-console.json");
  Store(file.path(), "old");
  FileSystem& fs = SystemFiles();
  for (const DWORD event : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}, DWORD{CTRL_CLOSE_EVENT}}) {
    std::u16string temporary;
    FileHandle handle = kNoFile;
    ASSERT_EQ(fs.CreateTemporary(file.path(), &temporary, &handle).code, kSuccess);
    std::uint32_t written = 0;
    ASSERT_EQ(fs.Write(handle, "ne", 2, &written).code, kSuccess);
    EXPECT_FALSE(win32::RemoveTemporariesOnConsoleEvent(event)) << "the system's handler must end the process";
    fs.Close(handle);  // the process's end closes it
    EXPECT_EQ(GetPathKind(temporary), PathKind::kMissing) << event;
    EXPECT_EQ(Load(file.path()), "old");
    static_cast<void>(fs.Discard(temporary));  // forgotten, as the process would have ended
  }
}

TEST(Win32Files, ReplacementRefusedLeavesBothFiles) {
  TempFile file(L"recaster-platform-refused.json");
  Store(file.path(), "old");
  FileSystem& fs = SystemFiles();
  std::u16string temporary;
  FileHandle handle = kNoFile;
  ASSERT_EQ(fs.CreateTemporary(file.path(), &temporary, &handle).code, kSuccess);
  fs.Close(handle);

  // Held by a writer that shares nothing: a sharing violation.
  FileHandle writer = kNoFile;
  ASSERT_EQ(fs.CreateForWriting(file.path(), &writer).code, kSuccess);
  std::uint32_t written = 0;
  ASSERT_TRUE(fs.Write(writer, "old", 3, &written).ok());
  EXPECT_EQ(fs.Replace(temporary, file.path()).code, kSharingViolation);
  fs.Close(writer);

  // The read-only attribute: access denied, as writing in place was.
  const auto* wide = reinterpret_cast<const wchar_t*>(file.path().c_str());
  ::SetFileAttributesW(wide, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(fs.Replace(temporary, file.path()).code, kAccessDenied);
  ::SetFileAttributesW(wide, FILE_ATTRIBUTE_NORMAL);

  EXPECT_EQ(Load(file.path()), "old");
  EXPECT_EQ(GetPathKind(temporary), PathKind::kRegularFile);
  EXPECT_EQ(fs.Discard(temporary).code, kSuccess);
  EXPECT_EQ(GetPathKind(temporary), PathKind::kMissing);

  // A file open for reading cannot be replaced on Windows either: held like a writer's, then free.
  ASSERT_EQ(fs.CreateTemporary(file.path(), &temporary, &handle).code, kSuccess);
  ASSERT_TRUE(fs.Write(handle, "new", 3, &written).ok());
  fs.Close(handle);
  FileHandle reader = kNoFile;
  ASSERT_EQ(fs.OpenForReading(file.path(), &reader).code, kSuccess);
  EXPECT_EQ(fs.Replace(temporary, file.path()).code, kSharingViolation);
  EXPECT_EQ(Load(file.path()), "old");
  fs.Close(reader);
  EXPECT_EQ(fs.Replace(temporary, file.path()).code, kSuccess);
  EXPECT_EQ(Load(file.path()), "new");
}

TEST(Win32Paths, AbsoluteAndSeparators) {
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  const std::u16string here(current, current + ::wcslen(current));
  EXPECT_EQ(AbsolutePath(u"out.json"), JoinPath(here, u"out.json"));
  EXPECT_TRUE(EndsWithSeparator(u"C:\\Data\\"));
  EXPECT_TRUE(EndsWithSeparator(u"C:/Data/"));
  EXPECT_FALSE(EndsWithSeparator(u"C:\\Data"));
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

TEST(Win32SystemError, FillsTheInsertsWithTheThingNamed) {
  // The text of a program the shell cannot start names it; an insert left as "%1" tells the user nothing.
  const std::string text = DescribeSystemError(ERROR_BAD_EXE_FORMAT, "C:\\Reports\\srv 100%.html");
  EXPECT_NE(text.find("C:\\Reports\\srv 100%.html"), std::string::npos) << text;
  EXPECT_EQ(text.find("%1"), std::string::npos) << text;
  EXPECT_EQ(DescribeSystemError(kFileNotFound, "x"), DescribeSystemError(kFileNotFound));
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
