// The element tree: node operations on parts that are either the node's own or its document's.
#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_document.h"
#include "xml/xml_store.h"

namespace recaster::xml {

static_assert(sizeof(void*) != 8 || sizeof(XmlNode) == 48, "a loaded element takes 48 bytes");

namespace {

const std::u16string& NoText() {
  static const std::u16string text;
  return text;
}

const std::u16string& NullText() {
  static const std::u16string text = u"(null)";
  return text;
}

// The two texts every node may point at without owning them, whatever document it came from.
bool IsShared(const std::u16string* text) { return text == &NoText() || text == &NullText(); }

std::u16string* OwnCopy(const std::u16string& text) { return new std::u16string(text); }

bool SameName(const XmlAccess::LoadedAttributes::Item& item, std::u16string_view name) {
  return item.name_size == name.size() && std::memcmp(item.name, name.data(), 2 * name.size()) == 0;
}

}  // namespace

XmlNode::XmlNode(std::u16string name) : name_(new std::u16string(std::move(name))), text_(&NoText()) {
  flags_ |= kOwnsName;
}

XmlNode::XmlNode(InvalidTag) : name_(&NullText()), text_(&NullText()), flags_(0) {}

XmlNode::XmlNode(const Parts& parts)
    : name_(parts.name), text_(parts.text), children_(parts.children), child_count_(parts.child_count) {
  attributes_.loaded = parts.attributes;
}

XmlNode::~XmlNode() { FreeOwned(true); }

// Frees what this node (and its name, with `name`) and its descendants own, and nothing else: a
// loaded tree is mostly its document's, and a walk that only reads is the cheapest way through it.
// Children are exactly XmlNode, so they need no virtual call.
void XmlNode::FreeOwned(bool name) const noexcept {
  if (name && (flags_ & kOwnsName) != 0) delete name_;
  if ((flags_ & kOwnsText) != 0) delete text_;
  if ((flags_ & kOwnsAttributes) != 0) delete attributes_.owned;
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    const XmlNode& child = children_[i];
    if ((child.flags_ & ~kValid) != 0 || child.child_count_ != 0) child.FreeOwned(true);
  }
  if ((flags_ & kOwnsChildren) != 0) ::operator delete(children_);
}

void XmlNode::ReleaseContent() noexcept {
  FreeOwned(false);
  if (IsValid()) text_ = &NoText();
  attributes_.loaded = nullptr;
  children_ = nullptr;
  child_count_ = 0;
  flags_ &= kValid | kOwnsName;
}

// Each part is marked as owned as soon as it exists, so that a copy that runs out of memory part-way
// frees exactly what it made.
XmlNode::XmlNode(const XmlNode& other) : name_(&NoText()), text_(&NoText()), flags_(other.flags_ & kValid) {
  try {
    name_ = IsShared(other.name_) ? other.name_ : OwnCopy(*other.name_);
    if (!IsShared(name_)) flags_ |= kOwnsName;
    text_ = IsShared(other.text_) ? other.text_ : OwnCopy(*other.text_);
    if (!IsShared(text_)) flags_ |= kOwnsText;
    if (other.AttributeCount() != 0) {
      attributes_.owned = new AttributeMap(other.Attributes());
      flags_ |= kOwnsAttributes;
    }
    MakeRoom(other.child_count_);
    for (; child_count_ < other.child_count_; ++child_count_) {
      new (&children_[child_count_]) XmlNode(other.children_[child_count_]);
    }
  } catch (...) {
    FreeOwned(true);
    throw;
  }
}

XmlNode& XmlNode::operator=(const XmlNode& other) {
  if (!IsValid() || this == &other) return *this;
  XmlNode copy(other);
  *this = std::move(copy);
  return *this;
}

// Copies every part that `other`'s document holds, so that all its parts are its own.
void XmlNode::OwnParts() {
  if ((flags_ & kOwnsName) == 0 && !IsShared(name_)) {
    name_ = OwnCopy(*name_);
    flags_ |= kOwnsName;
  }
  if ((flags_ & kOwnsText) == 0 && !IsShared(text_)) {
    text_ = OwnCopy(*text_);
    flags_ |= kOwnsText;
  }
  if (attributes_.loaded != nullptr) OwnAttributes();
  if ((flags_ & kOwnsChildren) == 0 && child_count_ != 0) {
    // The copies are made apart and then trade places with the document's children, which release
    // whatever they own when `loaded` goes.
    XmlNode loaded(InvalidTag{});
    loaded.MakeRoom(child_count_);
    for (; loaded.child_count_ < child_count_; ++loaded.child_count_) {
      new (&loaded.children_[loaded.child_count_]) XmlNode(children_[loaded.child_count_]);
    }
    std::swap(children_, loaded.children_);
    const std::uint32_t theirs = loaded.flags_ & kChildBits;
    loaded.flags_ = (loaded.flags_ & ~kChildBits) | (flags_ & kChildBits);
    flags_ = (flags_ & ~kChildBits) | theirs;
  }
}

XmlNode::XmlNode(XmlNode&& other) : name_(other.name_), text_(other.text_), flags_(other.flags_ & kValid) {
  if (!other.IsValid()) return;  // the null node's two texts, shared
  name_ = &NoText();
  text_ = &NoText();
  TakeParts(other);
}

XmlNode& XmlNode::operator=(XmlNode&& other) {
  if (!IsValid() || this == &other) return *this;
  if (!other.IsValid()) {
    ReleaseContent();
    if ((flags_ & kOwnsName) != 0) delete name_;
    flags_ = kValid;
    name_ = other.name_;
    text_ = other.text_;
    return *this;
  }
  TakeParts(other);
  return *this;
}

// Takes all of `other`'s parts, once they are its own; `other` is left empty. `other` may lie inside
// this node's tree, so nothing of this node is released before `other`'s parts are taken.
void XmlNode::TakeParts(XmlNode& other) {
  other.OwnParts();
  const std::u16string* name = std::exchange(other.name_, &NoText());
  const std::u16string* text = std::exchange(other.text_, &NoText());
  XmlNode* children = std::exchange(other.children_, nullptr);
  const std::uint32_t child_count = std::exchange(other.child_count_, 0);
  const auto attributes = std::exchange(other.attributes_, {nullptr});
  const std::uint32_t owned = other.flags_ & ~kValid;
  other.flags_ &= kValid;
  ReleaseContent();
  if ((flags_ & kOwnsName) != 0) delete name_;
  name_ = name;
  text_ = text;
  children_ = children;
  child_count_ = child_count;
  attributes_ = attributes;
  flags_ = kValid | owned;
}

void XmlNode::SetName(std::u16string name) {
  auto* owned = new std::u16string(std::move(name));
  if ((flags_ & kOwnsName) != 0) delete name_;
  name_ = owned;
  flags_ |= kOwnsName;
}

void XmlNode::Clear() {
  if (IsValid()) ReleaseContent();
}

void XmlNode::SetText(std::u16string text) {
  if (!IsValid()) return;
  auto* owned = new std::u16string(std::move(text));
  if ((flags_ & kOwnsText) != 0) delete text_;
  text_ = owned;
  flags_ |= kOwnsText;
}

void XmlNode::SetTextBool(bool value) { SetText(std::u16string(FormatXmlBool(value))); }

void XmlNode::SetTextInt(std::int32_t value) { SetText(FormatXmlInt(value)); }

const XmlNode& XmlNode::FindChild(std::u16string_view name) const {
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    if (*children_[i].name_ == name) return children_[i];
  }
  return NullNode();
}

XmlNode& XmlNode::FindChild(std::u16string_view name) {
  const XmlNode& found = std::as_const(*this).FindChild(name);
  return const_cast<XmlNode&>(found);
}

// Gives this node children of its own with room for `count`, moving (never copying) those it has.
void XmlNode::MakeRoom(std::uint32_t count) {
  const std::uint32_t room = (flags_ & kOwnsChildren) != 0 ? std::uint32_t{1} << (flags_ >> kRoomShift) : 0;
  if (count <= room || count == 0) return;
  std::uint32_t log = 2;
  while ((std::uint32_t{1} << log) < std::max(count, 2 * child_count_)) ++log;
  auto* moved = static_cast<XmlNode*>(::operator new(sizeof(XmlNode) * (std::size_t{1} << log)));
  for (std::uint32_t i = 0; i < child_count_; ++i) {
    XmlNode& child = children_[i];
    XmlNode* place = new (&moved[i]) XmlNode(InvalidTag{});
    std::swap(place->name_, child.name_);
    std::swap(place->text_, child.text_);
    std::swap(place->children_, child.children_);
    std::swap(place->child_count_, child.child_count_);
    std::swap(place->attributes_, child.attributes_);
    std::swap(place->flags_, child.flags_);
  }
  if ((flags_ & kOwnsChildren) != 0) ::operator delete(children_);
  children_ = moved;
  flags_ = (flags_ & ~kChildBits) | kOwnsChildren | (log << kRoomShift);
}

XmlNode& XmlNode::AddChild(std::u16string name) {
  if (!IsValid()) return const_cast<XmlNode&>(NullNode());
  MakeRoom(child_count_ + 1);
  new (&children_[child_count_]) XmlNode(std::move(name));
  return children_[child_count_++];
}

void XmlNode::ReserveChildren(std::int32_t count) {
  if (IsValid() && count > 0) MakeRoom(static_cast<std::uint32_t>(count));
}

const XmlNode& XmlNode::ChildAt(std::int32_t position) const {
  if (position < 0 || position >= ChildCount()) return NullNode();
  return children_[position];
}

XmlNode& XmlNode::ChildAt(std::int32_t position) {
  if (position < 0 || position >= ChildCount()) return const_cast<XmlNode&>(NullNode());
  return children_[position];
}

// A loaded element's attributes become a map of its own, the last of each name counting.
XmlNode::AttributeMap& XmlNode::OwnAttributes() const {
  if ((flags_ & kOwnsAttributes) == 0) {
    auto map = std::make_unique<AttributeMap>();
    if (const LoadedAttributes* loaded = attributes_.loaded) {
      for (const auto& item : std::span(loaded->items, loaded->count)) {
        map->insert_or_assign(std::u16string(item.name, item.name_size), std::u16string(item.value, item.value_size));
      }
    }
    attributes_.owned = map.release();
    flags_ |= kOwnsAttributes;
  }
  return *attributes_.owned;
}

std::int32_t XmlNode::AttributeCount() const {
  if ((flags_ & kOwnsAttributes) != 0) return static_cast<std::int32_t>(attributes_.owned->size());
  const LoadedAttributes* loaded = attributes_.loaded;
  if (loaded == nullptr) return 0;
  // A few attributes are counted where they lie: those whose name comes no later.
  constexpr std::uint32_t kFew = 16;
  if (loaded->count > kFew) {
    // Many are counted in a table of their places, twice as large as their number, where they lie.
    std::size_t size = 64;
    while (size < 2 * static_cast<std::size_t>(loaded->count)) size *= 2;
    std::vector<std::uint32_t> slots(size, 0);  // a place plus 1; 0: free
    std::int32_t distinct = 0;
    for (std::uint32_t i = 0; i < loaded->count; ++i) {
      const auto& item = loaded->items[i];
      const std::u16string_view name(item.name, item.name_size);
      for (std::size_t slot = HashUnits(Units::Of(name)) & (size - 1);; slot = (slot + 1) & (size - 1)) {
        if (slots[slot] == 0) {
          slots[slot] = i + 1;
          ++distinct;
          break;
        }
        if (SameName(loaded->items[slots[slot] - 1], name)) break;
      }
    }
    return distinct;
  }
  std::int32_t distinct = 0;
  for (std::uint32_t i = 0; i < loaded->count; ++i) {
    const auto& item = loaded->items[i];
    bool later = false;
    for (std::uint32_t j = i + 1; j < loaded->count && !later; ++j) {
      later = SameName(loaded->items[j], std::u16string_view(item.name, item.name_size));
    }
    distinct += later ? 0 : 1;
  }
  return distinct;
}

std::u16string XmlNode::GetAttribute(std::u16string_view name) const {
  if ((flags_ & kOwnsAttributes) != 0) {
    const auto it = attributes_.owned->find(name);
    return it == attributes_.owned->end() ? std::u16string() : it->second;
  }
  if (const LoadedAttributes* loaded = attributes_.loaded) {
    for (std::uint32_t i = loaded->count; i-- > 0;) {
      const auto& item = loaded->items[i];
      if (SameName(item, name)) return std::u16string(item.value, item.value_size);
    }
  }
  return std::u16string();
}

void XmlNode::SetAttribute(std::u16string name, std::u16string value) {
  if (IsValid()) OwnAttributes().insert_or_assign(std::move(name), std::move(value));
}

const XmlNode::AttributeMap& XmlNode::Attributes() const {
  static const AttributeMap none;
  if ((flags_ & kOwnsAttributes) == 0 && attributes_.loaded == nullptr) return none;
  return OwnAttributes();
}

const XmlNode& NullNode() {
  static const XmlNode null_node{XmlNode::InvalidTag{}};
  return null_node;
}

// --- what the loader does beyond the public operations ---

const std::u16string* XmlAccess::NoText() { return &xml::NoText(); }

XmlNode* XmlAccess::MakeElements(Arena& arena, const Parts* parts, std::uint32_t count) {
  auto* elements = static_cast<XmlNode*>(arena.Allocate(sizeof(XmlNode) * count));
  for (std::uint32_t i = 0; i < count; ++i) new (&elements[i]) XmlNode(parts[i]);
  return elements;
}

void XmlAccess::SetChildren(XmlNode& element, XmlNode* children, std::uint32_t count) {
  element.children_ = children;
  element.child_count_ = count;
}

void XmlAccess::AppendCopy(XmlNode& element, const XmlNode& child) {
  if (!element.IsValid()) return;
  element.MakeRoom(element.child_count_ + 1);
  new (&element.children_[element.child_count_]) XmlNode(child);
  ++element.child_count_;
}

DocumentStorage& XmlAccess::Renew(XmlDocument& document) {
  document.Reset();
  document.storage_ = std::make_unique<DocumentStorage>();
  return *document.storage_;
}

XmlDocument::XmlDocument(std::u16string name) : XmlNode(std::move(name)) {}

XmlDocument::~XmlDocument() { Reset(); }

void XmlDocument::Reset() {
  Clear();
  storage_.reset();
}

}  // namespace recaster::xml
