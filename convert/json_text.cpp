// The configuration tree's JSON text. Its errors are made once, as a result; only ConfigTreeToJson,
// which must raise them, turns that result into the writer's exception.
#include <locale>
#include <sstream>
#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>

#include "convert/convert.h"

namespace recaster::convert {
namespace {

namespace pt = boost::property_tree;

constexpr char kNotJson[] = "ptree contains data that cannot be represented in JSON format";
constexpr char kWriteError[] = "write error";

// The root holds no value and no node holds both a value and children. Walked without recursion.
bool CanBeJson(const ConfigTree& tree) {
  if (!tree.data().empty()) return false;
  std::vector<const ConfigTree*> pending{&tree};
  while (!pending.empty()) {
    const ConfigTree* node = pending.back();
    pending.pop_back();
    if (!node->data().empty() && !node->empty()) return false;
    for (const auto& child : *node) pending.push_back(&child.second);
  }
  return true;
}

}  // namespace

JsonResult TryConfigTreeToJson(const ConfigTree& tree) {
  if (!CanBeJson(tree)) return {std::string(), kNotJson};
  std::ostringstream out;
  out.imbue(std::locale::classic());
  try {
    pt::write_json(out, tree, true);
  } catch (const pt::file_parser_error& e) {  // the writer's own checks, which CanBeJson makes first
    return {std::string(), e.message()};
  } catch (const pt::ptree_error& e) {  // a value the tree cannot turn into text
    return {std::string(), e.what()};
  }
  if (!out.good()) return {std::string(), kWriteError};
  return {std::move(out).str(), std::string()};
}

std::string ConfigTreeToJson(const ConfigTree& tree) {
  JsonResult json = TryConfigTreeToJson(tree);
  if (!json.ok()) throw pt::json_parser_error(json.error, "", 0);
  return std::move(json.text);
}

}  // namespace recaster::convert
