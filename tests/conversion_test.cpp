// One conversion's core: the default paths, building the tree from a version 5 file, and the notes
// on what is not carried over.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "convert/convert.h"
#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"

namespace recaster::convert {
namespace {

#ifndef _WIN32
// Sets (or, with nullopt, removes) an environment variable while it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(DefaultPaths, InputIsInTheOrnvaleFolderOfMachineWideData) {
  EXPECT_EQ(DefaultInputPath(), u"/var/lib/Ornvale/ov_server_settings.cfg");
}

TEST(DefaultPaths, OutputIsInTheDocumentsFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent-recaster-config");
  ScopedEnv documents("XDG_DOCUMENTS_DIR", "/home/a/Documents");
  EXPECT_EQ(DefaultOutputPath(), u"/home/a/Documents/converted_ov_config.json");
}

TEST(DefaultPaths, OutputIsTheBareFileNameWithoutADocumentsFolder) {
  ScopedEnv config("XDG_CONFIG_HOME", "/nonexistent-recaster-config");
  ScopedEnv documents("XDG_DOCUMENTS_DIR", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(DefaultOutputPath(), u"converted_ov_config.json");
}
#endif

// --- building the tree from a file ---

class ConversionFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("recaster_conversion_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
               "_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Saves the document as a version 5 file and gives its path.
  std::u16string SaveAsFile(const settings::COVSettings& document) {
    xml::XmlNode root(u"RIZavoza");
    document.Save(root);
    const auto path = folder_ / "ov_server_settings.cfg";
    EXPECT_TRUE(recaster::testing::WriteBytesToFile(path.string(), recaster::testing::WriteXmlFile(root)));
    return platform::PathFromNative(path.string());
  }

  std::filesystem::path folder_;
};

std::vector<std::string> Lines(const std::vector<ConversionNote>& notes) {
  std::vector<std::string> lines;
  for (const ConversionNote& note : notes) lines.push_back(FormatNote(note));
  return lines;
}

TEST_F(ConversionFiles, MissingSourceIsNotConverted) {
  const ConversionResult result = BuildConfigTree(platform::PathFromNative((folder_ / "none.cfg").string()));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.load.status, 2);
  EXPECT_EQ(result.load.error, xml::XmlError::kOpenFailed);
  EXPECT_TRUE(result.tree.empty());
  EXPECT_TRUE(ConversionNotes(result).empty());
  EXPECT_EQ(result.document, nullptr);
}

TEST_F(ConversionFiles, SourceThatIsNotAVersion5FileIsNotConverted) {
  const auto path = folder_ / "notes.txt";
  std::ofstream(path, std::ios::binary) << std::string(200, 'x');
  const ConversionResult result = BuildConfigTree(platform::PathFromNative(path.string()));
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.load.error, xml::XmlError::kNoByteOrderMark);
  EXPECT_TRUE(result.tree.empty());
}

TEST_F(ConversionFiles, DefaultFileConvertsToTheDefaultConfiguration) {
  const ConversionResult result = BuildConfigTree(SaveAsFile(settings::COVSettings()));
  ASSERT_TRUE(result.ok()) << xml::DescribeLoadResult(result.load);
  std::vector<std::string> keys;
  for (const auto& member : result.tree) keys.push_back(member.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"network", "storage"}));
  EXPECT_EQ(Lines(ConversionNotes(result)),
            std::vector<std::string>{"Storage.KeepPeriod: empty, so keep_days is 1 (one day of logs): check the retention you want"});

  const auto out = folder_ / "converted_ov_config.json";
  ASSERT_EQ(WriteConfigFile(result.tree, platform::PathFromNative(out.string())), 0u);
  std::ifstream in(out, std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_EQ(text, ConfigTreeToJson(result.tree));
  EXPECT_TRUE(text.ends_with("        \"hours_per_file\": \"24\"\n    }\n}\n")) << text;
}

TEST_F(ConversionFiles, LoadedValuesReachTheTreeAndTheNotes) {
  settings::COVSettings doc;
  doc.Network.UdpPort.SetValue(1514);
  doc.Network.Ipv6.SetValue(false);
  doc.NetworkEx.MaxPacketSize.SetValue(70000);
  doc.NetworkEx.DropLargePackets.SetValue(true);
  doc.Storage.KeepPeriod.Resize(1);
  doc.Storage.KeepPeriod[0].SetValue(45);
  doc.Dns.CacheDns.SetValue(24);
  doc.RemConn.Password.SetValue(u"hunter2");
  doc.Backup.Schedule.Times.Resize(1);
  doc.EmailAlerts.Alerts.Resize(2);
  const ConversionResult result = BuildConfigTree(SaveAsFile(doc));
  ASSERT_TRUE(result.ok()) << xml::DescribeLoadResult(result.load);
  EXPECT_EQ(result.tree.get<std::string>("storage.keep_days"), "45");
  const tree::ConfigTree& udp = result.tree.get_child("network.interfaces").begin()->second;
  EXPECT_EQ(udp.get<std::string>("port"), "1514");
  EXPECT_EQ(udp.get<std::string>("max_msg_len"), "65535");
  EXPECT_EQ(Lines(ConversionNotes(result)),
            (std::vector<std::string>{
                "NetworkEx.MaxPacketSize: 70000 is above the version 6 maximum; written as 65535",
                "RemConn.Password: set (default not set), not carried over",
                "NetworkEx.DropLargePackets: yes (default no), not carried over",
                "Dns.CacheDns: 24 (default 168), not carried over",
                "Backup.Schedule.Times: 1 item (default empty), not carried over",
                "EmailAlerts.Alerts: 2 items (default empty), not carried over",
            }));
}

TEST_F(ConversionFiles, ThePlanViewsTheDocumentTheResultOwnsAfterAMove) {
  settings::COVSettings doc;
  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Network.Ipv4BindAddr.SetValue(u"192.0.2.1");
  doc.Dns.CacheDns.SetValue(24);
  ConversionResult built = BuildConfigTree(SaveAsFile(doc));
  ASSERT_TRUE(built.ok()) << xml::DescribeLoadResult(built.load);
  const ConversionResult moved = std::move(built);
  EXPECT_EQ(moved.plan.network.udp.at(0).addr.data(), moved.document->Network.Ipv4BindAddr.Value().data());
  EXPECT_EQ(moved.plan.keep_period, &moved.document->Storage.KeepPeriod);
  EXPECT_EQ(Lines(ConversionNotes(moved)).back(), "Dns.CacheDns: 24 (default 168), not carried over");
}

TEST(NotCarriedOver, FreshDocumentLeavesNothingBehind) { EXPECT_TRUE(NotCarriedOver(settings::COVSettings()).empty()); }

TEST(NotCarriedOver, SkipsWhatTheMappingCarries) {
  settings::COVSettings doc;
  doc.Network.Tcp.SetValue(true);
  doc.Network.SocketBufferSize.SetValue(1);
  doc.NetworkEx.MaxTcpClients.SetValue(5);
  doc.NetworkEx.SeparateTcpStreamWithCRLF.SetValue(false);
  doc.NetworkEx.MaxPacketSize.SetValue(1);
  doc.Storage.KeepPeriod.Resize(3);
  EXPECT_TRUE(NotCarriedOver(doc).empty());
}

TEST(NotCarriedOver, NamesSecretsWithoutTheirValues) {
  settings::COVSettings doc;
  doc.Emailer.Password.SetValue(u"s3cret");
  doc.RemConn.Password.SetValue(u"other");
  doc.ExportToDb.ExporterToDb.ConnString.SetValue(u"Server=db;Password=s3cret");
  const std::vector<ConversionNote> notes = NotCarriedOver(doc);
  ASSERT_EQ(notes.size(), 3u);
  EXPECT_EQ(notes[0].setting, "RemConn.Password");
  EXPECT_EQ(notes[1].setting, "ExportToDb.ExporterToDb.ConnString");
  EXPECT_EQ(notes[2].setting, "Emailer.Password");
  for (const ConversionNote& note : notes) {
    EXPECT_EQ(note.text.find("s3cret"), std::string::npos) << note.text;
    EXPECT_EQ(note.text.find("other"), std::string::npos) << note.text;
  }
}

TEST(NotCarriedOver, SpeaksTheReportsWordsForEachKindOfValue) {
  const struct {
    void (*set)(settings::COVSettings&);
    std::string note;
  } cases[] = {
      {[](settings::COVSettings& d) { d.Processing.DefSeverity.SetValue(3); },
       "Processing.DefSeverity: Error (3) (default Debug (7)), not carried over"},
      {[](settings::COVSettings& d) { d.Processing.NonPrintCustomChar.SetValue(95); },
       "Processing.NonPrintCustomChar: 95 (\"_\") (default 46 (\".\")), not carried over"},
      {[](settings::COVSettings& d) { d.ExportToText.ExporterToText.MaxFileSizeKB.SetValue(20); },
       "ExportToText.ExporterToText.MaxFileSizeKB: 20 kilobytes (default 10240 kilobytes), not carried over"},
      {[](settings::COVSettings& d) { d.ExportToText.Filter.Value().severityCheck = true, d.ExportToText.Filter.Value().severityMask = 3; },
       "ExportToText.Filter: severity Emergency, Alert (mask 3) (default all messages), not carried over"},
      {[](settings::COVSettings& d) { d.Grid.DetailsStyle.SetValue(u"x"); },
       "Grid.DetailsStyle: \"x\" (default 655 characters), not carried over"},
      {[](settings::COVSettings& d) { d.ExportToDb.ExporterToDb.ConnString.SetValue(u"Server=db;Password=s3cret"); },
       "ExportToDb.ExporterToDb.ConnString: \"Server=db;Password=********\" (default empty), not carried over"},
  };
  for (const auto& c : cases) {
    settings::COVSettings doc;
    c.set(doc);
    EXPECT_EQ(Lines(NotCarriedOver(doc)), std::vector<std::string>{c.note});
  }
}

TEST(NotCarriedOver, ShowsShortTextsAndOnlyTheLengthOfLongOnes) {
  settings::COVSettings doc;
  doc.Storage.FolderPath.SetValue(u"D:\\Logs");
  doc.Backup.Subfolder.SetValue(u"");
  doc.ExportToText.ExporterToText.FileHeader.SetValue(u"line one\r\nline two");
  doc.General.LogKeepPeriod.SetValue(-1);
  EXPECT_EQ(Lines(NotCarriedOver(doc)),
            (std::vector<std::string>{
                "General.LogKeepPeriod: -1 (default 14), not carried over",
                "Storage.FolderPath: \"D:\\Logs\" (default empty), not carried over",
                "Backup.Subfolder: empty (default \"$yyy-$M-$d\"), not carried over",
                "ExportToText.ExporterToText.FileHeader: 18 characters (default empty), not carried over",
            }));
}

}  // namespace
}  // namespace recaster::convert
