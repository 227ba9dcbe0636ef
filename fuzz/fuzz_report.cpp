// Fuzz target: whole settings files through the migration report: load, settings model, mapping,
// the report of the file beside one that did not load (so the summary is drawn too), both renderers,
// the notes and `show`. Every input must keep the rendering rules:
// - no hidden character (words::IsHiddenCharacter) reaches an output raw, but line feeds, and tabs
//   inside a block; every output is well-formed UTF-8;
// - a Markdown table row stays on one line;
// - no '<' from the file reaches the HTML unescaped: the file's texts are given "<zq", which no tag of
//   the page starts with;
// - a secret marker made from the input, which the input therefore cannot hold, is planted as both
//   passwords, as a password field and a URL's password in the connection string, and as a URL's
//   password in the mail server and a forwarder's server, each beside the file's own text; it never
//   appears in the report (either form), the notes or `show`.
// Built with RECASTER_FUZZ_LINKMAIN it is a plain program that replays the files and folders given on
// its command line.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/settings_json.h"
#include "convert/convert.h"
#include "mapping/mapping.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "text/utf8.h"
#include "xml/xml_document.h"

namespace {

using recaster::words::IsHiddenCharacter;

// The marker: "zqS" and the input's 64-bit FNV-1a hash in hex; the input cannot hold its own hash.
std::u16string SecretMarker(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3u;
  std::u16string marker = u"zqS";
  for (int shift = 60; shift >= 0; shift -= 4) marker += u"0123456789abcdef"[hash >> shift & 0xFu];
  return marker;
}

// The ways a password field may be written after the file's own connection string, chosen by a byte.
constexpr std::array<std::u16string_view, 8> kFieldKeys = {
    u"Password=",     u"PWD=",      u"Jet OLEDB:Database Password=", u"Account Key=",
    u"client_secret=", u"passwd = ", u"SharedAccessKey=",           u"Token="};
constexpr std::array<std::u16string_view, 3> kSeparators = {u";", u"\n", u"\r\n"};

// Plants the marker into the loaded document, around the texts the file gave.
void Plant(recaster::settings::COVSettings& doc, const std::u16string& marker, std::uint8_t choice) {
  doc.Emailer.Password.SetValue(marker);
  doc.RemConn.Password.SetValue(marker);
  auto& conn = doc.ExportToDb.ExporterToDb.ConnString;
  const std::u16string own = conn.Value();
  const std::u16string_view separator = kSeparators[choice % kSeparators.size()];
  const std::u16string_view key = kFieldKeys[(choice >> 2) % kFieldKeys.size()];
  std::u16string value = marker;
  if (choice & 0x20) value = u"\"" + marker + u"\"";
  if (choice & 0x40) value = u"{" + marker + u"}";
  conn.SetValue(own + std::u16string(separator) + std::u16string(key) + value + std::u16string(separator) +
                u"Url=postgresql://user:" + marker + u"@host/db?sslmode=require&password=" + marker +
                std::u16string(separator) + own);
  const std::u16string url = u"smtp://user:" + marker + u"@";
  doc.Emailer.Server.SetValue(doc.Emailer.Server.Value() + u" " + url + doc.Emailer.Server.Value());
  if (doc.SyslogForwarders.Forwarders.Count() == 0) doc.SyslogForwarders.Forwarders.Resize(1);
  auto& target = doc.SyslogForwarders.Forwarders[0].TargetServer;
  target.SetValue(u"<zq" + target.Value() + u"\t" + url + target.Value());
  doc.Emailer.From.SetValue(u"<zq" + doc.Emailer.From.Value());
}

// Traps unless `text` is well-formed UTF-8 whose hidden characters are only those `allowed` lists.
void CheckVisible(std::string_view text, std::u32string_view allowed) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    char32_t c = lead;
    if (lead >= 0x80) {
      if (lead < 0xC2 || lead > 0xF4) __builtin_trap();
      length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (i + length > text.size()) __builtin_trap();
      c = lead & (0x7Fu >> length);
      for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0u) != 0x80) __builtin_trap();
        c = c << 6 | (next & 0x3Fu);
      }
      const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
      if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) __builtin_trap();
    }
    if (IsHiddenCharacter(c) && allowed.find(c) == std::u32string_view::npos) __builtin_trap();
    i += length;
  }
}

void CheckNoSecret(std::string_view text, const std::string& marker) {
  if (text.find(marker) != std::string_view::npos) __builtin_trap();
}

// No table row of the Markdown is cut in two, and tabs stand only in fenced blocks.
void CheckMarkdownLines(std::string_view markdown) {
  std::string_view fence;  // the fence of the block the line is in; empty outside blocks
  for (std::size_t line = 0; line < markdown.size();) {
    const std::size_t end = std::min(markdown.find('\n', line), markdown.size());
    const std::string_view text(markdown.data() + line, end - line);
    if (!fence.empty()) {
      if (text == fence) fence = {};
    } else if (text.starts_with("```") && text.find_first_not_of('`') == std::string_view::npos) {
      fence = text;
    } else if (text.starts_with('|') && !text.ends_with('|')) {
      __builtin_trap();  // a table row cut in two
    } else if (text.find('\t') != std::string_view::npos) {
      __builtin_trap();  // a tab outside a block
    }
    line = end + 1;
  }
}

// Tabs in the HTML stand only in <pre> blocks.
void CheckHtmlTabs(const std::string& html) {
  for (std::size_t tab = html.find('\t'); tab != std::string::npos; tab = html.find('\t', tab + 1)) {
    const std::size_t open = html.rfind("<pre>", tab);
    const std::size_t close = html.rfind("</pre>", tab);
    if (open == std::string::npos || (close != std::string::npos && close > open)) __builtin_trap();  // a tab outside a block
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  recaster::xml::XmlDocument document(u"RIZavoza");
  const recaster::xml::XmlLoadResult load =
      document.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!load.ok()) return 0;
  recaster::settings::COVSettings settings;
  settings.Load(document, false);
  const std::u16string marker16 = SecretMarker(data, size);
  const std::string marker = recaster::text::ToUtf8(marker16);
  Plant(settings, marker16, size == 0 ? 0 : data[size - 1]);

  const recaster::mapping::Plan plan = recaster::mapping::MakePlan(settings);
  const recaster::report::Report reports[] = {
      recaster::report::BuildReport(settings, plan, u"in\u202E<zq\x1B\n.cfg"),
      recaster::report::UnreadReport(u"gone\u2066<zq\x07.cfg", "no such file \x1B[2J\u2028<zq"),
  };

  const std::string markdown = recaster::report::ToMarkdown(reports);
  CheckVisible(markdown, U"\n\t");
  CheckNoSecret(markdown, marker);
  CheckMarkdownLines(markdown);

  const std::string html = recaster::report::ToHtml(reports);
  CheckVisible(html, U"\n\t");
  CheckNoSecret(html, marker);
  if (html.find("<zq") != std::string::npos) __builtin_trap();
  CheckHtmlTabs(html);

  for (const auto& note : recaster::convert::ConversionNotes(plan)) {
    const std::string line = recaster::convert::FormatNote(note);
    CheckVisible(line, U"");
    CheckNoSecret(line, marker);  // the notes hide secrets by the report's rule
  }

  // `show` hides secrets by the same rule, and writes no hidden character raw.
  const std::string shown = recaster::cli::SettingsToJson(settings, false);
  CheckVisible(shown, U"\n");
  CheckNoSecret(shown, marker);
  return 0;
}

#ifdef RECASTER_FUZZ_LINKMAIN
#include "fuzz/fuzz_replay.h"

int main(int argc, char** argv) { return recaster::fuzz::ReplayMain("fuzz_report", argc, argv); }
#endif
