// The one walk over a settings document, and the readers built on it: what a setting added to a group
// table gets from them without any change to the readers.
#include <gtest/gtest.h>

#include <boost/json.hpp>
#include <string>
#include <vector>

#include "cli/settings_json.h"
#include "convert/convert.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"

namespace recaster::settings {
namespace {

// Every event of a walk, one line each: "value PATH", "begin PATH", "end PATH".
class Recorder final : public SettingVisitor {
 public:
  std::vector<std::string> lines;
  std::vector<std::string> secrets;
  std::string skip;  // a group or list whose contents are skipped

  void Value(const SettingView& s) override {
    lines.push_back("value " + s.Path());
    if (s.IsSecret()) secrets.push_back(s.Path());
  }
  bool Begin(const SettingView& s) override {
    lines.push_back("begin " + s.Path());
    return s.Path() != skip;
  }
  void End(const SettingView& s) override { lines.push_back("end " + s.Path()); }

  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
};

TEST(SettingWalk, VisitsEverySettingInDocumentOrderWithItsPath) {
  COVSettings doc;
  doc.EmailAlerts.Alerts.Resize(2);
  doc.Storage.KeepPeriod.Resize(1);
  Recorder walk;
  WalkSettings(doc, walk);
  ASSERT_FALSE(walk.lines.empty());
  EXPECT_EQ(walk.lines.front(), "begin Processing");
  EXPECT_EQ(walk.lines[1], "value Processing.DefSeverity");
  EXPECT_EQ(walk.lines.back(), "end SyslogForwarders");
  EXPECT_TRUE(walk.Has("value Backup.Schedule.DayMask"));
  EXPECT_TRUE(walk.Has("begin Backup.Schedule.Times"));
  EXPECT_TRUE(walk.Has("value Storage.KeepPeriod[0]"));
  EXPECT_TRUE(walk.Has("begin EmailAlerts.Alerts[1]"));
  EXPECT_TRUE(walk.Has("value EmailAlerts.Alerts[1].Filter"));
  EXPECT_TRUE(walk.Has("value ExportToDb.filter"));
  // Items come in list order, each closed before the next.
  const auto first = std::find(walk.lines.begin(), walk.lines.end(), "end EmailAlerts.Alerts[0]");
  const auto second = std::find(walk.lines.begin(), walk.lines.end(), "begin EmailAlerts.Alerts[1]");
  EXPECT_LT(first, second);
}

TEST(SettingWalk, SecretsAreTheTwoPasswordsAndTheConnectionString) {
  const COVSettings doc;
  Recorder walk;
  WalkSettings(doc, walk);
  EXPECT_EQ(walk.secrets, (std::vector<std::string>{"RemConn.Password", "ExportToDb.ExporterToDb.ConnString",
                                                    "Emailer.Password"}));
}

TEST(SettingWalk, BeginFalseSkipsTheContentsAndTheEnd) {
  const COVSettings doc;
  Recorder walk;
  walk.skip = "Backup";
  WalkSettings(doc, walk);
  EXPECT_TRUE(walk.Has("begin Backup"));
  EXPECT_FALSE(walk.Has("end Backup"));
  EXPECT_FALSE(walk.Has("value Backup.Enable"));
  EXPECT_FALSE(walk.Has("begin Backup.Schedule"));
  EXPECT_TRUE(walk.Has("begin ExportToText"));
}

TEST(SettingWalk, DefaultsAreTheTablesAndTheInitialFilter) {
  COVSettings doc;
  const auto is_default = [](const Var_t& var) { return SettingView(var, "", std::nullopt, 0).IsDefault(); };
  EXPECT_TRUE(is_default(doc.Backup));
  EXPECT_TRUE(is_default(doc.Format.FirstWeekDay));
  EXPECT_TRUE(is_default(doc.Grid.DetailsStyle));

  doc.Backup.Schedule.EveryWeek.SetValue(2);
  EXPECT_FALSE(is_default(doc.Backup.Schedule.EveryWeek));
  EXPECT_FALSE(is_default(doc.Backup));  // a nested setting makes its groups differ
  doc.Backup.Schedule.EveryWeek.SetValue(1);
  doc.Backup.Schedule.Times.Resize(1);
  EXPECT_FALSE(is_default(doc.Backup));  // so does a list that is not empty

  doc.ExportToText.Filter.Value().name = u"named";
  EXPECT_FALSE(is_default(doc.ExportToText.Filter));
  doc.ExportToText.Filter.Value().name.clear();
  doc.ExportToText.Filter.Value().severityMask = 7;
  EXPECT_FALSE(is_default(doc.ExportToText.Filter));
}

// Units and secrecy as the tables give them; a list's items take the list's unit.
class UnitRecorder final : public SettingVisitor {
 public:
  std::vector<std::string> lines;

  void Value(const SettingView& s) override {
    if (s.GetUnit() != Unit::kNone) lines.push_back(s.Path() + " " + std::to_string(static_cast<int>(s.GetUnit())));
    if (s.TextSecrecy() != Secrecy::kShown) lines.push_back(s.Path() + " secrecy " + std::to_string(static_cast<int>(s.TextSecrecy())));
  }
  bool Begin(const SettingView& s) override { return s.GetUnit() == Unit::kNone; }
  void End(const SettingView&) override {}
};

TEST(SettingWalk, UnitsAndSecrecyComeFromTheTables) {
  COVSettings doc;
  doc.Storage.KeepPeriod.Resize(2);
  doc.Backup.Schedule.Times.Resize(1);
  doc.Grid.Colors.Resize(1);
  UnitRecorder walk;
  WalkSettings(doc, walk);
  const auto n = [](Unit u) { return " " + std::to_string(static_cast<int>(u)); };
  const auto secrecy = [](Secrecy s) { return " secrecy " + std::to_string(static_cast<int>(s)); };
  EXPECT_EQ(walk.lines, (std::vector<std::string>{
                            "Processing.DefSeverity" + n(Unit::kSeverity),
                            "Processing.DefFacility" + n(Unit::kFacility),
                            "Processing.NonPrintCustomChar" + n(Unit::kCharacter),
                            "Grid.Colors[0].TextColor" + n(Unit::kColour),
                            "Grid.Colors[0].BackColor" + n(Unit::kColour),
                            "Storage.KeepPeriod[0]" + n(Unit::kDays),
                            "Storage.KeepPeriod[1]" + n(Unit::kDays),
                            "RemConn.Password" + secrecy(Secrecy::kSecret),
                            "ExportToText.ExporterToText.MaxFileSizeKB" + n(Unit::kKilobytes),
                            "ExportToDb.ExporterToDb.ConnString" + secrecy(Secrecy::kConnectionString),
                            "Emailer.Password" + secrecy(Secrecy::kSecret),
                        }));  // Backup.Schedule.Times[0] has none: the tables give its items no unit
}

TEST(SettingWalk, PathOfFindsASettingByIdentity) {
  const COVSettings doc;
  EXPECT_EQ(PathOf(doc, doc.Network.UdpPort), "Network.UdpPort");
  EXPECT_EQ(PathOf(doc, doc.Backup.Schedule.Times), "Backup.Schedule.Times");
  EXPECT_EQ(PathOf(doc, doc.Dns), "Dns");
  const COVSettings other;
  EXPECT_EQ(PathOf(doc, other.Network.UdpPort), "");
}

// A group that exists only here: one ordinary and one secret setting.
class VarExtra_g : public VarGroup_t {
 public:
  VarInt_t Level{u"Level", 3, 0, 9};
  VarStr_t Token{u"Token", u"", Secrecy::kSecret};

  VarExtra_g() : VarGroup_t(u"Extra", 0) { SetChildren({&Level, &Token}); }
  ~VarExtra_g() override = default;
};

// The server document with one more group registered after the others.
class ExtendedSettings : public COVSettings {
 public:
  VarExtra_g Extra;
  ExtendedSettings() { AddGroups({&Extra}); }
};

TEST(SettingWalk, ANewSettingReachesShowTheNotesAndTheReportWithoutChangingThem) {
  ExtendedSettings doc;
  doc.Extra.Level.SetValue(5);
  doc.Extra.Token.SetValue(u"s3cret");

  Recorder walk;
  WalkSettings(doc, walk);
  EXPECT_TRUE(walk.Has("value Extra.Level"));
  EXPECT_EQ(walk.secrets.back(), "Extra.Token");

  const boost::json::value shown = boost::json::parse(cli::SettingsToJson(doc, false));
  EXPECT_EQ(shown.at("Extra").at("Level"), 5);
  EXPECT_EQ(shown.at("Extra").at("Token"), "********");
  const boost::json::value clear = boost::json::parse(cli::SettingsToJson(doc, true));
  EXPECT_EQ(clear.at("Extra").at("Token"), "s3cret");

  std::vector<std::string> notes;
  for (const auto& note : convert::NotCarriedOver(doc)) notes.push_back(convert::FormatNote(note));
  EXPECT_EQ(notes, (std::vector<std::string>{"Extra.Level: 5 (default 3), not carried over",
                                             "Extra.Token: set (default not set), not carried over"}));

  const report::Report report = report::BuildReport(doc, mapping::MakePlan(doc), u"extended.cfg");
  const std::string text = report::ToMarkdown(std::span<const report::Report>(&report, 1));
  EXPECT_NE(text.find("### Extra\n\n- [ ] `Extra.Level`: 5 (default 3)\n- [ ] `Extra.Token`: set (default not set)\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
}

}  // namespace
}  // namespace recaster::settings
