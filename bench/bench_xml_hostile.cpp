// Loads hostile settings files from memory and compares each with a well-formed file of its size:
// the parser must stay within a few times the cost of ordinary input whatever the bytes hold.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace {

using recaster::xml::XmlDocument;
using recaster::xml::XmlLoadResult;

std::string FileBytes(const std::u16string& text) {
  const std::u16string whole = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + text;
  std::string bytes = "\xFF\xFE";
  bytes.reserve(2 + whole.size() * 2);
  for (char16_t unit : whole) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

std::u16string Number(std::size_t n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// Groups of settings as the server writes them, until the text has about `units` code units.
std::u16string WellFormed(std::size_t units) {
  std::u16string text = u"\r\n<RIZavoza>\r\n";
  for (std::size_t group = 0; text.size() < units; ++group) {
    const std::u16string name = u"Group" + Number(group);
    text += u"  <" + name + u">\r\n";
    text += u"    <UdpPort>514</UdpPort>\r\n    <KeepPeriod>30</KeepPeriod>\r\n";
    text += u"    <FolderPath text=\"C:\\ProgramData\\Ornvale\\Logs &amp; more\"/>\r\n";
    text += u"    <Filters><I000000><Name text=\"Errors\" match=\"1\"/><Severity>3</Severity></I000000></Filters>\r\n";
    text += u"  </" + name + u">\r\n";
  }
  return text + u"</RIZavoza>\r\n";
}

std::u16string Repeat(std::u16string_view piece, std::size_t units) {
  std::u16string text;
  text.reserve(units + piece.size());
  while (text.size() < units) text += piece;
  return text;
}

constexpr std::size_t kUnits = 2 * 1024 * 1024;  // 4 MiB of UTF-16

double SecondsToLoad(const std::string& bytes, XmlLoadResult* result) {
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    {
      XmlDocument document(u"RIZavoza");
      *result = document.LoadFromBytes(bytes);
    }  // the tree's destruction is part of the cost
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  std::vector<std::pair<const char*, std::u16string>> cases;
  cases.emplace_back("well-formed 4 MiB", WellFormed(kUnits));
  {
    std::u16string open, close;
    for (std::size_t i = 0; i < 100000; ++i) open += u"<e" + Number(i) + u">";
    for (std::size_t i = 100000; i-- > 0;) close += u"</e" + Number(i) + u">";
    cases.emplace_back("nested 100000 deep", u"<r>" + open + close + u"</r>");
    cases.emplace_back("nested 100000 deep, one name",
                       u"<r>" + Repeat(u"<e>", 300000) + Repeat(u"</e>", 400000) + u"</r>");
  }
  cases.emplace_back("flat 4 MiB", u"<r>" + Repeat(u"<a/>", kUnits) + u"</r>");
  cases.emplace_back("unclosed start tags", u"<r>" + Repeat(u"<a>", kUnits) + u"</r>");
  {
    std::u16string tags;
    for (std::size_t i = 0; tags.size() < kUnits; ++i) tags += u"<a" + Number(i) + u">";
    cases.emplace_back("unclosed start tags, all names", u"<r>" + tags + u"</r>");
  }
  cases.emplace_back("same-named siblings", u"<r>" + Repeat(u"<a>1</a>", kUnits) + u"</r>");
  cases.emplace_back("very long names",
                     u"<r><" + std::u16string(kUnits / 2, u'n') + u"></" + std::u16string(kUnits / 2, u'n') + u"></r>");
  {
    std::u16string attributes;
    for (std::size_t i = 0; attributes.size() < kUnits; ++i) attributes += u" x" + Number(i) + u"=\"v\"";
    cases.emplace_back("huge attribute list", u"<r><a" + attributes + u"/></r>");
  }
  cases.emplace_back("attribute quotes without blanks", u"<r><a x" + Repeat(u"=\"=\"\"", kUnits) + u"/></r>");
  cases.emplace_back("one text run", u"<r><a>" + std::u16string(kUnits, u'x') + u"</a></r>");
  cases.emplace_back("one text run, no end", u"<r>" + std::u16string(kUnits, u'x'));
  cases.emplace_back("unclosed tag run", u"<r><" + std::u16string(kUnits, u'x'));
  cases.emplace_back("entities", u"<r><a>" + Repeat(u"&amp;amp;&lt;", kUnits) + u"</a></r>");

  std::printf("%-34s %10s %10s %12s %8s  %s\n", "input", "MiB", "ms", "ms same-size", "ratio", "outcome");
  for (const auto& [name, text] : cases) {
    const std::string bytes = FileBytes(text);
    XmlLoadResult result;
    const double seconds = SecondsToLoad(bytes, &result);
    XmlLoadResult reference_result;
    const double reference = SecondsToLoad(FileBytes(WellFormed(text.size())), &reference_result);
    std::printf("%-34s %10.2f %10.2f %12.2f %8.2f  %s\n", name, bytes.size() / 1048576.0, seconds * 1e3,
                reference * 1e3, seconds / reference, recaster::xml::DescribeLoadResult(result).c_str());
  }
  return 0;
}
