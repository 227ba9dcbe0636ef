// File: xml/xml_builder.h - internal to xml/: the tree builder, fed one token at a time as the
// tokenizer finds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xml/xml_store.h"

namespace recaster::xml {

// Builds the elements of a range of tokens in the document's storage, with exactly the results of the
// rules read literally: the end of an element is the first later end tag of its name, and it must come
// before its parent's end; a start tag that fails that check is added without attributes or content,
// and the build stops at the first failure in document order.
//
// Read in order, an end tag that names the innermost open element closes it. A start tag that an open
// ancestor's name repeats, or an end tag of an ancestor further out, shows an element with no end
// inside its parent; an end tag of no open element has no start. Such a failure, like a limit or a
// malformed attribute, counts only if every enclosing element still closes in order. So from the
// first failure the builder adds nothing and watches the end tags of the open elements; the outermost
// one that does not close in order takes the failure over, and loses what it held, which a builder
// that looked ahead for its end would never have read.
class TreeBuilder {
 public:
  // Builds into `storage`, for an element that already has `children_before` children.
  TreeBuilder(DocumentStorage& storage, std::uint32_t children_before);

  // Takes the next token of the range. Inline, so that a tokenizer that knows the kind calls its
  // handler directly.
  void Token(std::int32_t kind, Units text, std::uint32_t offset) {
    if (failure_.error != XmlError::kNone) {
      if (kind == EndTag) Watch(text);
      return;
    }
    if (kind != AttributeToken) FlushAttributes();
    switch (kind) {
      case StartTag:
      case EmptyTag: return Element(kind, text, offset);
      case EndTag: return End(text, offset);
      case TextToken: return Text(text, offset);
      case AttributeToken: return Attribute(text, offset);
      default: return Fail(XmlError::kMisplacedAttribute, offset);
    }
  }
  // True once the build has failed: from then on only end tags matter.
  bool Failed() const { return failure_.error != XmlError::kNone; }
  // Ends the range and gives `top` (which has no children yet) the elements built. True when the
  // build succeeded; else the partial tree stays and `error` says why.
  bool Finish(XmlNode& top, XmlParseError* error);

 private:
  struct Open {
    std::uint32_t node;         // its place in parts_ (not used for the top)
    std::uint32_t first_child;  // where its children start in parts_
    std::uint32_t children;     // how many it has so far
    std::uint32_t offset;       // of its start tag
    StoredString* name;         // null for the top
    bool closed;                // its end tag came after the first failure
  };
  enum class Expect { kContent, kAttributesOfEmpty, kAttributesOrTextOfStart };
  using Parts = XmlAccess::Parts;
  using Item = XmlAccess::LoadedAttributes::Item;

  void Element(std::int32_t kind, Units name, std::uint32_t offset);
  void Attribute(Units text, std::uint32_t offset);
  void Text(Units text, std::uint32_t offset);
  void End(Units name, std::uint32_t offset);
  void Watch(Units name);
  void CloseInnermost();
  void DropContent(std::size_t level);
  void FlushAttributes() {
    if (!attributes_.empty()) StoreAttributes();
  }
  void StoreAttributes();
  void Fail(XmlError error, std::uint32_t offset);
  // The text with its entity references decoded: the text itself when it has none, else a view of a
  // buffer that the next call reuses.
  Units Decoded(Units text);

  DocumentStorage& storage_;
  const std::u16string* const no_text_ = XmlAccess::NoText();
  std::vector<Parts> parts_;   // the elements of the open elements' children lists, in document order
  std::vector<Open> open_;     // open_[0] is the top
  std::vector<Item> attributes_;  // those read so far for parts_.back()
  std::u16string decoded_;
  std::uint32_t elements_ = 0;
  StoredString* last_name_ = nullptr;  // of the last element made
  const std::u16string* last_text_ = nullptr;  // of the last element given one
  Units last_raw_text_;                         // that text as the file has it
  Expect expect_ = Expect::kContent;
  XmlParseError failure_;
  std::size_t out_of_order_ = SIZE_MAX;  // the outermost open element seen to close after its parent
};

}  // namespace recaster::xml
