// Writes a version 5 settings file in which every text holds markup, quotes, entities or control
// characters: every text setting, every filter's name, texts and message, in every group and in an item
// of every list. With --benign, every character of those texts but the line breaks is an x instead:
// a twin whose report has the same shape with nothing to inject. scripts/test-report-browser.sh renders
// both reports in a browser and fails if their elements differ, that is if any came from a value.
// Usage: make_hostile OUTPUT [--benign]
#include <cstdio>
#include <string>
#include <vector>

#include "settings/ov_settings.h"
#include "tests/support/xml_writer.h"

namespace {

using recaster::xml::XmlNode;

// What a value may try: elements, attributes that run code, comments, entities, a fence, line breaks,
// terminal escapes, and a connection string whose password is quoted around markup.
const std::vector<std::u16string> kHostile = {
    u"<script>document.body.appendChild(document.createElement('mark'))</script>",
    u"\"><img src=x onerror=\"document.body.appendChild(document.createElement('mark'))\">",
    u"'><svg onload=\"document.title='injected'\"><circle r=9></circle></svg>",
    u"</code></td></tr></tbody></table><h1>injected heading</h1><table><tr><td>",
    u"</pre><iframe srcdoc=\"<b>x</b>\"></iframe>\r\n<!-- comment -->\r\n]]><![CDATA[<u>x</u>]]>\r\n```\r\n<marquee>",
    u"<style>body{display:none}</style><link rel=stylesheet href=//example.invalid/x.css>",
    u"&lt;b&gt;not bold&lt;/b&gt; &amp; <b>bold</b> &#60;i&#62;",
    u"<a href=\"javascript:alert(1)\">link</a> | pipe ` backtick",
    u"\x1B[31mred\x1B[0m <base href=//example.invalid/> \x07",
    u"Server=<object>;Password=\"<embed src=x>;\";pwd={<form>;}}}",
};

// The hostile text, or its benign twin: the same length and line breaks, every other character an x.
std::u16string Value(std::size_t index, bool benign) {
  std::u16string text = kHostile[index % kHostile.size()];
  if (benign) {
    for (char16_t& c : text) c = c == u'\r' || c == u'\n' ? c : u'x';
  }
  return text;
}

// Gives every "text" attribute below `node` the next value.
void Poison(XmlNode& node, std::size_t& next, bool benign) {
  if (node.Attributes().count(u"text") != 0) node.SetAttribute(u"text", Value(next++, benign));
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) Poison(node.ChildAt(i), next, benign);
}

void FillFilter(recaster::xml::MessageFilter& filter) {
  filter.name = u"x";
  filter.negation = true;
  filter.sourceCheck = filter.originCheck = filter.tagCheck = filter.messageCheck = true;
  filter.sources = {u"x", u"x"};
  filter.origins = {u"x"};
  filter.tags = {u"x"};
  filter.content = u"x";
}

}  // namespace

int main(int argc, char** argv) {
  const bool benign = argc == 3 && std::string(argv[2]) == "--benign";
  if (argc != 2 && !benign) {
    std::fprintf(stderr, "usage: make_hostile OUTPUT [--benign]\n");
    return 2;
  }
  recaster::settings::COVSettings doc;
  doc.Grid.Colors.Resize(1);
  doc.Storage.KeepPeriod.Resize(1);
  doc.Backup.Schedule.Times.Resize(1);
  doc.EmailAlerts.Alerts.Resize(1);
  doc.SyslogForwarders.Forwarders.Resize(1);
  for (auto* filter : {&doc.Grid.Colors[0].Filter.Value(), &doc.ExportToText.Filter.Value(),
                       &doc.ExportToDb.filter.Value(), &doc.EmailAlerts.Alerts[0].Filter.Value(),
                       &doc.SyslogForwarders.Forwarders[0].Filter.Value()}) {
    FillFilter(*filter);
  }
  XmlNode root(u"RIZavoza");
  doc.Save(root);
  std::size_t next = 0;
  Poison(root, next, benign);
  if (!recaster::testing::WriteBytesToFile(argv[1], recaster::testing::WriteXmlFile(root))) {
    std::fprintf(stderr, "make_hostile: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
