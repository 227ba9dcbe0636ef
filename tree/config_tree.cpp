// The configuration tree's value text.
#include "tree/config_tree.h"

#include <array>
#include <charconv>

#include "text/utf8.h"

namespace recaster::tree {
namespace {

// A member with the key and an empty node, to be appended: the tree copies what it is given.
ConfigTree::value_type Blank(std::string key) {
  static const ConfigTree kEmpty;
  return ConfigTree::value_type(std::move(key), kEmpty);
}

// The first child with the key (found by the key itself, never parsed as a path), or a new empty
// child appended with it.
ConfigTree& Slot(ConfigTree& node, std::string_view key) {
  std::string name(key);
  const auto found = node.find(name);
  if (found != node.not_found()) return found->second;
  return node.push_back(Blank(std::move(name)))->second;
}

}  // namespace

std::string NumberText(std::uint32_t value) {
  std::array<char, 10> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return std::string(digits.data(), result.ptr);
}

std::string_view BoolText(bool value) { return value ? "true" : "false"; }

void PutText(ConfigTree& node, std::string_view key, std::string_view utf8) { Slot(node, key).data().assign(utf8); }

void PutWideText(ConfigTree& node, std::string_view key, std::u16string_view text) {
  Slot(node, key).data() = text::ToUtf8(text);
}

void PutNumber(ConfigTree& node, std::string_view key, std::uint32_t value) {
  std::array<char, 10> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  Slot(node, key).data().assign(digits.data(), result.ptr);
}

void PutBool(ConfigTree& node, std::string_view key, bool value) { Slot(node, key).data().assign(BoolText(value)); }

ConfigTree& PutChild(ConfigTree& node, std::string_view key) {
  ConfigTree& child = Slot(node, key);
  child.clear();
  return child;
}

ConfigTree& AppendChild(ConfigTree& list) { return list.push_back(Blank(std::string()))->second; }

void PutSubtree(ConfigTree& node, std::string_view key, const ConfigTree& subtree) { Slot(node, key) = subtree; }

void PutSubtree(ConfigTree& node, std::string_view key, ConfigTree&& subtree) { Slot(node, key).swap(subtree); }

void AppendElement(ConfigTree& list, const ConfigTree& element) {
  list.push_back(ConfigTree::value_type(std::string(), element));
}

void AppendElement(ConfigTree& list, ConfigTree&& element) { AppendChild(list).swap(element); }

}  // namespace recaster::tree
