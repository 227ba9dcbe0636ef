// Fuzz target: whole settings files through the loader, then the tree operations on what it built.
// Built with RECASTER_FUZZ_LINKMAIN it is a plain program that replays the files and folders given on
// its command line, for compilers without libFuzzer and for the corpus replay among the tests.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/ov_settings.h"
#include "xml/xml_document.h"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  recaster::xml::XmlDocument document(u"RIZavoza");
  const recaster::xml::XmlLoadResult result =
      document.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)recaster::xml::DescribeLoadResult(result);
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
