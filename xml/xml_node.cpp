// The element tree: node operations and the name index.
#include <algorithm>
#include <utility>

#include "xml/xml_document.h"

namespace recaster::xml {

XmlNode::XmlNode(std::u16string name) : name_(std::move(name)) {}

XmlNode::XmlNode(InvalidTag) : name_(u"(null)"), text_(u"(null)"), valid_(false) {}

XmlNode::~XmlNode() = default;

XmlNode::XmlNode(const XmlNode& other)
    : name_(other.name_),
      text_(other.text_),
      children_(other.children_),
      attributes_(other.attributes_ ? std::make_unique<AttributeMap>(*other.attributes_) : nullptr),
      name_index_(other.name_index_size_ != 0 ? std::make_unique<std::uint32_t[]>(other.name_index_size_) : nullptr),
      name_index_size_(other.name_index_size_),
      valid_(other.valid_) {
  // Positions, so they refer to the copy's own children.
  std::copy_n(other.name_index_.get(), name_index_size_, name_index_.get());
}

XmlNode& XmlNode::operator=(const XmlNode& other) {
  if (!valid_ || this == &other) return *this;
  XmlNode copy(other);
  *this = std::move(copy);
  return *this;
}

// Moving from the null node copies its two texts, so that it never changes.
XmlNode::XmlNode(XmlNode&& other) noexcept
    : name_(other.valid_ ? std::move(other.name_) : other.name_),
      text_(other.valid_ ? std::move(other.text_) : other.text_),
      children_(std::move(other.children_)),
      attributes_(std::move(other.attributes_)),
      name_index_(std::move(other.name_index_)),
      name_index_size_(std::exchange(other.name_index_size_, 0)),
      valid_(other.valid_) {}

XmlNode& XmlNode::operator=(XmlNode&& other) noexcept {
  if (!valid_ || this == &other) return *this;
  if (!other.valid_) {
    name_ = other.name_;
    text_ = other.text_;
    children_.clear();
    attributes_.reset();
    name_index_.reset();
    name_index_size_ = 0;
    return *this;
  }
  name_ = std::move(other.name_);
  text_ = std::move(other.text_);
  children_ = std::move(other.children_);
  attributes_ = std::move(other.attributes_);
  name_index_ = std::move(other.name_index_);
  name_index_size_ = std::exchange(other.name_index_size_, 0);
  return *this;
}

void XmlNode::SetText(std::u16string text) {
  if (valid_) text_ = std::move(text);
}

void XmlNode::SetTextBool(bool value) { SetText(std::u16string(FormatXmlBool(value))); }

void XmlNode::SetTextInt(std::int32_t value) { SetText(FormatXmlInt(value)); }

const XmlNode& XmlNode::FindChild(std::u16string_view name) const {
  if (name_index_size_ != 0) {
    const std::uint32_t* first = name_index_.get();
    const std::uint32_t* last = first + name_index_size_;
    const std::uint32_t* it = std::lower_bound(
        first, last, name, [this](std::uint32_t pos, std::u16string_view n) { return children_[pos].name_ < n; });
    if (it != last && children_[*it].name_ == name) return children_[*it];
  }
  for (const XmlNode& child : children_) {
    if (child.name_ == name) return child;
  }
  return NullNode();
}

XmlNode& XmlNode::FindChild(std::u16string_view name) {
  const XmlNode& found = std::as_const(*this).FindChild(name);
  return found.valid_ ? const_cast<XmlNode&>(found) : const_cast<XmlNode&>(NullNode());
}

XmlNode& XmlNode::AddChild(std::u16string name) {
  if (!valid_) return const_cast<XmlNode&>(NullNode());
  children_.emplace_back(std::move(name));
  return children_.back();
}

void XmlNode::ReserveChildren(std::int32_t count) {
  if (valid_ && count > 0) children_.reserve(static_cast<std::size_t>(count));
}

const XmlNode& XmlNode::ChildAt(std::int32_t position) const {
  if (position < 0 || position >= ChildCount()) return NullNode();
  return children_[static_cast<std::size_t>(position)];
}

XmlNode& XmlNode::ChildAt(std::int32_t position) {
  if (position < 0 || position >= ChildCount()) return const_cast<XmlNode&>(NullNode());
  return children_[static_cast<std::size_t>(position)];
}

const std::map<std::u16string, std::u16string, std::less<>>& XmlNode::Attributes() const {
  static const AttributeMap none;
  return attributes_ ? *attributes_ : none;
}

std::u16string XmlNode::GetAttribute(std::u16string_view name) const {
  if (!attributes_) return std::u16string();
  auto it = attributes_->find(name);
  return it == attributes_->end() ? std::u16string() : it->second;
}

void XmlNode::SetAttribute(std::u16string name, std::u16string value) {
  if (!valid_) return;
  if (!attributes_) attributes_ = std::make_unique<AttributeMap>();
  attributes_->insert_or_assign(std::move(name), std::move(value));
}

void XmlNode::RebuildIndex() {
  if (!valid_) return;
  const auto count = static_cast<std::uint32_t>(children_.size());
  if (count != name_index_size_) {
    name_index_ = count != 0 ? std::make_unique<std::uint32_t[]>(count) : nullptr;
    name_index_size_ = count;
  }
  std::uint32_t* index = name_index_.get();
  for (std::uint32_t i = 0; i < count; ++i) index[i] = i;
  const auto by_name = [this](std::uint32_t a, std::uint32_t b) { return children_[a].name_ < children_[b].name_; };
  // Most elements have a handful of children: a plain insertion sort, stable like the merge sort
  // used for longer lists, and without its buffer.
  constexpr std::uint32_t kShortList = 16;
  if (count <= kShortList) {
    for (std::uint32_t i = 1; i < count; ++i) {
      const std::uint32_t pos = index[i];
      std::uint32_t j = i;
      for (; j > 0 && by_name(pos, index[j - 1]); --j) index[j] = index[j - 1];
      index[j] = pos;
    }
  } else {
    std::stable_sort(index, index + count, by_name);
  }
  for (XmlNode& child : children_) child.RebuildIndex();
}

void XmlNode::Clear() {
  if (!valid_) return;
  text_.clear();
  children_.clear();
  attributes_.reset();
  name_index_.reset();
  name_index_size_ = 0;
}

const XmlNode& NullNode() {
  static const XmlNode null_node{XmlNode::InvalidTag{}};
  return null_node;
}

}  // namespace recaster::xml
