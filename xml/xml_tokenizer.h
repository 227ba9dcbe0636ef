// File: xml/xml_tokenizer.h - internal to xml/: the tokenizer, which hands each token to a sink as it
// finds it, so that no list of tokens need exist.
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

// Emits a tag's name and its attributes; `inner` is the tag's trimmed inner text, a view into `text`.
template <typename Sink>
void SplitTag(Units text, Units inner, std::int32_t kind, std::uint32_t tag_offset, Sink& sink) {
  const std::size_t blank = inner.Find(u' ');
  sink.Token(kind, inner.Sub(0, blank), tag_offset);
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

// Splits the document text into tokens, calling sink.Token(kind, text, offset) for each in order.
// False, with the error, at the first "<" without a later ">" or start tag with nothing inside.
template <typename Sink>
bool TokenizeTo(Units text, Sink& sink, XmlParseError* error) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t lt = text.Find(u'<', pos);
    if (lt == kNoPosition) return true;
    const std::size_t gt = text.Find(u'>', lt);
    const auto tag_offset = static_cast<std::uint32_t>(lt);
    if (gt == kNoPosition) return Fail(error, XmlError::kUnclosedTag, tag_offset);
    pos = gt;
    if (text[gt - 1] == u'/') {
      const Units inner = Trim(text.Sub(lt + 1, gt - 1 - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      SplitTag(text, inner, EmptyTag, tag_offset, sink);
    } else if (text[lt + 1] == u'/') {
      sink.Token(EndTag, Trim(text.Sub(lt + 2, gt - (lt + 2))), tag_offset);
    } else {
      const Units inner = Trim(text.Sub(lt + 1, gt - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      SplitTag(text, inner, StartTag, tag_offset, sink);
      const std::size_t next = text.Find(u'<', gt + 1);
      if (next != kNoPosition) {
        const Units content = Trim(text.Sub(gt + 1, next - (gt + 1)));
        if (!content.empty()) sink.Token(TextToken, content, static_cast<std::uint32_t>(text.OffsetOf(content)));
        pos = next;  // nothing before it holds a "<"
      }
    }
  }
}

}  // namespace recaster::xml
