// File: tree/config_tree.h - the version 6 configuration tree: its type, how values become its text
// (classic decimal numbers, "true"/"false") and building it in place. Below both the mapping and the conversion core; it knows nothing of either.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <boost/property_tree/ptree.hpp>

namespace recaster::tree {

// The version 6 configuration: UTF-8 keys and values, children in insertion order, a list is a node
// whose children all have the empty key; numbers and booleans are stored as text.
using ConfigTree = boost::property_tree::ptree;

// The decimal digits of the number: no sign, no grouping, no leading zeros, whatever the locale.
std::string NumberText(std::uint32_t value);

// "true" or "false".
std::string_view BoolText(bool value);

// Puts the UTF-8 text under the key: the first child with that key gets the value and keeps its
// place, or a new child is appended. The key is one key, never a dotted path.
void PutText(ConfigTree& node, std::string_view key, std::string_view utf8);

// Puts the UTF-8 of the UTF-16 text (text::ToUtf8), made once, right in its place.
void PutWideText(ConfigTree& node, std::string_view key, std::u16string_view text);

// Puts an unsigned number (8, 16 or 32 bits) as its decimal digits; an 8-bit value is a number too.
void PutNumber(ConfigTree& node, std::string_view key, std::uint32_t value);

// Puts "true" or "false".
void PutBool(ConfigTree& node, std::string_view key, bool value);

// Puts an empty node under the key, replacing the first child with that key (and all it held) in its
// place, or appending it; returns that node, to be filled where it lies.
ConfigTree& PutChild(ConfigTree& node, std::string_view key);

// Appends an empty element to a list node (a child with the empty key) and returns it, to be filled
// where it lies.
ConfigTree& AppendChild(ConfigTree& list);

// Puts a copy of the subtree under the key, replacing the first child with that key in its place, or
// appending it. A subtree about to go (a temporary) is moved there instead, whatever its size.
void PutSubtree(ConfigTree& node, std::string_view key, const ConfigTree& subtree);
void PutSubtree(ConfigTree& node, std::string_view key, ConfigTree&& subtree);

// Appends the element to a list node (a child with the empty key), even when an equal one is there; a
// temporary is moved, not copied.
void AppendElement(ConfigTree& list, const ConfigTree& element);
void AppendElement(ConfigTree& list, ConfigTree&& element);

}  // namespace recaster::tree
