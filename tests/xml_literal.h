// File: tests/xml_literal.h - the reading rules of settings files taken literally, slow and plain,
// for tests and fuzz targets to hold the loader against: a tokenizer of plain searches, a builder that
// scans for each end tag and recurses, and unescaping by erase and insert. It knows no limit but depth,
// so it serves for documents far below the element and child limits.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/xml_document.h"

namespace recaster::xml::literal {

// The tags and texts of `text`, or false with the tokenizer's error.
inline bool LiteralTokenize(std::u16string_view text, std::vector<XmlToken>* tokens, XmlParseError* error) {
  constexpr auto kNone = std::u16string_view::npos;
  const auto offset = [&text](std::u16string_view part) {
    return static_cast<std::uint32_t>(part.data() - text.data());
  };
  const auto split = [&](std::u16string_view inner, XmlTokenKind kind, std::uint32_t at) {
    const std::size_t blank = inner.find(u' ');
    tokens->push_back({std::u16string(inner.substr(0, blank)), kind, at});
    if (blank == kNone) return;
    std::size_t start = blank + 1;
    for (std::size_t eq; (eq = inner.find(u"=\"", start)) != kNone;) {
      const std::size_t quote = inner.find(u"\" ", eq + 2);
      if (quote == kNone) break;
      const std::u16string_view attribute = TrimXmlSpace(inner.substr(start, quote + 1 - start));
      tokens->push_back({std::u16string(attribute), AttributeToken, offset(attribute)});
      start = quote + 2;
    }
    tokens->push_back({std::u16string(inner.substr(start)), AttributeToken, offset(inner.substr(start))});
  };
  for (std::size_t pos = 0;;) {
    const std::size_t lt = text.find(u'<', pos);
    if (lt == kNone) return true;
    const std::size_t gt = text.find(u'>', lt);
    const auto at = static_cast<std::uint32_t>(lt);
    if (gt == kNone) return *error = {XmlError::kUnclosedTag, at}, false;
    pos = gt;
    const std::u16string_view tag = text.substr(lt, gt + 1 - lt);
    if (tag[tag.size() - 2] == u'/') {
      const std::u16string_view inner = TrimXmlSpace(tag.substr(1, tag.size() - 3));
      if (inner.empty()) return *error = {XmlError::kEmptyTag, at}, false;
      split(inner, EmptyTag, at);
    } else if (tag[1] == u'/') {
      tokens->push_back({std::u16string(TrimXmlSpace(tag.substr(2, tag.size() - 3))), EndTag, at});
    } else {
      const std::u16string_view inner = TrimXmlSpace(tag.substr(1, tag.size() - 2));
      if (inner.empty()) return *error = {XmlError::kEmptyTag, at}, false;
      split(inner, StartTag, at);
      const std::size_t next = text.find(u'<', gt + 1);
      if (next == kNone) continue;
      const std::u16string_view content = TrimXmlSpace(text.substr(gt + 1, next - gt - 1));
      if (!content.empty()) tokens->push_back({std::u16string(content), TextToken, offset(content)});
      pos = next;
    }
  }
}

inline std::u16string LiteralUnescape(std::u16string text) {
  for (auto [from, to] : {std::pair<std::u16string, char16_t>{u"&gt;", u'>'}, {u"&lt;", u'<'}, {u"&quot;", u'"'},
                          {u"&amp;", u'&'}}) {
    for (std::size_t pos = text.find(from); pos != std::u16string::npos; pos = text.find(from, pos + 1)) {
      text.replace(pos, from.size(), 1, to);
    }
  }
  return text;
}

inline std::size_t LiteralAttributes(const std::vector<XmlToken>& tokens, std::size_t i, std::size_t end,
                                     XmlNode& element, XmlParseError* error) {
  for (; i < end && tokens[i].kind == AttributeToken; ++i) {
    const std::u16string& s = tokens[i].text;
    const std::size_t eq = s.find(u'=');
    if (s.empty() || eq == std::u16string::npos || eq >= s.size() - 1 || s[eq + 1] != u'"' || s.back() != u'"') {
      *error = {XmlError::kMalformedAttribute, tokens[i].offset};
      return std::u16string::npos;
    }
    const std::u16string value = eq + 2 < s.size() ? s.substr(eq + 2, s.size() - 1 - (eq + 2)) : u"";
    element.SetAttribute(s.substr(0, eq), LiteralUnescape(value));
  }
  return i;
}

inline bool LiteralBuild(const std::vector<XmlToken>& tokens, std::size_t begin, std::size_t end, XmlNode& parent,
                         int depth, XmlParseError* error) {
  std::size_t i = begin;
  while (i < end) {
    const XmlToken& token = tokens[i];
    if (token.kind != EmptyTag && token.kind != StartTag) {
      const XmlError code = token.kind == EndTag      ? XmlError::kUnexpectedEndTag
                            : token.kind == TextToken ? XmlError::kMisplacedText
                                                      : XmlError::kMisplacedAttribute;
      *error = {code, token.offset};
      return false;
    }
    if (depth >= kMaxDepth) return *error = {XmlError::kTooDeep, token.offset}, false;
    XmlNode& child = parent.AddChild(token.text);
    if (token.kind == EmptyTag) {
      i = LiteralAttributes(tokens, i + 1, end, child, error);
      if (i == std::u16string::npos) return false;
      continue;
    }
    std::size_t close = i + 1;
    while (close < end && !(tokens[close].kind == EndTag && tokens[close].text == token.text)) ++close;
    if (close == end) return *error = {XmlError::kNoMatchingEndTag, token.offset}, false;
    std::size_t next = LiteralAttributes(tokens, i + 1, end, child, error);
    if (next == std::u16string::npos) return false;
    if (next < close && tokens[next].kind == TextToken) child.SetText(LiteralUnescape(tokens[next++].text));
    if (next < close && !LiteralBuild(tokens, next, close, child, depth + 1, error)) return false;
    i = close + 1;
  }
  return true;
}

inline bool SameTree(const XmlNode& a, const XmlNode& b) {
  if (a.Name() != b.Name() || a.Text() != b.Text() || a.Attributes() != b.Attributes()) return false;
  if (a.ChildCount() != b.ChildCount()) return false;
  for (std::int32_t i = 0; i < a.ChildCount(); ++i) {
    if (!SameTree(a.ChildAt(i), b.ChildAt(i))) return false;
  }
  return true;
}

// The whole document text read by the rules into `document`: the error, or kNone; `document` keeps
// its name and gets no elements when the tokenizer or the structure check refuses the text.
inline XmlParseError LiteralParse(std::u16string_view text, XmlNode& document, std::u16string* name) {
  std::vector<XmlToken> tokens;
  XmlParseError error;
  if (!LiteralTokenize(text, &tokens, &error)) return error;
  if (tokens.empty()) return {XmlError::kNoElements, 0};
  if (tokens.front().kind != StartTag) return {XmlError::kFirstTagNotStart, tokens.front().offset};
  if (tokens.back().kind != EndTag) return {XmlError::kLastTagNotEnd, tokens.back().offset};
  if (tokens.back().text != tokens.front().text) return {XmlError::kRootNameMismatch, tokens.back().offset};
  *name = tokens.front().text;
  LiteralBuild(tokens, 1, tokens.size() - 1, document, 0, &error);
  return error;
}

}  // namespace recaster::xml::literal
