// File: xml/xml_store.h - internal to xml/: where a loaded document keeps its tree: an arena for the
// elements, their children and attributes, and one copy of each distinct name and text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_units.h"

namespace recaster::xml {

// Memory handed out in order and given back all at once, with the document.
class Arena {
 public:
  // `bytes` aligned for any object of the tree (8 bytes); throws std::bad_alloc.
  void* Allocate(std::size_t bytes);
  // A copy of the units, with no terminator.
  const char16_t* Copy(Units units);

 private:
  std::vector<std::unique_ptr<std::byte[]>> chunks_;
  std::byte* next_ = nullptr;
  std::size_t left_ = 0;
  std::size_t chunk_size_ = 16u << 10;  // doubles up to kLargestChunk
};

// A hash of the units, seeded per process, so that no file can be made to collide its names ahead of
// time.
std::uint64_t HashUnits(Units units);

// One distinct name or text of a document, with a mark the tree builder keeps on it.
struct StoredString {
  std::u16string text;
  std::uint32_t open = 0;  // the place on the builder's stack of the open element of this name; 0: none
};

// Each distinct name and text once, found by HashUnits.
class StringTable {
 public:
  StringTable();
  StringTable(const StringTable&) = delete;
  StringTable& operator=(const StringTable&) = delete;

  // The stored copy of the units, made on first sight.
  StoredString& Intern(Units units) {
    StoredString*& recent = recent_[RecentKey(units)];
    if (recent != nullptr && units.Equals(recent->text.data(), recent->text.size())) return *recent;
    return *(recent = &InternInTable(units));
  }
  // The stored copy, or null when there is none.
  StoredString* Find(Units units) {
    StoredString*& recent = recent_[RecentKey(units)];
    if (recent != nullptr && units.Equals(recent->text.data(), recent->text.size())) return recent;
    StoredString* found = FindInTable(units);
    if (found != nullptr) recent = found;
    return found;
  }

 private:
  struct Slot {
    std::uint32_t hash = 0;
    std::uint32_t index = 0;  // of the string, plus 1; 0: the slot is free
  };
  static constexpr std::uint32_t kBlock = 256;  // strings per block; blocks never move
  static constexpr std::size_t kRecent = 64;

  // Where a string may sit among the recent ones: from its size and three of its units.
  static std::size_t RecentKey(Units units) {
    const std::size_t size = units.size();
    if (size == 0) return 0;
    return (size * 7 + units[0] * 3 + units[size / 2] * 5 + units[size - 1]) % kRecent;
  }

  StoredString& InternInTable(Units units);
  StoredString* FindInTable(Units units);
  Slot& SlotFor(Units units, std::uint32_t hash);
  StoredString& At(std::uint32_t index) { return blocks_[index / kBlock][index % kBlock]; }
  void Grow();

  std::vector<std::unique_ptr<StoredString[]>> blocks_;
  std::uint32_t count_ = 0;
  std::vector<Slot> slots_;  // a power of two, at most half full
  // Strings met lately, so that one met again (a name among its siblings, a common text) skips the
  // table; a string that only shares a key with another costs a comparison.
  std::array<StoredString*, kRecent> recent_{};
};

// A loaded element's attributes as the file gave them, repeated names included (the last counts).
struct XmlNode::LoadedAttributes {
  struct Item {
    const char16_t* name;
    const char16_t* value;
    std::uint32_t name_size;
    std::uint32_t value_size;
  };
  const Item* items;
  std::uint32_t count;
};

struct DocumentStorage;


// What the loader may do with the tree's classes beyond their public operations.
struct XmlAccess {
  using Parts = XmlNode::Parts;
  using LoadedAttributes = XmlNode::LoadedAttributes;

  // The text every element without text shares.
  static const std::u16string* NoText();
  // Elements made from their parts, side by side in the arena.
  static XmlNode* MakeElements(Arena& arena, const Parts* parts, std::uint32_t count);
  // Gives an element without children those of the arena.
  static void SetChildren(XmlNode& element, XmlNode* children, std::uint32_t count);
  // Appends a copy of `child` to `element`.
  static void AppendCopy(XmlNode& element, const XmlNode& child);
  // Empties the document and gives it fresh storage.
  static DocumentStorage& Renew(XmlDocument& document);
  static void Reset(XmlDocument& document) { document.Reset(); }
  static void SetName(XmlDocument& document, std::u16string name) { document.SetName(std::move(name)); }
  // Checks and parses the document text into the document (xml_parser.cpp).
  static XmlLoadResult Parse(XmlDocument& document, Units text);
};

// Everything a loaded document's elements refer to.
struct DocumentStorage {
  Arena arena;
  StringTable strings;
  // The attributes of elements with many: the builder's own list, kept as it is rather than copied.
  std::vector<std::vector<XmlAccess::LoadedAttributes::Item>> long_attribute_lists;
};

}  // namespace recaster::xml
