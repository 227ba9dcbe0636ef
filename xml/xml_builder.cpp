// The tree builder: elements as their tokens come, and the first failure in document order.
#include "xml/xml_builder.h"

#include <memory>
#include <new>
#include <utility>

namespace recaster::xml {

TreeBuilder::TreeBuilder(DocumentStorage& storage, std::uint32_t children_before)
    : storage_(storage), open_{Open{0, 0, children_before, 0, nullptr, false}} {}

void TreeBuilder::Element(std::int32_t kind, Units name, std::uint32_t offset) {
  expect_ = Expect::kContent;
  Open& parent = open_.back();
  if (open_.size() > static_cast<std::size_t>(kMaxDepth)) return Fail(XmlError::kTooDeep, offset);
  if (parent.children >= kMaxChildren) return Fail(XmlError::kTooManyChildren, offset);
  if (elements_ >= kMaxElements) return Fail(XmlError::kTooManyElements, offset);
  ++elements_;
  ++parent.children;
  // Siblings often share a name; then the last name needs no look-up.
  if (last_name_ == nullptr || !name.Equals(last_name_->text.data(), last_name_->text.size())) {
    last_name_ = &storage_.strings.Intern(name);
  }
  StoredString& stored = *last_name_;
  parts_.push_back(Parts{&stored.text, no_text_, nullptr, nullptr, 0});
  if (kind == EmptyTag) {
    expect_ = Expect::kAttributesOfEmpty;
    return;
  }
  // Its end would be the end of the open element of its name, which encloses it.
  if (stored.open != 0) return Fail(XmlError::kNoMatchingEndTag, offset);
  stored.open = static_cast<std::uint32_t>(open_.size());
  const auto node = static_cast<std::uint32_t>(parts_.size() - 1);
  open_.push_back(Open{node, node + 1, 0, offset, &stored, false});
  expect_ = Expect::kAttributesOrTextOfStart;
}

void TreeBuilder::Attribute(Units s, std::uint32_t offset) {
  if (expect_ == Expect::kContent) return Fail(XmlError::kMisplacedAttribute, offset);
  const std::size_t equals = s.Find(u'=');
  if (equals == kNoPosition || equals + 1 >= s.size() || s[equals + 1] != u'"' || s[s.size() - 1] != u'"') {
    return Fail(XmlError::kMalformedAttribute, offset);
  }
  // In `x="` the quote after "=" is also the final one and the value is empty.
  const std::size_t value_start = equals + 2;
  const Units value = Decoded(value_start < s.size() - 1 ? s.Sub(value_start, s.size() - 1 - value_start) : Units());
  const Units name = s.Sub(0, equals);
  attributes_.push_back(Item{storage_.arena.Copy(name), storage_.arena.Copy(value),
                             static_cast<std::uint32_t>(name.size()), static_cast<std::uint32_t>(value.size())});
}

void TreeBuilder::Text(Units text, std::uint32_t offset) {
  if (expect_ != Expect::kAttributesOrTextOfStart) return Fail(XmlError::kMisplacedText, offset);
  expect_ = Expect::kContent;
  // Like names, texts repeat from one element to the next.
  if (last_text_ == nullptr || !(text == last_raw_text_)) {
    last_text_ = &storage_.strings.Intern(Decoded(text)).text;
    last_raw_text_ = text;
  }
  parts_.back().text = last_text_;
}

void TreeBuilder::End(Units name, std::uint32_t offset) {
  expect_ = Expect::kContent;
  if (open_.size() > 1 && name == std::u16string_view(open_.back().name->text)) return CloseInnermost();
  const StoredString* stored = storage_.strings.Find(name);
  if (stored == nullptr || stored->open == 0) return Fail(XmlError::kUnexpectedEndTag, offset);
  // The end of an element further out, before the end of the open element inside it.
  const std::size_t ended = stored->open;
  const std::uint32_t unended = open_[ended + 1].offset;
  DropContent(ended + 1);
  open_[ended].closed = true;
  Fail(XmlError::kNoMatchingEndTag, unended);
}

void TreeBuilder::Watch(Units name) {
  const StoredString* stored = storage_.strings.Find(name);
  if (stored == nullptr || stored->open == 0 || open_[stored->open].closed) return;
  const std::size_t level = stored->open;
  open_[level].closed = true;
  if (level > 1 && open_[level - 1].closed && level < out_of_order_) out_of_order_ = level;
}

void TreeBuilder::CloseInnermost() {
  const Open element = open_.back();
  open_.pop_back();
  element.name->open = 0;
  const auto count = static_cast<std::uint32_t>(parts_.size() - element.first_child);
  if (count == 0) return;
  Parts& parts = parts_[element.node];
  parts.children = XmlAccess::MakeElements(storage_.arena, &parts_[element.first_child], count);
  parts.child_count = count;
  parts_.resize(element.first_child);
}

// The open element at `level` keeps no attributes, text or children, and the elements open inside it
// are gone: a builder that looked ahead would have refused it before reading any of them.
void TreeBuilder::DropContent(std::size_t level) {
  Parts& parts = parts_[open_[level].node];
  parts.text = no_text_;
  parts.attributes = nullptr;
  parts_.resize(open_[level].first_child);
  for (std::size_t j = level; j < open_.size(); ++j) open_[j].name->open = 0;
  open_.resize(level);
}

void TreeBuilder::StoreAttributes() {
  using LoadedAttributes = XmlAccess::LoadedAttributes;
  // A long list is kept where it is, and the next element starts a new one.
  constexpr std::size_t kLongList = 256;
  if (attributes_.size() >= kLongList) {
    const auto count = static_cast<std::uint32_t>(attributes_.size());
    storage_.long_attribute_lists.push_back(std::move(attributes_));
    attributes_ = {};
    void* memory = storage_.arena.Allocate(sizeof(LoadedAttributes));
    parts_.back().attributes = new (memory) LoadedAttributes{storage_.long_attribute_lists.back().data(), count};
    return;
  }
  void* memory = storage_.arena.Allocate(sizeof(LoadedAttributes) + sizeof(Item) * attributes_.size());
  auto* items = reinterpret_cast<Item*>(static_cast<std::byte*>(memory) + sizeof(LoadedAttributes));
  std::uninitialized_copy(attributes_.begin(), attributes_.end(), items);
  parts_.back().attributes = new (memory) LoadedAttributes{items, static_cast<std::uint32_t>(attributes_.size())};
  attributes_.clear();
}

void TreeBuilder::Fail(XmlError error, std::uint32_t offset) {
  FlushAttributes();
  failure_ = XmlParseError{error, offset};
}

Units TreeBuilder::Decoded(Units text) {
  if (text.Find(u'&') == kNoPosition) return text;
  DecodeEntities(text, &decoded_);
  return Units::Of(decoded_);
}

bool TreeBuilder::Finish(XmlNode& top, XmlParseError* error) {
  FlushAttributes();
  // The outermost open element without its end, or with it after its parent's, fails first.
  std::size_t unended = out_of_order_;
  for (std::size_t level = 1; level < open_.size() && level < unended; ++level) {
    if (!open_[level].closed) unended = level;
  }
  if (unended < open_.size()) {
    failure_ = XmlParseError{XmlError::kNoMatchingEndTag, open_[unended].offset};
    DropContent(unended);
  }
  while (open_.size() > 1) CloseInnermost();
  if (!parts_.empty()) {
    const auto count = static_cast<std::uint32_t>(parts_.size());
    XmlAccess::SetChildren(top, XmlAccess::MakeElements(storage_.arena, parts_.data(), count), count);
  }
  if (failure_.error == XmlError::kNone) return true;
  if (error != nullptr) *error = failure_;
  return false;
}

}  // namespace recaster::xml
