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
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

int Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "fuzz_xml_load: cannot open " << file << "\n";
    return 1;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(path);
    }
    for (const auto& file : files) {
      failures += Replay(file);
      ++replayed;
    }
  }
  std::cout << "fuzz_xml_load: replayed " << replayed << " inputs\n";
  return failures == 0 && replayed > 0 ? 0 : 1;
}
#endif
