// File: xml/xml_tokenizer.h - internal to xml/: the tokenizer, which hands each tag and text to a
// sink as it finds it, so that no list of tokens need exist.
#pragma once

#include <cstdint>

#include "xml/xml_document.h"
#include "xml/xml_units.h"

namespace recaster::xml {

// Records the failure, when there is a place for it; always false.
inline bool Fail(XmlParseError* error, XmlError code, std::uint32_t offset) {
  if (error != nullptr) *error = XmlParseError{code, offset};
  return false;
}

// Emits the attribute tokens of a tag's inner text `inner` (trimmed, a view into the document text
// `text`) that follow its name, which ends at the first blank `blank`.
template <typename Sink>
void SplitAttributes(Units text, Units inner, std::size_t blank, Sink& sink) {
  if (blank == kNoPosition) return;
  std::size_t start = blank + 1;
  for (;;) {
    const std::size_t equals = inner.Find(u'=', u'"', start);
    if (equals == kNoPosition) break;
    const std::size_t quote = inner.Find(u'"', u' ', equals + 2);
    if (quote == kNoPosition) break;
    const Units attribute = Trim(inner.Sub(start, quote + 1 - start));
    sink.Token(AttributeToken, attribute, static_cast<std::uint32_t>(text.OffsetOf(attribute)));
    start = quote + 2;
  }
  const Units rest = inner.Sub(start);
  sink.Token(AttributeToken, rest, static_cast<std::uint32_t>(text.OffsetOf(rest)));
}

// Emits a start or empty-element tag as its tokens: the name, then the attributes.
template <typename Sink>
void SplitTag(Units text, std::int32_t kind, Units inner, std::uint32_t offset, Sink& sink) {
  const std::size_t blank = inner.Find(u' ');
  sink.Token(kind, inner.Sub(0, blank), offset);
  SplitAttributes(text, inner, blank, sink);
}

// Splits the document text into tags and texts, in order: sink.Tag(kind, inner, offset, last) for each
// start and empty-element tag (its inner text, trimmed and not empty; SplitTag makes its tokens), and
// sink.Token(kind, text, offset, last) for each end tag and each text after a start tag. `last` tells
// the last tag: no "<" follows it. False, with the error, at the first "<" without a later ">" or start
// tag with nothing inside.
template <typename Sink>
bool TokenizeTo(Units text, Sink& sink, XmlParseError* error) {
  for (std::size_t lt = text.Find(u'<'); lt != kNoPosition;) {
    const std::size_t gt = text.Find(u'>', lt);
    const auto tag_offset = static_cast<std::uint32_t>(lt);
    if (gt == kNoPosition) return Fail(error, XmlError::kUnclosedTag, tag_offset);
    const std::size_t next = text.Find(u'<', gt + 1);
    const bool last = next == kNoPosition;
    if (text[gt - 1] == u'/') {
      const Units inner = Trim(text.Sub(lt + 1, gt - 1 - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      sink.Tag(EmptyTag, inner, tag_offset, last);
    } else if (text[lt + 1] == u'/') {
      sink.Token(EndTag, Trim(text.Sub(lt + 2, gt - (lt + 2))), tag_offset, last);
    } else {
      const Units inner = Trim(text.Sub(lt + 1, gt - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      sink.Tag(StartTag, inner, tag_offset, last);
      const Units content = last ? Units() : Trim(text.Sub(gt + 1, next - (gt + 1)));
      if (!content.empty()) {
        sink.Token(TextToken, content, static_cast<std::uint32_t>(text.OffsetOf(content)), false);
      }
    }
    lt = next;
  }
  return true;
}

}  // namespace recaster::xml
