// The settings groups and documents: defaults, element form, document loading and file loading.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"

namespace recaster::settings {
namespace {

using xml::XmlNode;

std::vector<std::u16string> Keys(const std::vector<Var_t*>& members) {
  std::vector<std::u16string> keys;
  for (const Var_t* m : members) keys.push_back(m->GetKey());
  return keys;
}

std::vector<std::u16string> ChildNames(const XmlNode& node) {
  std::vector<std::u16string> names;
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) names.push_back(node.ChildAt(i).Name());
  return names;
}

// --- a generic walk that gives every setting a value other than its default ---

void MakeNonDefault(Var_t& var, int seed);

xml::MessageFilter NonDefaultFilter(const std::u16string& name, int seed) {
  xml::MessageFilter f;
  f.name = name;
  f.negation = f.severityCheck = f.facilityCheck = f.sourceCheck = f.originCheck = f.tagCheck = true;
  f.messageCheck = true;
  f.severityMask = 3 + seed;
  f.facilityMask = 0x100 + seed;
  f.sources = {u"10.0.0." + std::u16string(1, static_cast<char16_t>(u'0' + seed % 10)), u"host"};
  f.origins = {u"origin <1>"};
  f.originMatch = {true, true, true};
  f.tags = {u"sshd", u"\"quoted\""};
  f.tagMatch = {true, false, true};
  f.content = u"a & b";
  f.contentMatch = {false, true, false};
  f.wildcardType = 1 + seed;
  return f;
}

template <typename T>
bool FillList(Var_t& var, int seed) {
  auto* list = dynamic_cast<VarVec_t<T>*>(&var);
  if (list == nullptr) return false;
  list->Resize(2 + static_cast<std::uint32_t>(seed % 2));
  for (std::uint32_t i = 0; i < list->Count(); ++i) {
    if constexpr (std::is_same_v<T, VarInt_t>) {
      (*list)[i].SetValue(30 * static_cast<std::int32_t>(i + 1) + seed);
    } else {
      MakeNonDefault((*list)[i], seed + static_cast<int>(i));
    }
  }
  return true;
}

void MakeNonDefault(Var_t& var, int seed) {
  if (auto* v = dynamic_cast<VarInt_t*>(&var)) {
    v->SetValue(v->Default() + 1 + seed);
  } else if (auto* b = dynamic_cast<VarBool_t*>(&var)) {
    b->SetValue(!b->Default());
  } else if (auto* s = dynamic_cast<VarStr_t*>(&var)) {
    s->SetValue(std::u16string(s->Default()) + u" <changed> & \"" + var.GetKey() + u"\"");
  } else if (auto* f = dynamic_cast<VarSF_t*>(&var)) {
    f->Value() = NonDefaultFilter(u"filter of " + var.GetKey(), seed);
  } else if (auto* g = dynamic_cast<VarGroup_t*>(&var)) {
    for (Var_t* child : g->Children()) MakeNonDefault(*child, seed);
  } else {
    const bool filled = FillList<VarInt_t>(var, seed) || FillList<VarColor_t>(var, seed) ||
                        FillList<VarEmailAlert_t>(var, seed) || FillList<VarSyslogForwarder_t>(var, seed);
    ASSERT_TRUE(filled) << "a list of an unknown item type";
  }
}

void MakeNonDefault(CSTSettings3& doc) {
  for (Var_t* group : doc.Groups()) MakeNonDefault(*group, 0);
}

// Counts the leaves of `changed` and checks that each differs from the same leaf of `fresh`.
void ExpectEveryLeafDiffers(const Var_t& changed, const Var_t& fresh, int& leaves) {
  if (auto* g = dynamic_cast<const VarGroup_t*>(&changed)) {
    const auto& other = dynamic_cast<const VarGroup_t&>(fresh).Children();
    ASSERT_EQ(g->Children().size(), other.size());
    for (std::size_t i = 0; i < other.size(); ++i) ExpectEveryLeafDiffers(*g->Children()[i], *other[i], leaves);
  } else if (auto* l = dynamic_cast<const VarList_t*>(&changed)) {
    EXPECT_GT(l->ItemCount(), 0u) << "list " << std::string(changed.GetKey().begin(), changed.GetKey().end());
    EXPECT_FALSE(changed.IsEqual(fresh));
    ++leaves;
  } else {
    EXPECT_FALSE(changed.IsEqual(fresh)) << std::string(changed.GetKey().begin(), changed.GetKey().end());
    ++leaves;
  }
}

void ExpectEqualDocuments(const CSTSettings3& a, const CSTSettings3& b) {
  ASSERT_EQ(a.Groups().size(), b.Groups().size());
  for (std::size_t i = 0; i < a.Groups().size(); ++i) {
    EXPECT_TRUE(a.Groups()[i]->IsEqual(*b.Groups()[i]))
        << "group " << std::string(a.Groups()[i]->GetKey().begin(), a.Groups()[i]->GetKey().end());
  }
}

bool EqualDocuments(const CSTSettings3& a, const CSTSettings3& b) {
  for (std::size_t i = 0; i < a.Groups().size(); ++i) {
    if (!a.Groups()[i]->IsEqual(*b.Groups()[i])) return false;
  }
  return true;
}

// --- construction and defaults ---

TEST(COVSettings, HasFifteenGroupsInElementOrder) {
  const COVSettings doc;
  EXPECT_EQ(Keys(doc.Groups()),
            (std::vector<std::u16string>{u"Processing", u"Format", u"Grid", u"General", u"Storage", u"RemConn",
                                         u"Network", u"NetworkEx", u"Dns", u"Backup", u"ExportToText",
                                         u"ExportToDb", u"Emailer", u"EmailAlerts", u"SyslogForwarders"}));
  EXPECT_EQ(doc.Groups()[6], &doc.Network);
  EXPECT_EQ(Keys(COVCommonSets().Groups()), (std::vector<std::u16string>{u"Processing", u"Format", u"Grid"}));
}

TEST(COVSettings, GroupMasks) {
  const COVSettings doc;
  std::vector<std::uint32_t> masks;
  for (const Var_t* g : doc.Groups()) masks.push_back(g->GetMask());
  EXPECT_EQ(masks, (std::vector<std::uint32_t>{0, 0, 0, 4, 16, 8, 2, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(COVSettings, ChildrenFollowTheTables) {
  const COVSettings doc;
  EXPECT_EQ(Keys(doc.Network.Children()),
            (std::vector<std::u16string>{u"Ipv4", u"Ipv4BindAny", u"Ipv4BindAddr", u"Ipv6", u"Ipv6BindAny",
                                         u"Ipv6BindAddr", u"Udp", u"UdpPort", u"Tcp", u"TcpPort",
                                         u"SocketBufferSize"}));
  EXPECT_EQ(Keys(doc.Backup.Children()),
            (std::vector<std::u16string>{u"Enable", u"CreateSubfolder", u"Subfolder", u"FilenamePostfix", u"Folder",
                                         u"PagesPerStep", u"DelayBetweenSteps", u"Schedule"}));
  EXPECT_EQ(Keys(doc.ExportToDb.Children()),
            (std::vector<std::u16string>{u"Enabled", u"MaxQueueSize", u"UseFilter", u"filter", u"ExporterToDb"}));
  EXPECT_EQ(Keys(doc.ExportToText.ExporterToText.Children()).size(), 16u);
  EXPECT_EQ(Keys(doc.Grid.Children()),
            (std::vector<std::u16string>{u"DetailsTemplate", u"DetailsStyle", u"MaxNumberOfMessages", u"UseColors",
                                         u"Colors", u"LoadAtOnce"}));
  EXPECT_EQ(VarEmailAlert_t().GetKey(), u"EmailAlert");
  EXPECT_EQ(VarSyslogForwarder_t().GetKey(), u"SyslogForwarder");
  EXPECT_EQ(VarColor_t().GetKey(), u"Color");
}

TEST(COVSettings, SpotCheckDefaultsAndRanges) {
  const COVSettings doc;
  EXPECT_EQ(doc.Network.UdpPort.Value(), 514);
  EXPECT_EQ(doc.Network.UdpPort.Min(), 1);
  EXPECT_EQ(doc.Network.UdpPort.Max(), 65535);
  EXPECT_EQ(doc.Network.TcpPort.Value(), 1468);
  EXPECT_FALSE(doc.Network.Tcp.Value());
  EXPECT_EQ(doc.Network.SocketBufferSize.Max(), 0);
  EXPECT_TRUE(doc.NetworkEx.SeparateTcpStreamWithCRLF.Value());
  EXPECT_EQ(doc.Storage.KeepPeriod.Count(), 0u);
  EXPECT_EQ(doc.Storage.DayTimeForDelete.Value(), 240);
  EXPECT_EQ(doc.Dns.CacheDns.Value(), 168);
  EXPECT_EQ(doc.Backup.Subfolder.Value(), u"$yyy-$M-$d");
  EXPECT_EQ(doc.Backup.Schedule.EveryWeek.Min(), 1);
  EXPECT_EQ(doc.ExportToText.ExporterToText.MaxFileSizeKB.Max(), 99999999);
  EXPECT_EQ(doc.ExportToDb.ExporterToDb.CmdTemplate.Value(),
            u"INSERT INTO Syslogs (Collected, IP, Facility, Severity, Message) VALUES ('$yyy-$M-$d $H:$m:$s', "
            u"%SOURCE_IP%, %FACILITY%, %SEVERITY%, %MESSAGE%);");
  EXPECT_EQ(doc.Emailer.Delay.Max(), 999999);
  EXPECT_EQ(doc.EmailAlerts.Delay.Max(), 99999);
  EXPECT_EQ(doc.SyslogForwarders.MaxQueueSize.Min(), 1);
  EXPECT_EQ(doc.Format.FirstWeekDay.Value(), -1);
  EXPECT_EQ(doc.Format.FirstWeekDay.Min(), -1);
  EXPECT_EQ(doc.Processing.NonPrintCustomChar.Value(), 46);
  EXPECT_EQ(VarColor_t().BackColor.Value(), 16777215);
  EXPECT_EQ(doc.ExportToDb.filter.Value(), xml::MessageFilter());
}

TEST(VarGrid, DetailsTemplateDefaultIsExact) {
  const std::u16string t = VarGrid_g().DetailsTemplate.Value();
  EXPECT_EQ(t.size(), 414u);
  EXPECT_EQ(t.substr(t.size() - 4), u"\r\n\r\n");
  EXPECT_EQ(t.find(u"\r\n <tr>\r\n<td class=\"style1\">%SEVERITY% / %FACILITY%</td>\r\n  <td"), 93u);
  EXPECT_NE(t.find(u"<td style=\"width: 100%\">&nbsp;</td>"), std::u16string::npos);
  std::size_t pairs = 0;
  for (std::size_t p = t.find(u"\r\n"); p != std::u16string::npos; p = t.find(u"\r\n", p + 2)) ++pairs;
  EXPECT_EQ(pairs, 11u);
}

TEST(VarGrid, DetailsStyleDefaultIsExact) {
  const std::u16string s = VarGrid_g().DetailsStyle.Value();
  EXPECT_EQ(s.size(), 655u);
  EXPECT_NE(s.find(u"\r\n padding-top:0.5em; \r\n"), std::u16string::npos);
  EXPECT_NE(s.find(u"\r\n.stSev0, .stSev1, .stSev2, .stSev3, {\r\n"), std::u16string::npos);
  EXPECT_EQ(s.substr(0, 5), u"* {\r\n");
  EXPECT_EQ(s.substr(s.size() - 3), u"}\r\n");
  std::size_t lines = 0;
  for (std::size_t p = s.find(u"\r\n"); p != std::u16string::npos; p = s.find(u"\r\n", p + 2)) ++lines;
  EXPECT_EQ(lines, 46u);
}

TEST(VarGrid, StyleWithoutTheCommaIsNotTheDefault) {
  VarGrid_g grid;
  std::u16string style = grid.DetailsStyle.Value();
  style.erase(style.find(u", {"), 1);
  XmlNode node(u"Grid");
  node.AddChild(u"DetailsStyle").SetAttribute(u"text", style);
  grid.Load(node);
  EXPECT_FALSE(grid.IsEqual(VarGrid_g()));
  EXPECT_EQ(grid.DetailsTemplate.Value(), kDefaultDetailsTemplate);
}

// --- element form ---

TEST(COVSettings, EverySettingRoundTripsThroughElements) {
  COVSettings changed;
  MakeNonDefault(changed);
  const COVSettings fresh;
  int leaves = 0;
  for (std::size_t i = 0; i < fresh.Groups().size(); ++i)
    ExpectEveryLeafDiffers(*changed.Groups()[i], *fresh.Groups()[i], leaves);
  EXPECT_EQ(leaves, 116);  // every setting of the tables, a list counted once

  XmlNode root(u"RIZavoza");
  EXPECT_EQ(changed.Save(root), 0);
  EXPECT_EQ(ChildNames(root), Keys(fresh.Groups()));
  COVSettings loaded;
  EXPECT_EQ(loaded.Load(root, false), 0);
  ExpectEqualDocuments(loaded, changed);
  EXPECT_EQ(loaded.SyslogForwarders.Forwarders[1].Filter.Value().tags[1], u"\"quoted\"");
}

TEST(COVSettings, EmptyRootLoadsTheDefaults) {
  COVSettings doc;
  XmlNode root(u"RIZavoza");
  EXPECT_EQ(doc.Load(root, false), 0);
  EXPECT_TRUE(EqualDocuments(doc, COVSettings()));
  EXPECT_EQ(doc.Load(const_cast<XmlNode&>(xml::NullNode()), false), 0);
}

TEST(COVSettings, DefaultsSaveAndLoadBackEqual) {
  XmlNode root(u"R");
  COVSettings().Save(root);
  EXPECT_EQ(root.FindChild(u"Format").FindChild(u"FirstWeekDay").Text(), u"-1");
  EXPECT_EQ(root.FindChild(u"Grid").FindChild(u"DetailsTemplate").GetAttribute(u"text"), kDefaultDetailsTemplate);
  COVSettings doc;
  MakeNonDefault(doc);
  doc.Load(root, false);
  COVSettings fresh;
  // Filters keep their names through a load (Name is written even when empty, so here it is read).
  ExpectEqualDocuments(doc, fresh);
}

TEST(COVSettings, OnlyUdpPortInNetwork) {
  COVSettings doc;
  XmlNode root(u"RIZavoza");
  root.AddChild(u"Network").AddChild(u"UdpPort").SetText(u"1514");
  doc.Load(root, false);
  EXPECT_EQ(doc.Network.UdpPort.Value(), 1514);
  EXPECT_TRUE(doc.Network.Udp.Value());
  EXPECT_FALSE(doc.Network.Tcp.Value());
  EXPECT_EQ(doc.Network.TcpPort.Value(), 1468);
}

TEST(COVSettings, FirstOfTwoGroupElementsCountsAndOrderDoesNotMatter) {
  COVSettings doc;
  XmlNode root(u"RIZavoza");
  root.AddChild(u"Dns").AddChild(u"CacheDns").SetText(u"5");
  root.AddChild(u"Network").AddChild(u"TcpPort").SetText(u"1601");
  root.AddChild(u"Dns").AddChild(u"CacheDns").SetText(u"6");
  root.AddChild(u"Unknown").AddChild(u"CacheDns").SetText(u"7");
  doc.Load(root, false);
  EXPECT_EQ(doc.Dns.CacheDns.Value(), 5);
  EXPECT_EQ(doc.Network.TcpPort.Value(), 1601);
}

TEST(COVSettings, ResetOnLoadReturnsMissingGroupsToDefaults) {
  COVSettings doc;
  doc.Dns.CacheDns.SetValue(1);
  doc.Network.UdpPort.SetValue(2);
  XmlNode root(u"RIZavoza");
  root.AddChild(u"Network").AddChild(u"Tcp").SetText(u"1");
  doc.Load(root, false);
  EXPECT_EQ(doc.Dns.CacheDns.Value(), 1);
  doc.Load(root, true);
  EXPECT_EQ(doc.Dns.CacheDns.Value(), 168);
  EXPECT_EQ(doc.Network.UdpPort.Value(), 514);
  EXPECT_TRUE(doc.Network.Tcp.Value());
}

TEST(VarExportToDb, ReadsOnlyTheLowerCaseFilter) {
  VarExportToDb_g db;
  XmlNode node(u"ExportToDb");
  node.AddChild(u"Filter").AddChild(u"Negation").SetText(u"1");
  db.Load(node);
  EXPECT_EQ(db.filter.Value(), xml::MessageFilter());
  node.AddChild(u"filter").AddChild(u"Negation").SetText(u"1");
  db.Load(node);
  EXPECT_TRUE(db.filter.Value().negation);

  XmlNode saved(u"ExportToDb");
  db.Save(saved);
  EXPECT_TRUE(saved.FindChild(u"filter").IsValid());
  EXPECT_FALSE(saved.FindChild(u"Filter").IsValid());
}

TEST(VarBackup, ScheduleIsNestedInBackup) {
  COVSettings doc;
  XmlNode root(u"RIZavoza");
  XmlNode& schedule = root.AddChild(u"Backup").AddChild(u"Schedule");
  schedule.AddChild(u"DayMask").SetText(u"127");
  XmlNode& times = schedule.AddChild(u"Times");
  for (const char16_t* t : {u"60", u"720", u"1380"}) times.AddChild(u"I000000").SetText(t);
  root.AddChild(u"Schedule").AddChild(u"EveryWeek").SetText(u"9");  // not a top-level group
  doc.Load(root, false);
  EXPECT_EQ(doc.Backup.Schedule.DayMask.Value(), 127);
  EXPECT_EQ(doc.Backup.Schedule.EveryWeek.Value(), 1);
  ASSERT_EQ(doc.Backup.Schedule.Times.Count(), 3u);
  EXPECT_EQ(doc.Backup.Schedule.Times[2].Value(), 1380);
}

TEST(VarFormat, FirstWeekDayMinusOneLoadsAndSaves) {
  VarFormat_g format;
  format.FirstWeekDay.SetValue(3);
  XmlNode node(u"Format");
  node.AddChild(u"FirstWeekDay").SetText(u"-1");
  format.Load(node);
  EXPECT_EQ(format.FirstWeekDay.Value(), -1);
  XmlNode saved(u"Format");
  VarFormat_g().Save(saved);
  EXPECT_EQ(saved.FindChild(u"FirstWeekDay").Text(), u"-1");
}

TEST(VarProcessing, RangeIsNotEnforced) {
  VarProcessing_g processing;
  XmlNode node(u"Processing");
  node.AddChild(u"DefSeverity").SetText(u"9");
  processing.Load(node);
  EXPECT_EQ(processing.DefSeverity.Value(), 9);
}

TEST(VarSyslogForwarders, ItemsStartFromTheirDefaults) {
  VarSyslogForwarders_g group;
  XmlNode node(u"SyslogForwarders");
  XmlNode& list = node.AddChild(u"Forwarders");
  XmlNode& first = list.AddChild(u"I000000");
  first.AddChild(u"TargetServer").SetAttribute(u"text", u"logs.example.net");
  first.AddChild(u"SyslogPort").SetText(u"1514");
  list.AddChild(u"I000001");
  group.Load(node);
  ASSERT_EQ(group.Forwarders.Count(), 2u);
  EXPECT_EQ(group.Forwarders[0].TargetServer.Value(), u"logs.example.net");
  EXPECT_EQ(group.Forwarders[0].SyslogPort.Value(), 1514);
  EXPECT_TRUE(group.Forwarders[1].IsEqual(VarSyslogForwarder_t()));
}

TEST(VarEmailAlerts, SavesEachAlertWithItsSixElements) {
  VarEmailAlerts_g group;
  group.Alerts.Resize(3);
  XmlNode node(u"EmailAlerts");
  group.Save(node);
  const XmlNode& alerts = node.FindChild(u"Alerts");
  EXPECT_EQ(ChildNames(alerts), (std::vector<std::u16string>{u"I000000", u"I000001", u"I000002"}));
  for (std::int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(ChildNames(alerts.ChildAt(i)),
              (std::vector<std::u16string>{u"Enabled", u"To", u"Subject", u"Body", u"Format", u"Filter"}));
  }
  XmlNode bare(u"EmailAlerts");
  bare.AddChild(u"Alerts").AddChild(u"x").AddChild(u"Subject");
  group.Load(bare);
  ASSERT_EQ(group.Alerts.Count(), 1u);
  EXPECT_EQ(group.Alerts[0].Subject.Value(), u"[%SEVERITY%] %SOURCE_IP%");
}

TEST(VarGrid, ColourRuleWithOnlyBackColor) {
  VarGrid_g grid;
  XmlNode node(u"Grid");
  node.AddChild(u"Colors").AddChild(u"I000000").AddChild(u"BackColor").SetText(u"255");
  grid.Load(node);
  ASSERT_EQ(grid.Colors.Count(), 1u);
  EXPECT_EQ(grid.Colors[0].TextColor.Value(), 0);
  EXPECT_EQ(grid.Colors[0].BackColor.Value(), 255);
  EXPECT_EQ(grid.Colors[0].Filter.Value(), xml::MessageFilter());
}

TEST(VarStorage, KeepPeriodLoadsOneItemPerChild) {
  COVSettings doc;
  XmlNode root(u"RIZavoza");
  XmlNode& storage = root.AddChild(u"Storage");
  storage.AddChild(u"FolderPath").SetAttribute(u"text", u"D:\\Logs");
  storage.AddChild(u"DayTimeForDelete").SetText(u"180");
  XmlNode& keep = storage.AddChild(u"KeepPeriod");
  keep.AddChild(u"I000000").SetText(u"30");
  keep.AddChild(u"I000001").SetText(u"90");
  doc.Load(root, false);
  EXPECT_EQ(doc.Storage.FolderPath.Value(), u"D:\\Logs");
  EXPECT_EQ(doc.Storage.DayTimeForDelete.Value(), 180);
  ASSERT_EQ(doc.Storage.KeepPeriod.Count(), 2u);
  EXPECT_EQ(doc.Storage.KeepPeriod[1].Value(), 90);
  EXPECT_FALSE(doc.Storage.NoStorage.Value());
}

TEST(XmlWriter, WritesIndentedEscapedElements) {
  XmlNode root(u"R");
  XmlNode& group = root.AddChild(u"G");
  group.AddChild(u"I").SetText(u"-1");
  group.AddChild(u"S").SetAttribute(u"text", u"a&lt; <b> \"c\"");
  group.AddChild(u"E");
  EXPECT_EQ(testing::WriteXmlText(root),
            u"<R>\r\n"
            u"  <G>\r\n"
            u"    <I>-1</I>\r\n"
            u"    <S text=\"a&amp;lt; &lt;b&gt; &quot;c&quot;\"/>\r\n"
            u"    <E/>\r\n"
            u"  </G>\r\n"
            u"</R>\r\n");
  EXPECT_EQ(testing::WriteXmlText(XmlNode(u"R")), u"<R></R>\r\n");
  const std::string file = testing::WriteXmlFile(XmlNode(u"R"));
  EXPECT_EQ(file.substr(0, 4), std::string("\xFF\xFE<\0", 4));
  EXPECT_EQ(file.size(), 2u + 2u * (39u + 2u + 9u));
}

// --- loading from a file ---

// A file in the test's temporary folder, removed at the end of the test.
class SettingsFile {
 public:
  explicit SettingsFile(const std::string& name) : path_(::testing::TempDir() + "recaster_" + name) {}
  ~SettingsFile() { std::remove(path_.c_str()); }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  std::u16string Write(std::string_view bytes) const {
    EXPECT_TRUE(testing::WriteBytesToFile(path_, bytes));
    return Path();
  }
  std::u16string WriteText(std::u16string_view document) const {
    std::u16string text(testing::kXmlDeclaration);
    text += u"\r\n";
    text += document;
    return Write("\xFF\xFE" + testing::ToUtf16LeBytes(text));
  }
  std::u16string Path() const { return platform::PathFromNative(path_); }

 private:
  std::string path_;
};

TEST(LoadFromFile, WrittenDocumentLoadsBackEqual) {
  COVSettings saved;
  MakeNonDefault(saved);
  XmlNode root(u"RIZavoza");
  saved.Save(root);
  SettingsFile file("roundtrip.cfg");
  const std::u16string path = file.Write(testing::WriteXmlFile(root));
  COVSettings loaded;
  EXPECT_EQ(loaded.LoadFromFile(path), 0);
  ExpectEqualDocuments(loaded, saved);
  EXPECT_EQ(loaded.Grid.DetailsTemplate.Value(), saved.Grid.DetailsTemplate.Value());
}

TEST(LoadFromFile, MissingFileReturnsTheSystemCodeAndChangesNothing) {
  COVSettings doc;
  MakeNonDefault(doc);
  SettingsFile file("missing.cfg");
  EXPECT_EQ(doc.LoadFromFile(file.Path()), 2);
  const xml::XmlLoadResult result = doc.LoadFromFileWithResult(file.Path());
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.error, xml::XmlError::kOpenFailed);
  COVSettings expected;
  MakeNonDefault(expected);
  EXPECT_TRUE(EqualDocuments(doc, expected));
}

TEST(LoadFromFile, FileFailingPartWayChangesNothing) {
  SettingsFile file("partial.cfg");
  const std::u16string path = file.WriteText(
      u"<RIZavoza>\r\n<Network><UdpPort>1514</UdpPort></Network>\r\n<Dns><CacheDns>5</CacheDns>\r\n</RIZavoza>\r\n");
  COVSettings doc;
  EXPECT_EQ(doc.LoadFromFile(path), -1);
  EXPECT_EQ(doc.Network.UdpPort.Value(), 514);
  const xml::XmlLoadResult result = doc.LoadFromFileWithResult(path);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.error, xml::XmlError::kNoMatchingEndTag);
  EXPECT_EQ(result.line, 4u);  // the <Dns> start tag; the declaration is line 1
  EXPECT_TRUE(EqualDocuments(doc, COVSettings()));
}

TEST(LoadFromFile, RootOfAnyNameLoadsAndUnknownElementsAreIgnored) {
  SettingsFile file("anyroot.cfg");
  const std::u16string path = file.WriteText(
      u"<Whatever><Unknown><UdpPort>9</UdpPort></Unknown><Network><UdpPort>1514</UdpPort></Network></Whatever>");
  COVSettings doc;
  EXPECT_EQ(doc.LoadFromFile(path), 0);
  EXPECT_EQ(doc.Network.UdpPort.Value(), 1514);
  doc.Network.UdpPort.Reset();
  EXPECT_TRUE(EqualDocuments(doc, COVSettings()));

  const std::u16string only_unknown = file.WriteText(u"<RIZavoza><Unknown/></RIZavoza>");
  COVSettings fresh;
  EXPECT_EQ(fresh.LoadFromFile(only_unknown), 0);
  EXPECT_TRUE(EqualDocuments(fresh, COVSettings()));
}

TEST(LoadFromFile, CommittedSampleLoads) {
  COVSettings doc;
  ASSERT_EQ(doc.LoadFromFile(platform::PathFromNative(RECASTER_SOURCE_DIR "/samples/ov_server_settings.cfg")), 0);
  EXPECT_EQ(doc.Network.UdpPort.Value(), 1514);
  EXPECT_EQ(doc.Network.TcpPort.Value(), 1601);
  EXPECT_TRUE(doc.Network.Tcp.Value());
  EXPECT_EQ(doc.Network.Ipv4BindAddr.Value(), u"192.0.2.10");
  EXPECT_EQ(doc.Network.Ipv6BindAddr.Value(), u"2001:db8::10");
  ASSERT_EQ(doc.Storage.KeepPeriod.Count(), 3u);
  EXPECT_EQ(doc.Storage.KeepPeriod[2].Value(), 365);
  EXPECT_FALSE(doc.NetworkEx.SeparateTcpStreamWithCRLF.Value());
  ASSERT_EQ(doc.SyslogForwarders.Forwarders.Count(), 3u);
  EXPECT_EQ(doc.SyslogForwarders.Forwarders[2].TargetServer.Value(), u"logs.example.net");
  EXPECT_EQ(doc.SyslogForwarders.Forwarders[1].Filter.Value().sources,
            std::vector<std::u16string>{u"192.0.2.2"});
  EXPECT_EQ(doc.EmailAlerts.Alerts.Count(), 2u);
  EXPECT_EQ(doc.Grid.Colors.Count(), 4u);
  EXPECT_EQ(doc.Backup.Schedule.Times.Count(), 2u);
  EXPECT_EQ(doc.Grid.DetailsStyle.Value(), kDefaultDetailsStyle);
}

}  // namespace
}  // namespace recaster::settings
