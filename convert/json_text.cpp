// The configuration tree's JSON text, written piece by piece into a sink: the text of a large tree
// never exists whole unless the sink keeps it. The bytes are those of Boost's pretty JSON writer (its
// layout and its byte-wise escapes), made by the one JSON writer.
#include <string_view>
#include <utility>
#include <vector>

#include <boost/property_tree/json_parser.hpp>

#include "convert/convert.h"
#include "text/json_writer.h"

namespace recaster::convert {
namespace {

namespace pt = boost::property_tree;

constexpr char kNotJson[] = "ptree contains data that cannot be represented in JSON format";
// The version 6 file's layout: four blanks per level, an empty root as "{" and "}" on two lines.
constexpr text::JsonLayout kFileLayout{4, true};

bool AllUnnamed(const tree::ConfigTree& node) {
  for (const auto& child : node) {
    if (!child.first.empty()) return false;
  }
  return true;
}

// A node at `level` (the root is 0): a value, an array (every child unnamed) or an object; the root is
// always an object. The tree's depth is the mapping's, a handful of levels.
void WriteNode(const tree::ConfigTree& node, std::size_t level, text::JsonWriter& out) {
  if (level > 0 && node.empty()) return out.String(node.data());
  const char open = level > 0 && AllUnnamed(node) ? '[' : '{';
  out.Open(open);
  for (const auto& [key, child] : node) {
    if (open == '[') {
      out.Item();
    } else {
      out.Key(key);
    }
    WriteNode(child, level + 1, out);
  }
  out.Close(open == '[' ? ']' : '}');
}

}  // namespace

void (*g_before_step)(ConversionStep) = nullptr;

void BeginStep(ConversionStep step) {
  if (g_before_step != nullptr) g_before_step(step);
}

std::string JsonProblem(const tree::ConfigTree& tree) {
  // The root holds no value and no node holds both a value and children. Walked without recursion.
  if (!tree.data().empty()) return kNotJson;
  std::vector<const tree::ConfigTree*> pending{&tree};
  while (!pending.empty()) {
    const tree::ConfigTree* node = pending.back();
    pending.pop_back();
    if (!node->data().empty() && !node->empty()) return kNotJson;
    for (const auto& child : *node) pending.push_back(&child.second);
  }
  return std::string();
}

bool WriteJson(const tree::ConfigTree& tree, text::TextSink& sink) {
  BeginStep(ConversionStep::kJsonText);
  text::JsonWriter out(sink, kFileLayout, text::ByteEscaping());
  WriteNode(tree, 0, out);
  out.Raw('\n');
  return out.Finish();
}

JsonResult TryConfigTreeToJson(const tree::ConfigTree& tree) {
  if (std::string problem = JsonProblem(tree); !problem.empty()) return {std::string(), std::move(problem)};
  text::StringSink sink;
  static_cast<void>(WriteJson(tree, sink));  // a string takes every piece
  return {std::move(sink.text), std::string()};
}

std::string ConfigTreeToJson(const tree::ConfigTree& tree) {
  JsonResult json = TryConfigTreeToJson(tree);
  if (!json.ok()) throw pt::json_parser_error(json.error, "", 0);
  return std::move(json.text);
}

}  // namespace recaster::convert
