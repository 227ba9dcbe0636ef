// The test writer of settings files.
#include "tests/support/xml_writer.h"

#include <fstream>

namespace recaster::testing {
namespace {

void WriteElement(const xml::XmlNode& node, int depth, std::u16string& out) {
  out.append(static_cast<std::size_t>(depth) * 2, u' ');
  out += u'<';
  out += node.Name();
  for (const auto& [name, value] : node.Attributes()) {
    out += u' ';
    out += name;
    out += u"=\"";
    out += EscapeXml(value);
    out += u'"';
  }
  if (depth > 0 && node.Text().empty() && node.ChildCount() == 0) {  // the loader refuses an empty root tag
    out += u"/>\r\n";
    return;
  }
  out += u'>';
  out += EscapeXml(node.Text());
  if (node.ChildCount() > 0) {
    out += u"\r\n";
    for (std::int32_t i = 0; i < node.ChildCount(); ++i) WriteElement(node.ChildAt(i), depth + 1, out);
    out.append(static_cast<std::size_t>(depth) * 2, u' ');
  }
  out += u"</";
  out += node.Name();
  out += u">\r\n";
}

}  // namespace

std::u16string EscapeXml(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string WriteXmlText(const xml::XmlNode& root) {
  std::u16string out;
  WriteElement(root, 0, out);
  return out;
}

std::string ToUtf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

std::string WriteXmlFile(const xml::XmlNode& root) {
  std::u16string text(kXmlDeclaration);
  text += u"\r\n";
  text += WriteXmlText(root);
  return "\xFF\xFE" + ToUtf16LeBytes(text);
}

bool WriteBytesToFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace recaster::testing
