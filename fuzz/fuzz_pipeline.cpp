// Fuzz target: whole settings files through the conversion, from the bytes to the JSON text: load,
// settings model, mapping, the notes and the JSON writer. A loaded file must always give JSON text
// that parses back, as UTF-8, into exactly the tree it was written from: "network" then "storage",
// every value a string, lists as arrays, empty lists as empty strings.
// Built with RECASTER_FUZZ_LINKMAIN it is a plain program that replays the files and folders given on
// its command line.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include <boost/json.hpp>
#include <boost/json/src.hpp>  // Boost.JSON header-only: this program's one translation unit of it

#include "convert/convert.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "xml/xml_document.h"

namespace {

using recaster::tree::ConfigTree;

// True when `value` is what the writer makes of `node`: a childless node its data as a string, a node
// whose children all have the empty key an array, any other node an object with its keys in order.
bool SameAsTree(const ConfigTree& node, const boost::json::value& value) {
  if (node.empty()) {
    const boost::json::string* text = value.if_string();
    return text != nullptr && std::string_view(*text) == node.data();
  }
  if (node.count("") == node.size()) {
    const boost::json::array* items = value.if_array();
    if (items == nullptr || items->size() != node.size()) return false;
    std::size_t i = 0;
    for (const auto& [key, child] : node) {
      if (!SameAsTree(child, (*items)[i++])) return false;
    }
    return true;
  }
  const boost::json::object* members = value.if_object();
  if (members == nullptr || members->size() != node.size()) return false;
  auto member = members->begin();
  for (const auto& [key, child] : node) {
    if (member->key() != key || !SameAsTree(child, member->value())) return false;
    ++member;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  recaster::xml::XmlDocument document(u"RIZavoza");
  const recaster::xml::XmlLoadResult load =
      document.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!load.ok()) return 0;
  recaster::settings::COVSettings settings;
  settings.Load(document, false);

  const recaster::mapping::Plan plan = recaster::mapping::MakePlan(settings);
  const ConfigTree tree = recaster::mapping::PlanToTree(plan);
  for (const auto& note : recaster::convert::ConversionNotes(plan)) {
    if (recaster::convert::FormatNote(note).empty()) __builtin_trap();
  }

  const recaster::convert::JsonResult json = recaster::convert::TryConfigTreeToJson(tree);
  if (!json.ok()) __builtin_trap();  // the mapping only makes trees the writer can represent
  boost::json::error_code error;
  const boost::json::value parsed = boost::json::parse(json.text, error);
  if (error) __builtin_trap();
  const boost::json::object* root = parsed.if_object();
  if (root == nullptr || root->size() != 2 || root->begin()->key() != "network" ||
      (root->begin() + 1)->key() != "storage") {
    __builtin_trap();
  }
  if (!SameAsTree(tree, parsed)) __builtin_trap();
  return 0;
}

#ifdef RECASTER_FUZZ_LINKMAIN
#include "fuzz/fuzz_replay.h"

int main(int argc, char** argv) { return recaster::fuzz::ReplayMain("fuzz_pipeline", argc, argv); }
#endif
