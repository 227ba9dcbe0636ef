// Fuzz target: whole settings files through the loader, held against the rules read literally, then
// the tree operations on what it built.
// Built with RECASTER_FUZZ_LINKMAIN it is a plain program that replays the files and folders given on
// its command line, for compilers without libFuzzer and for the corpus replay among the tests.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/ov_settings.h"
#include "tests/xml_literal.h"
#include "xml/xml_document.h"

namespace {

using recaster::xml::XmlError;

// Checks that every look-up by name gives the first child of that name, as the ordered scan does.
void Exercise(const recaster::xml::XmlNode& node) {
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) {
    const recaster::xml::XmlNode& child = node.ChildAt(i);
    std::int32_t first = 0;
    while (node.ChildAt(first).Name() != child.Name()) ++first;
    if (&node.FindChild(child.Name()) != &node.ChildAt(first)) __builtin_trap();
    Exercise(child);
  }
}

// The loader against the rules read literally: the same outcome at the same line and column, the same
// document name and the same elements, those of a refused document included.
void CompareWithLiteralRules(std::string_view bytes, const recaster::xml::XmlDocument& document,
                             const recaster::xml::XmlLoadResult& result) {
  constexpr std::size_t kHeaderBytes = 80;
  if (bytes.size() <= kHeaderBytes || result.error == XmlError::kNoByteOrderMark ||
      result.error == XmlError::kBadDeclaration || result.error == XmlError::kTooLarge) {
    return;
  }
  std::u16string text((bytes.size() - kHeaderBytes) / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto low = static_cast<unsigned char>(bytes[kHeaderBytes + 2 * i]);
    const auto high = static_cast<unsigned char>(bytes[kHeaderBytes + 2 * i + 1]);
    text[i] = static_cast<char16_t>(low | high << 8);
  }
  recaster::xml::XmlNode literal(u"RIZavoza");
  std::u16string name = u"RIZavoza";
  const recaster::xml::XmlParseError expected = recaster::xml::literal::LiteralParse(text, literal, &name);
  if (result.error != expected.error) __builtin_trap();
  if (expected.error != XmlError::kNone && expected.error != XmlError::kNoElements) {
    // Markup a settings file never holds ("<!" or "<?") is named at its own place, whatever it caused.
    const std::size_t markup = std::min(std::u16string_view(text).find(u"<!"), std::u16string_view(text).find(u"<?"));
    const std::size_t place = markup != std::u16string_view::npos ? markup : expected.offset;
    const std::u16string_view before = std::u16string_view(text).substr(0, place);
    const std::size_t last_lf = before.rfind(u'\n');
    std::uint32_t line = 1;
    for (const char16_t unit : before) line += unit == u'\n' ? 1 : 0;
    const std::size_t column = last_lf == std::u16string_view::npos ? 40 + before.size() : before.size() - last_lf;
    if (result.line != line || result.column != column) __builtin_trap();
  }
  if (document.Name() != name || document.ChildCount() != literal.ChildCount()) __builtin_trap();
  for (std::int32_t i = 0; i < literal.ChildCount(); ++i) {
    if (!recaster::xml::literal::SameTree(document.ChildAt(i), literal.ChildAt(i))) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  recaster::xml::XmlDocument document(u"RIZavoza");
  const recaster::xml::XmlLoadResult result =
      document.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)recaster::xml::DescribeLoadResult(result);
  CompareWithLiteralRules(std::string_view(reinterpret_cast<const char*>(data), size), document, result);
  if (!result.ok()) return 0;
  document.RebuildIndex();
  Exercise(document);
  const recaster::xml::XmlNode copy(document);
  Exercise(copy);
  // The settings document reads what it knows of the tree, saves itself into a fresh element, and a
  // second document loaded from that element must equal the first.
  recaster::settings::COVSettings settings;
  settings.Load(document, false);
  recaster::xml::XmlNode saved(u"RIZavoza");
  settings.Save(saved);
  recaster::settings::COVSettings reloaded;
  reloaded.Load(saved, false);
  const auto& a = settings.Groups();
  const auto& b = reloaded.Groups();
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (!a[i]->IsEqual(*b[i])) __builtin_trap();
  }
  return 0;
}

#ifdef RECASTER_FUZZ_LINKMAIN
#include "fuzz/fuzz_replay.h"

int main(int argc, char** argv) { return recaster::fuzz::ReplayMain("fuzz_xml_load", argc, argv); }
#endif
