// The configuration tree's value text and the UTF-16 to UTF-8 conversion.
#include "tree/config_tree.h"

#include <array>
#include <charconv>

namespace recaster::tree {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Writes the UTF-8 bytes of the code point at `p`; returns the place after them.
char* PutUtf8(char32_t cp, char* p) {
  if (cp < 0x80) {
    *p++ = static_cast<char>(cp);
  } else if (cp < 0x800) {
    *p++ = static_cast<char>(0xC0 | (cp >> 6));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (cp >> 12));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (cp >> 18));
    *p++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (cp & 0x3F));
  }
  return p;
}

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

std::string ToUtf8(std::u16string_view text) {
  // The length first, then the bytes in place: no growth, and a run of ASCII is a plain copy loop.
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      length += 1;
    } else if (unit < 0x800) {
      length += 2;
    } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      length += 4;
      ++i;
    } else {
      length += 3;  // the others, U+FFFD for a broken surrogate included
    }
  }
  std::string out(length, '\0');
  char* p = out.data();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      *p++ = static_cast<char>(unit);
      continue;
    }
    char32_t cp = unit;
    if (IsHighSurrogate(unit)) {
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
        cp = 0x10000 + (((static_cast<char32_t>(unit) & 0x3FF) << 10) | (text[i + 1] & 0x3FF));
        ++i;
      } else {
        cp = kReplacement;  // the next unit, if any, is read on its own
      }
    } else if (IsLowSurrogate(unit)) {
      cp = kReplacement;
    }
    p = PutUtf8(cp, p);
  }
  return out;
}

std::string NumberText(std::uint32_t value) {
  std::array<char, 10> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
  return std::string(digits.data(), result.ptr);
}

std::string_view BoolText(bool value) { return value ? "true" : "false"; }

void PutText(ConfigTree& node, std::string_view key, std::string_view utf8) { Slot(node, key).data().assign(utf8); }

void PutWideText(ConfigTree& node, std::string_view key, std::u16string_view text) {
  Slot(node, key).data() = ToUtf8(text);
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
