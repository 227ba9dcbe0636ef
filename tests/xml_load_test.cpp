// Loading settings files: statuses from real files and from a file system that fails on purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <new>
#include <string>

#include "platform/platform.h"
#include "tests/xml_test_files.h"
#include "xml/xml_document.h"

namespace {

// The loader allocates its file buffer with nothrow new[]; this test program watches that allocation
// and can make it fail. Memory still comes from the ordinary new[], so delete[] matches it.
bool g_fail_nothrow_arrays = false;
std::size_t g_largest_nothrow_array = 0;

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  g_largest_nothrow_array = std::max(g_largest_nothrow_array, size);
  if (g_fail_nothrow_arrays) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace recaster::xml {
namespace {

namespace fs = std::filesystem;
using platform::FileHandle;
using platform::OsStatus;

class XmlLoadFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("recaster-xml-load-" + std::to_string(std::random_device{}()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
    return Path(name);
  }
  std::u16string Path(const std::string& name) const { return platform::PathFromNative((folder_ / name).string()); }

  static XmlLoadResult Load(const std::u16string& path) {
    XmlDocument document(u"RIZavoza");
    return document.LoadWithResult(path);
  }

  fs::path folder_;
};

TEST_F(XmlLoadFiles, LoadsValidFileIntoTree) {
  XmlDocument document(u"RIZavoza");
  const std::u16string text = u"\r\n<Settings><Storage><FolderPath text=\"C:\\Logs\"/></Storage></Settings>\r\n";
  const std::u16string path = Write("ok.cfg", test_files::SettingsFile(text));
  EXPECT_EQ(document.Load(path), 0);
  EXPECT_EQ(document.Name(), u"Settings");
  EXPECT_EQ(document.FindChild(u"Storage").FindChild(u"FolderPath").GetAttribute(u"text"), u"C:\\Logs");
}

TEST_F(XmlLoadFiles, ReportsSystemCodesForMissingFileAndFolder) {
  const XmlLoadResult missing = Load(Path("missing.cfg"));
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.error, XmlError::kOpenFailed);
  EXPECT_EQ(missing.system_error, 2u);
  EXPECT_FALSE(missing.system_message.empty());
  EXPECT_EQ(Load(Path("no-folder/missing.cfg")).status, 3);
  EXPECT_EQ(Load(Path("")).status, 5);  // the folder itself
}

TEST_F(XmlLoadFiles, ReportsSharingViolationWhileAnotherOpenHoldsTheFile) {
  const std::string bytes = test_files::SettingsFile(u"<r></r>");
  const std::u16string path = Write("held.cfg", bytes);
  // A writer holds it shared with nobody (other readers would be welcome).
  FileHandle held = platform::kNoFile;
  ASSERT_TRUE(platform::SystemFiles().CreateForWriting(path, &held).ok());
  std::uint32_t written = 0;
  const auto size = static_cast<std::uint32_t>(bytes.size());
  ASSERT_TRUE(platform::SystemFiles().Write(held, bytes.data(), size, &written).ok());
  EXPECT_EQ(Load(path).status, 32);
  platform::SystemFiles().Close(held);
  EXPECT_EQ(Load(path).status, 0);
}

TEST_F(XmlLoadFiles, ChecksSizeMarkAndDeclaration) {
  const std::string valid = test_files::SettingsFile(u"<r></r>");
  std::string big_endian = "\xFE\xFF";
  for (char16_t unit : test_files::kDeclaration) big_endian += {static_cast<char>(unit >> 8), static_cast<char>(unit)};
  std::string utf8 = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?><r></r>";
  utf8 += std::string(100, ' ');
  struct Case {
    const char* name;
    std::string bytes;
    std::int32_t status;
    XmlError error;
  };
  const Case cases[] = {
      {"empty", "", -1, XmlError::kTooShort},
      {"one-byte", "\xFF", -1, XmlError::kTooShort},
      {"80-bytes", valid.substr(0, 80), -1, XmlError::kTooShort},
      {"81-bytes", valid.substr(0, 80) + "<", -1, XmlError::kNoElements},
      {"odd-byte", valid + "x", 0, XmlError::kNone},
      {"no-mark", "  " + valid.substr(2), -1, XmlError::kNoByteOrderMark},
      {"big-endian", big_endian + test_files::Utf16Le(u"<r></r>"), -1, XmlError::kNoByteOrderMark},
      {"utf-8", utf8, -1, XmlError::kNoByteOrderMark},
      {"lower-case", test_files::SettingsFile(u"<r></r>", u"<?xml version=\"1.0\" encoding=\"utf-16\"?>"), -1,
       XmlError::kBadDeclaration},
      {"leading-blank", test_files::SettingsFile(u"<r></r>", u" <?xml version=\"1.0\" encoding=\"UTF-16\"?>"), -1,
       XmlError::kBadDeclaration},
  };
  for (const Case& c : cases) {
    const XmlLoadResult result = Load(Write(c.name, c.bytes));
    EXPECT_EQ(result.status, c.status) << c.name;
    EXPECT_EQ(result.error, c.error) << c.name;
  }
}

TEST_F(XmlLoadFiles, PlacesRejectionInTheFile) {
  const XmlLoadResult result = Load(Write("bad.cfg", test_files::SettingsFile(u"\r\n<r>\r\n  <a x='1'/>\r\n</r>")));
  EXPECT_EQ(result.error, XmlError::kMalformedAttribute);
  EXPECT_EQ(result.line, 3u);
  EXPECT_EQ(result.column, 6u);
}

// A file system that fails where it is told to, and counts what the loader does with it.
class FakeFiles : public platform::FileSystem {
 public:
  OsStatus open;
  OsStatus size_status;
  std::uint64_t size = 200;
  OsStatus read_status;
  std::uint32_t deliver = UINT32_MAX;  // bytes a read delivers at most
  int reads = 0;
  int closes = 0;

  OsStatus OpenForReading(const std::u16string&, FileHandle* file) override {
    if (open.ok()) *file = 7;
    return open;
  }
  OsStatus FileSize(FileHandle, std::uint64_t* out) override {
    *out = size;
    return size_status;
  }
  OsStatus Read(FileHandle, void* buffer, std::uint32_t want, std::uint32_t* read) override {
    ++reads;
    const std::string bytes = test_files::SettingsFile(u"<r></r>") + std::string(200, ' ');
    *read = std::min({want, deliver, static_cast<std::uint32_t>(bytes.size())});
    std::copy_n(bytes.data(), *read, static_cast<char*>(buffer));
    return read_status;
  }
  OsStatus CreateForWriting(const std::u16string&, FileHandle*) override { return {platform::kAccessDenied, "no"}; }
  OsStatus Write(FileHandle, const void*, std::uint32_t, std::uint32_t*) override {
    return {platform::kAccessDenied, "no"};
  }
  void Close(FileHandle) override { ++closes; }
  void Sleep(std::uint32_t) override {}
};

XmlLoadResult LoadThrough(FakeFiles& files) {
  platform::ScopedFileSystem scope(files);
  XmlDocument document(u"RIZavoza");
  return document.LoadWithResult(u"C:\\ProgramData\\Ornvale\\ov_server_settings.cfg");
}

TEST(XmlLoad, ReadsWholeFileWithOneRequest) {
  FakeFiles files;
  EXPECT_EQ(LoadThrough(files).status, 0);
  EXPECT_EQ(files.reads, 1);
  EXPECT_EQ(files.closes, 1);
}

TEST(XmlLoad, ReturnsSystemCodesOfOpenSizeAndRead) {
  FakeFiles denied;
  denied.open = {platform::kAccessDenied, "Access is denied."};
  const XmlLoadResult result = LoadThrough(denied);
  EXPECT_EQ(result.status, 5);
  EXPECT_EQ(result.error, XmlError::kOpenFailed);
  EXPECT_EQ(DescribeLoadResult(result), "cannot open the file: Access is denied. (system error 5)");
  EXPECT_EQ(denied.closes, 0);

  FakeFiles no_size;
  no_size.size_status = {platform::kInvalidHandle, "bad handle"};
  EXPECT_EQ(LoadThrough(no_size).status, 6);
  EXPECT_EQ(no_size.closes, 1);

  FakeFiles read_fault;
  read_fault.read_status = {platform::kReadFault, "read fault"};
  EXPECT_EQ(LoadThrough(read_fault).status, 30);
  EXPECT_EQ(LoadThrough(read_fault).error, XmlError::kReadFailed);
  EXPECT_EQ(read_fault.closes, 2);
}

TEST(XmlLoad, ReportsShortReadAsEndOfFileNotSuccess) {
  FakeFiles files;
  files.deliver = 150;  // of 200, and the system says nothing is wrong
  const XmlLoadResult result = LoadThrough(files);
  EXPECT_EQ(result.status, 38);
  EXPECT_EQ(result.error, XmlError::kReadFailed);
  EXPECT_EQ(files.closes, 1);
}

TEST(XmlLoad, RefusesHugeFileBeforeAllocating) {
  for (std::uint64_t size : {std::uint64_t{kMaxFileSize} + 1, std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 200}) {
    FakeFiles files;
    files.size = size;
    g_largest_nothrow_array = 0;
    const XmlLoadResult result = LoadThrough(files);
    EXPECT_EQ(result.status, -1);
    EXPECT_EQ(result.error, XmlError::kTooLarge);
    EXPECT_EQ(g_largest_nothrow_array, 0u);
    EXPECT_EQ(files.reads, 0);
    EXPECT_EQ(files.closes, 1);
  }
}

TEST(XmlLoad, ReturnsFourteenWhenBufferCannotBeAllocated) {
  FakeFiles files;
  g_fail_nothrow_arrays = true;
  const XmlLoadResult result = LoadThrough(files);
  g_fail_nothrow_arrays = false;
  EXPECT_EQ(result.status, 14);
  EXPECT_EQ(result.error, XmlError::kOutOfMemory);
  EXPECT_EQ(files.reads, 0);
  EXPECT_EQ(files.closes, 1);
}

}  // namespace
}  // namespace recaster::xml
