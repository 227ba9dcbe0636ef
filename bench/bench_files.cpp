// The benchmarks' settings files.
#include "bench/bench_files.h"

#include <string_view>

#include "settings/ov_settings.h"
#include "xml/xml_document.h"
#include "tests/support/xml_writer.h"

namespace recaster::bench {
namespace {

using settings::COVSettings;
using xml::MessageFilter;

std::u16string Number(std::size_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// A filter of the kind people keep: severities, facilities and a message text with wildcards. Source
// and tag lists are left out: their items are named "000000", "000001", ..., which our loader reads
// but which are no XML names, so pugixml would refuse the file at the first of them.
MessageFilter RuleFilter(std::size_t i) {
  MessageFilter f;
  f.name = u"Rule " + Number(i) + u": authentication & access";
  f.severityCheck = true;
  f.severityMask = static_cast<std::int32_t>(0x0F | (i % 0xF0));
  f.facilityCheck = true;
  f.facilityMask = static_cast<std::int32_t>((1u << (i % 24)) | (1u << 4) | (1u << 10));
  f.messageCheck = true;
  f.content = u"Failed password for * from <" + Number(i) + u">";
  f.contentMatch.wildcards = true;
  return f;
}

// The sample server's settings with `rules` colour rules and alerts, four retention periods and two
// backup times per rule, and `forwarders` forwarders.
std::string FileWithRules(std::size_t rules, std::size_t forwarders) {
  COVSettings doc;
  doc.Grid.UseColors.SetValue(true);
  doc.General.LogFolder.SetValue(u"C:\\ProgramData\\Ornvale\\Logs");
  doc.Storage.FolderPath.SetValue(u"D:\\SyslogData");
  doc.Network.Ipv4BindAny.SetValue(false);
  doc.Network.Ipv4BindAddr.SetValue(u"192.0.2.10");
  doc.Network.UdpPort.SetValue(1514);
  doc.Network.Tcp.SetValue(true);
  doc.Network.TcpPort.SetValue(1601);
  doc.NetworkEx.MaxTcpClients.SetValue(250);
  doc.Backup.Enable.SetValue(true);
  doc.EmailAlerts.Enabled.SetValue(true);
  doc.SyslogForwarders.Enabled.SetValue(true);
  const auto count = static_cast<std::uint32_t>(rules);
  doc.Grid.Colors.Resize(count);
  doc.EmailAlerts.Alerts.Resize(count);
  doc.SyslogForwarders.Forwarders.Resize(static_cast<std::uint32_t>(forwarders));
  doc.Storage.KeepPeriod.Resize(4 * count);
  doc.Backup.Schedule.Times.Resize(2 * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    doc.Grid.Colors[i].TextColor.SetValue(static_cast<std::int32_t>(i * 2654435761u % 0xFFFFFF));
    doc.Grid.Colors[i].BackColor.SetValue(0xFFFFFF);
    doc.Grid.Colors[i].Filter.Value() = RuleFilter(i);
    auto& alert = doc.EmailAlerts.Alerts[i];
    alert.Enabled.SetValue(true);
    alert.To.SetValue(u"ops" + Number(i) + u"@example.com");
    alert.Subject.SetValue(u"[%SEVERITY%] rule " + Number(i) + u" on %SOURCE_NAME%");
    alert.Filter.Value() = RuleFilter(i + 1);
    for (std::uint32_t k = 0; k < 4; ++k) doc.Storage.KeepPeriod[4 * i + k].SetValue(static_cast<std::int32_t>(30 + k * 30));
    for (std::uint32_t k = 0; k < 2; ++k) doc.Backup.Schedule.Times[2 * i + k].SetValue(static_cast<std::int32_t>((i + k * 720) % 1440));
  }
  for (std::uint32_t i = 0; i < forwarders; ++i) {
    auto& forwarder = doc.SyslogForwarders.Forwarders[i];
    forwarder.Enabled.SetValue(i % 3 != 0);
    forwarder.TargetServer.SetValue(u"logs" + Number(i) + u".example.net");
    forwarder.SyslogProto.SetValue(static_cast<std::int32_t>(i % 2));
    forwarder.SyslogPort.SetValue(static_cast<std::int32_t>(514 + i % 1000));
    forwarder.Filter.Value() = RuleFilter(i + 2);
  }
  xml::XmlNode root(u"RIZavoza");
  doc.Save(root);
  return testing::WriteXmlFile(root);
}

std::string File(std::u16string_view text) {
  std::u16string whole(testing::kXmlDeclaration);
  whole += text;
  return "\xFF\xFE" + testing::ToUtf16LeBytes(whole);
}

std::u16string Repeat(std::u16string_view piece, std::size_t units) {
  std::u16string text;
  text.reserve(units + piece.size());
  while (text.size() < units) text += piece;
  return text;
}

// `<RIZavoza>` holding `open`, as many `item`s as fit in a file of the size limit (or `count` when
// given), then `close`.
std::string Filled(std::u16string_view open, std::u16string_view item, std::u16string_view close,
                   std::size_t count = 0) {
  const std::size_t units = (xml::kMaxFileSize - 2) / 2 - testing::kXmlDeclaration.size();
  const std::u16string head = u"<RIZavoza>" + std::u16string(open);
  const std::u16string tail = std::u16string(close) + u"</RIZavoza>";
  if (count == 0) count = (units - head.size() - tail.size()) / item.size();
  return File(head + Repeat(item, count * item.size()) + tail);
}

std::string AlertsOfEmptyItems() { return Filled(u"<EmailAlerts><Alerts>", u"<a/>", u"</Alerts></EmailAlerts>"); }
std::string ColorsOfEmptyItems() { return Filled(u"<Grid><Colors>", u"<a/>", u"</Colors></Grid>"); }

// Every list of the model at the longest the loader accepts, of empty items.
std::string LongestLists() {
  const std::u16string items = Repeat(u"<a/>", 4 * xml::kMaxChildren);
  return File(u"<RIZavoza><Grid><Colors>" + items + u"</Colors></Grid><EmailAlerts><Alerts>" + items +
              u"</Alerts></EmailAlerts><SyslogForwarders><Forwarders>" + items +
              u"</Forwarders></SyslogForwarders><Storage><KeepPeriod>" + items +
              u"</KeepPeriod></Storage><Backup><Schedule><Times>" + items + u"</Times></Schedule></Backup></RIZavoza>");
}

// The longest alert list, each alert's filter with as many sources as keep the tree within the
// element limit: a million texts for `show` to print.
std::string AlertsWithSourceLists() {
  const std::size_t sources = xml::kMaxElements / xml::kMaxChildren - 5;
  const std::u16string alert = u"<a><Filter><Source><SourceList>" + Repeat(u"<s text=\"host\"/>", 16 * sources) +
                               u"</SourceList></Source></Filter></a>";
  return Filled(u"<EmailAlerts><Alerts>", alert, u"</Alerts></EmailAlerts>", xml::kMaxChildren);
}

// As many elements as the loader accepts, in lists under elements no setting reads.
std::string MostElements() {
  const std::u16string list = u"<x>" + Repeat(u"<a/>", 4 * (xml::kMaxChildren - 1)) + u"</x>";
  return Filled(u"", list, u"", xml::kMaxElements / xml::kMaxChildren);
}

// `piece` repeated in lists of as many as an element may hold, about `units` long in all: the builder
// builds them all, up to the element limit.
std::u16string Lists(std::u16string_view piece, std::size_t units) {
  const std::u16string list = u"<l>" + Repeat(piece, piece.size() * xml::kMaxChildren) + u"</l>";
  if (units < list.size()) return u"<l>" + Repeat(piece, units - 7) + u"</l>";
  return Repeat(list, units - units % list.size());
}

// `<RIZavoza><Network>` holding `before`, `piece` repeated to fill a file of the size limit, then
// `after`.
std::string NetworkFilled(std::u16string_view before, std::u16string_view piece, std::u16string_view after) {
  const std::size_t units = (xml::kMaxFileSize - 2) / 2 - testing::kXmlDeclaration.size();
  const std::u16string head = u"<RIZavoza><Network>" + std::u16string(before);
  const std::u16string tail = std::u16string(after) + u"</Network></RIZavoza>";
  const std::size_t room = units - head.size() - tail.size();
  return File(head + Repeat(piece, room - room % piece.size()) + tail);
}

std::string BindAddressOfControls() {
  return NetworkFilled(u"<Ipv4BindAny>0</Ipv4BindAny><Udp>1</Udp><Tcp>1</Tcp><Ipv4BindAddr text=\"", u"\x0001",
                       u"\"/>");
}

std::string BindAddressOfOverrides() {
  return NetworkFilled(u"<Ipv4BindAny>0</Ipv4BindAny><Udp>1</Udp><Tcp>1</Tcp><Ipv4BindAddr text=\"", u"\x202E",
                       u"\"/>");
}

std::string AttributesOnOneElement() {
  const std::size_t units = (xml::kMaxFileSize - 2) / 2 - testing::kXmlDeclaration.size() - 120;
  std::u16string attributes;
  attributes.reserve(units + 16);
  for (std::size_t i = 0; attributes.size() < units; ++i) attributes += u" x" + Number(i) + u"=\"v\"";
  return File(u"<RIZavoza><Network><Ipv4BindAny>0</Ipv4BindAny><Ipv4BindAddr text=\"192.0.2.10\"" + attributes +
              u"/></Network></RIZavoza>");
}

}  // namespace

std::string ForwardersFile() { return FileWithRules(0, xml::kMaxChildren); }

std::vector<HostileFile> LimitFiles() {
  std::vector<HostileFile> files = HostileFiles();
  files.push_back({"bind address of 32 M U+0001, UDP and TCP", BindAddressOfControls});
  files.push_back({"bind address of 32 M U+202E, UDP and TCP", BindAddressOfOverrides});
  files.push_back({"2.8 million attributes on Ipv4BindAddr", AttributesOnOneElement});
  files.push_back({"16384 forwarders, each with a filter", ForwardersFile});
  return files;
}

std::vector<HostileFile> HostileFiles() {
  return {{"8.4 million <a/> in EmailAlerts/Alerts", AlertsOfEmptyItems},
          {"8.4 million <a/> in Grid/Colors", ColorsOfEmptyItems},
          {"five lists of 16384 <a/>", LongestLists},
          {"16384 alerts, 59 sources each", AlertsWithSourceLists},
          {"1048576 elements <a/>", MostElements}};
}

std::string RealisticFile(std::size_t bytes) {
  // Sizes grow linearly with the rules, so two sizes give the rule count for the wanted one.
  const std::size_t base = FileWithRules(0, 0).size();
  const std::size_t per_rule = (FileWithRules(8, 8).size() - base) / 8;
  const std::size_t rules = bytes > base ? (bytes - base + per_rule / 2) / per_rule : 0;
  return FileWithRules(rules, rules);
}

std::vector<CraftedFile> CraftedFiles(std::size_t bytes) {
  const std::size_t units = (bytes - 2) / 2 - testing::kXmlDeclaration.size();
  std::vector<CraftedFile> files;
  {
    // Distinct names, so that every element closes and only the depth limit refuses the file.
    std::u16string open;
    std::vector<std::u16string> names;
    std::size_t used = 0;
    while (used + 7 < units) {
      names.push_back(u"e" + Number(names.size()));
      open += u"<" + names.back() + u">";
      used += 2 * names.back().size() + 5;
    }
    std::u16string close;
    for (auto name = names.rbegin(); name != names.rend(); ++name) close += u"</" + *name + u">";
    files.push_back({"deep nesting", File(u"<r>" + open + close + u"</r>")});
  }
  files.push_back({"deep nesting, one name", File(u"<r>" + Repeat(u"<e>", units / 2) + Repeat(u"</e>", units / 2 - 4) + u"</r>")});
  files.push_back({"unclosed start tags", File(u"<r>" + Repeat(u"<a>", units - 7) + u"</r>")});
  {
    std::u16string tags;
    for (std::size_t i = 0; tags.size() + 7 < units; ++i) tags += u"<a" + Number(i) + u">";
    files.push_back({"unclosed start tags, all names", File(u"<r>" + tags + u"</r>")});
  }
  files.push_back({"same-named siblings", File(u"<r>" + Lists(u"<a>1</a>", units - 7) + u"</r>")});
  files.push_back({"empty elements <a/>", File(u"<r>" + Lists(u"<a/>", units - 7) + u"</r>")});
  {
    std::u16string attributes;
    for (std::size_t i = 0; attributes.size() + 14 < units; ++i) attributes += u" x" + Number(i) + u"=\"v\"";
    files.push_back({"huge attribute list", File(u"<r><a" + attributes + u"/></r>")});
  }
  files.push_back({"attribute quotes, no blanks", File(u"<r><a x" + Repeat(u"=\"=\"\"", units - 14) + u"/></r>")});
  {
    const std::u16string name((units - 12) / 2, u'n');
    files.push_back({"very long names", File(u"<r><" + name + u"></" + name + u"></r>")});
  }
  files.push_back({"one text run without \"<\"", File(u"<r><a>" + std::u16string(units - 6, u'x'))});
  files.push_back({"one text run, closed", File(u"<r><a>" + std::u16string(units - 14, u'x') + u"</a></r>")});
  files.push_back({"unclosed tag run", File(u"<r><" + std::u16string(units - 4, u'x'))});
  files.push_back({"entities", File(u"<r><a>" + Repeat(u"&amp;amp;&" u"lt;", units - 14) + u"</a></r>")});
  return files;
}

}  // namespace recaster::bench
