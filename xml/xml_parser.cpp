// The tokenizer, the structure check, the tree builder and file loading.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "xml/xml_document.h"

namespace recaster::xml {
namespace {

constexpr std::size_t kNone = std::u16string_view::npos;

// The fixed first line of every settings file, after the byte-order mark.
constexpr std::u16string_view kDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
constexpr std::size_t kHeaderBytes = 2 + 2 * kDeclaration.size();  // mark and declaration: 80

// Load statuses besides 0 and the system's codes.
constexpr std::int32_t kRejected = -1;
constexpr std::int32_t kNoMemory = 14;

bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::uint32_t OffsetIn(std::u16string_view whole, std::u16string_view part) {
  return static_cast<std::uint32_t>(part.data() - whole.data());
}

bool Fail(XmlParseError* error, XmlError code, std::uint32_t offset) {
  if (error != nullptr) *error = XmlParseError{code, offset};
  return false;
}

// Replaces every `from` by the single unit `to`, left to right, never rescanning what it put in.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from, char16_t to) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find(from); hit != kNone; hit = text.find(from, pos)) {
    out.append(text.substr(pos, hit - pos));
    out.push_back(to);
    pos = hit + from.size();
  }
  out.append(text.substr(pos));
  return out;
}

// The loader's own token: the same as XmlToken, but its text is a place in the document text, so
// that tokenizing copies nothing and a token takes 16 bytes. Tokenize and BuildTree give the same
// results with either kind; `whole` is the document text, unused by XmlToken.
struct ViewToken {
  std::uint32_t start = 0;   // the text's first code unit in the document text
  std::uint32_t length = 0;  // and its length
  std::uint32_t offset = 0;
  std::int32_t kind = StartTag;
};

std::u16string_view TextOf(const XmlToken& token, std::u16string_view) { return token.text; }
std::u16string_view TextOf(const ViewToken& token, std::u16string_view whole) {
  return whole.substr(token.start, token.length);
}

void Emit(std::vector<XmlToken>* tokens, std::u16string_view, std::u16string_view text, XmlTokenKind kind,
          std::uint32_t offset) {
  tokens->push_back(XmlToken{std::u16string(text), kind, offset});
}
void Emit(std::vector<ViewToken>* tokens, std::u16string_view whole, std::u16string_view text, XmlTokenKind kind,
          std::uint32_t offset) {
  tokens->push_back(ViewToken{OffsetIn(whole, text), static_cast<std::uint32_t>(text.size()), offset, kind});
}

// Emits a tag's name and its attributes; `inner` is the tag's trimmed inner text, a view into `text`.
template <typename Token>
void SplitTag(std::u16string_view text, std::u16string_view inner, XmlTokenKind kind, std::uint32_t tag_offset,
              std::vector<Token>* tokens) {
  const std::size_t sp = inner.find(u' ');
  Emit(tokens, text, inner.substr(0, sp), kind, tag_offset);
  if (sp == kNone) return;
  std::size_t start = sp + 1;
  for (;;) {
    const std::size_t eq = inner.find(u"=\"", start);
    if (eq == kNone) break;
    const std::size_t quote = inner.find(u"\" ", eq + 2);
    if (quote == kNone) break;
    const std::u16string_view attribute = TrimXmlSpace(inner.substr(start, quote + 1 - start));
    Emit(tokens, text, attribute, AttributeToken, OffsetIn(text, attribute));
    start = quote + 2;
  }
  const std::u16string_view rest = inner.substr(start);
  Emit(tokens, text, rest, AttributeToken, OffsetIn(text, rest));
}

template <typename Token>
bool TokenizeInto(std::u16string_view text, std::vector<Token>* tokens, XmlParseError* error) {
  tokens->clear();
  // Every tag gives a token and most give one only: room for that many saves the list's regrowth. A
  // tag takes three units at least, which bounds the room when "<" stands inside tags.
  const auto opening = static_cast<std::size_t>(std::count(text.begin(), text.end(), u'<'));
  tokens->reserve(std::min(opening, text.size() / 3));
  std::size_t pos = 0;
  for (;;) {
    const std::size_t lt = text.find(u'<', pos);
    if (lt == kNone) return true;
    const std::size_t gt = text.find(u'>', lt);
    const auto tag_offset = static_cast<std::uint32_t>(lt);
    if (gt == kNone) return Fail(error, XmlError::kUnclosedTag, tag_offset);
    pos = gt;
    if (text[gt - 1] == u'/') {
      const std::u16string_view inner = TrimXmlSpace(text.substr(lt + 1, gt - 1 - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      SplitTag(text, inner, EmptyTag, tag_offset, tokens);
    } else if (text[lt + 1] == u'/') {
      Emit(tokens, text, TrimXmlSpace(text.substr(lt + 2, gt - (lt + 2))), EndTag, tag_offset);
    } else {
      const std::u16string_view inner = TrimXmlSpace(text.substr(lt + 1, gt - (lt + 1)));
      if (inner.empty()) return Fail(error, XmlError::kEmptyTag, tag_offset);
      SplitTag(text, inner, StartTag, tag_offset, tokens);
      const std::size_t next = text.find(u'<', gt + 1);
      if (next != kNone) {
        const std::u16string_view content = TrimXmlSpace(text.substr(gt + 1, next - (gt + 1)));
        if (!content.empty()) Emit(tokens, text, content, TextToken, OffsetIn(text, content));
        pos = next;  // nothing before it holds a "<"
      }
    }
  }
}

// Reads the attribute tokens from `pos` (before `end`) into `element`; the position after them, or
// kNone when one is not of the form name="value".
template <typename Token>
std::size_t ReadAttributes(const std::vector<Token>& tokens, std::u16string_view whole, std::size_t pos,
                           std::size_t end, XmlNode& element, XmlParseError* error) {
  for (; pos < end && tokens[pos].kind == AttributeToken; ++pos) {
    const std::u16string_view s = TextOf(tokens[pos], whole);
    const std::size_t eq = s.find(u'=');
    if (s.empty() || eq == kNone || eq + 1 >= s.size() || s[eq + 1] != u'"' || s.back() != u'"') {
      Fail(error, XmlError::kMalformedAttribute, tokens[pos].offset);
      return kNone;
    }
    // In `x="` the quote after "=" is also the final one and the value is empty.
    const std::size_t value_start = eq + 2;
    const std::size_t value_end = s.size() - 1;
    std::u16string_view value;
    if (value_end > value_start) value = s.substr(value_start, value_end - value_start);
    element.SetAttribute(std::u16string(s.substr(0, eq)), UnescapeXml(value));
  }
  return pos;
}

// Token positions fit 32 bits: the text is at most kMaxFileSize / 2 code units.
constexpr std::uint32_t kNoEnd = UINT32_MAX;

// The position of the latest end tag put for each name: an open-addressing table that grows by
// doubling, so that a file of many distinct names costs no allocation per name.
class LatestEndTags {
 public:
  LatestEndTags() : slots_(kFirstSize) {}

  void Put(std::u16string_view name, std::uint32_t position) {
    const std::size_t hash = std::hash<std::u16string_view>{}(name);
    Slot& slot = SlotFor(name, hash);
    if (slot.position == kNoEnd) {
      if (2 * (used_ + 1) > slots_.size()) {
        Grow();
        SlotFor(name, hash) = Slot{name, hash, position};
      } else {
        slot = Slot{name, hash, position};
      }
      ++used_;
      return;
    }
    slot.position = position;
  }

  // The position put last for the name, or kNoEnd.
  std::uint32_t Find(std::u16string_view name) const {
    return const_cast<LatestEndTags*>(this)->SlotFor(name, std::hash<std::u16string_view>{}(name)).position;
  }

 private:
  static constexpr std::size_t kFirstSize = 64;  // a power of two, as every later size
  struct Slot {
    std::u16string_view name;
    std::size_t hash = 0;
    std::uint32_t position = kNoEnd;  // kNoEnd: the slot is free
  };

  // The slot that holds the name, or the free slot where it belongs.
  Slot& SlotFor(std::u16string_view name, std::size_t hash) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot& slot = slots_[i];
      if (slot.position == kNoEnd || (slot.hash == hash && slot.name == name)) return slot;
    }
  }

  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position == kNoEnd) continue;
      std::size_t i = slot.hash & mask;
      while (slots_[i].position != kNoEnd) i = (i + 1) & mask;
      slots_[i] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};

// How many elements tokens[from, to) hold at their top level, stepping over each element's content
// by its end tag; it stops at a start tag whose end lies outside, where the build will fail anyway.
template <typename Token>
std::int32_t CountChildren(const std::vector<Token>& tokens, const std::vector<std::uint32_t>& closing,
                           std::size_t base, std::size_t from, std::size_t to) {
  std::int32_t count = 0;
  for (std::size_t i = from; i < to;) {
    if (tokens[i].kind == StartTag) {
      const std::uint32_t close = closing[i - base];
      if (close == kNoEnd || close >= to) break;
      ++count;
      i = close + 1;
    } else {
      count += tokens[i].kind == EmptyTag ? 1 : 0;
      ++i;
    }
  }
  return count;
}

// The limit that one more element under `parent`, `depth` below the top, would break; kNone if none.
XmlError BrokenLimit(const XmlNode& parent, int depth, std::uint32_t elements) {
  if (depth >= kMaxDepth) return XmlError::kTooDeep;
  if (static_cast<std::uint32_t>(parent.ChildCount()) >= kMaxChildren) return XmlError::kTooManyChildren;
  if (elements >= kMaxElements) return XmlError::kTooManyElements;
  return XmlError::kNone;
}

// Room for `more` children after `have`, never beyond what the limit lets an element hold.
std::int32_t Room(std::int32_t have, std::int32_t more) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{have} + more, kMaxChildren));
}

// The builder walks the tokens once with its own stack of open elements, so neither the input's
// nesting nor its length can exhaust the call stack. The end of an element is the first later end
// tag of its name; that tag is looked up in a table made by one backward pass, and it lies within
// the enclosing range exactly when its index is below the range's end.
template <typename Token>
bool BuildTreeFrom(const std::vector<Token>& tokens, std::u16string_view whole, std::size_t begin, std::size_t end,
                   XmlNode& parent, XmlParseError* error) {
  end = std::min(end, tokens.size());
  if (begin >= end) return true;

  std::vector<std::uint32_t> closing(end - begin, kNoEnd);
  {
    LatestEndTags latest_end;
    for (std::size_t i = end; i-- > begin;) {
      const Token& token = tokens[i];
      if (token.kind == EndTag) {
        latest_end.Put(TextOf(token, whole), static_cast<std::uint32_t>(i));
      } else if (token.kind == StartTag) {
        closing[i - begin] = latest_end.Find(TextOf(token, whole));
      }
    }
  }

  struct Open {
    XmlNode* element;
    std::size_t end;  // the index of the element's end tag, or of the range's end
    int depth;        // elements between it and `parent`, itself included
  };
  parent.ReserveChildren(Room(parent.ChildCount(), CountChildren(tokens, closing, begin, begin, end)));
  std::vector<Open> open{{&parent, end, 0}};
  std::uint32_t elements = 0;  // added so far
  std::size_t i = begin;
  for (;;) {
    const Open current = open.back();
    if (i >= current.end) {
      open.pop_back();
      if (open.empty()) return true;
      i = current.end + 1;  // past the element's end tag
      continue;
    }
    const Token& token = tokens[i];
    switch (token.kind) {
      case EmptyTag: {
        const XmlError limit = BrokenLimit(*current.element, current.depth, elements++);
        if (limit != XmlError::kNone) return Fail(error, limit, token.offset);
        XmlNode& child = current.element->AddChild(std::u16string(TextOf(token, whole)));
        i = ReadAttributes(tokens, whole, i + 1, current.end, child, error);
        if (i == kNone) return false;
        break;
      }
      case StartTag: {
        const XmlError limit = BrokenLimit(*current.element, current.depth, elements++);
        if (limit != XmlError::kNone) return Fail(error, limit, token.offset);
        XmlNode& child = current.element->AddChild(std::u16string(TextOf(token, whole)));
        const std::uint32_t close = closing[i - begin];
        if (close == kNoEnd || close >= current.end) return Fail(error, XmlError::kNoMatchingEndTag, token.offset);
        std::size_t next = ReadAttributes(tokens, whole, i + 1, close, child, error);
        if (next == kNone) return false;
        if (next < close && tokens[next].kind == TextToken) child.SetText(UnescapeXml(TextOf(tokens[next++], whole)));
        if (next < close) {
          child.ReserveChildren(Room(0, CountChildren(tokens, closing, begin, next, close)));
          open.push_back(Open{&child, close, current.depth + 1});
          i = next;
        } else {
          i = close + 1;
        }
        break;
      }
      case EndTag:
        return Fail(error, XmlError::kUnexpectedEndTag, token.offset);
      case TextToken:
        return Fail(error, XmlError::kMisplacedText, token.offset);
      default:
        return Fail(error, XmlError::kMisplacedAttribute, token.offset);
    }
  }
}

// Line and column, as an editor shows them, of a code unit of the document text. The text starts on
// the declaration's line, just after it.
void PlaceInFile(std::u16string_view text, std::uint32_t offset, XmlLoadResult* result) {
  const std::u16string_view before = text.substr(0, std::min<std::size_t>(offset, text.size()));
  std::uint32_t line = 1;
  for (char16_t c : before) line += c == u'\n' ? 1 : 0;
  const std::size_t last_lf = before.rfind(u'\n');
  result->line = line;
  result->column = last_lf == kNone ? static_cast<std::uint32_t>(kDeclaration.size() + 1 + before.size())
                                    : static_cast<std::uint32_t>(before.size() - last_lf);
}

XmlLoadResult Failure(std::int32_t status, XmlError error) {
  XmlLoadResult result;
  result.status = status;
  result.error = error;
  return result;
}

XmlLoadResult SystemFailure(XmlError error, const platform::OsStatus& os) {
  XmlLoadResult result = Failure(static_cast<std::int32_t>(os.code), error);
  result.system_error = os.code;
  result.system_message = os.message.empty() ? platform::DescribeSystemError(os.code) : os.message;
  return result;
}

}  // namespace

// Gives the loader the document's protected parts.
struct XmlDocumentAccess {
  static XmlLoadResult Parse(XmlDocument& document, std::u16string_view text) {
    document.Clear();
    XmlParseError error;
    if (!ParseText(document, text, &error)) {
      XmlLoadResult result = Failure(kRejected, error.error);
      if (error.error != XmlError::kNoElements) PlaceInFile(text, error.offset, &result);
      return result;
    }
    return XmlLoadResult{};
  }

 private:
  // The structure check and the tree builder.
  static bool ParseText(XmlDocument& document, std::u16string_view text, XmlParseError* error) {
    std::vector<ViewToken> tokens;
    if (!TokenizeInto(text, &tokens, error)) return false;
    if (tokens.empty()) return Fail(error, XmlError::kNoElements, 0);
    const ViewToken& first = tokens.front();
    const ViewToken& last = tokens.back();
    if (first.kind != StartTag) return Fail(error, XmlError::kFirstTagNotStart, first.offset);
    if (last.kind != EndTag) return Fail(error, XmlError::kLastTagNotEnd, last.offset);
    if (TextOf(last, text) != TextOf(first, text)) return Fail(error, XmlError::kRootNameMismatch, last.offset);
    document.SetName(std::u16string(TextOf(first, text)));
    // The root's start and end tag are distinct tokens, so the range below is well-formed.
    return BuildTreeFrom(tokens, text, 1, tokens.size() - 1, document, error);
  }
};

std::u16string_view TrimXmlSpace(std::u16string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  while (end > begin && IsXmlSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// One new string per pass keeps each pass linear, whatever the text holds.
std::u16string UnescapeXml(std::u16string_view text) {
  if (text.find(u'&') == kNone) return std::u16string(text);
  std::u16string out = ReplaceAll(text, u"&gt;", u'>');
  out = ReplaceAll(out, u"&lt;", u'<');
  out = ReplaceAll(out, u"&quot;", u'"');
  return ReplaceAll(out, u"&amp;", u'&');
}

bool Tokenize(std::u16string_view text, std::vector<XmlToken>* tokens, XmlParseError* error) {
  return TokenizeInto(text, tokens, error);
}

bool BuildTree(const std::vector<XmlToken>& tokens, std::size_t begin, std::size_t end, XmlNode& parent,
               XmlParseError* error) {
  return BuildTreeFrom(tokens, {}, begin, end, parent, error);
}

XmlDocument::XmlDocument(std::u16string name) : XmlNode(std::move(name)) {}

XmlDocument::~XmlDocument() = default;

std::int32_t XmlDocument::Load(const std::u16string& path) { return LoadWithResult(path).status; }

XmlLoadResult XmlDocument::LoadWithResult(const std::u16string& path) {
  if (!IsValid()) return Failure(kRejected, XmlError::kInvalidDocument);
  platform::FileSystem& fs = platform::Files();
  platform::FileHandle handle = platform::kNoFile;
  if (platform::OsStatus os = fs.OpenForReading(path, &handle); !os.ok()) {
    return SystemFailure(XmlError::kOpenFailed, os);
  }
  platform::ScopedFile file(fs, handle);
  std::uint64_t size = 0;
  if (platform::OsStatus os = fs.FileSize(handle, &size); !os.ok()) return SystemFailure(XmlError::kOpenFailed, os);
  // Refused before anything is allocated: a settings file is a few hundred kilobytes at most.
  if (size > kMaxFileSize) return Failure(kRejected, XmlError::kTooLarge);
  const auto byte_count = static_cast<std::uint32_t>(size);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[byte_count]);
  if (!buffer) return Failure(kNoMemory, XmlError::kOutOfMemory);
  std::uint32_t read = 0;
  if (platform::OsStatus os = fs.Read(handle, buffer.get(), byte_count, &read); !os.ok()) {
    return SystemFailure(XmlError::kReadFailed, os);
  }
  // A short read with no error from the system is still a failure, never a success.
  if (read != byte_count) {
    return SystemFailure(XmlError::kReadFailed, platform::OsStatus{platform::kHandleEof, {}});
  }
  file.reset();
  return LoadFromBytes(std::string_view(buffer.get(), byte_count));
}

XmlLoadResult XmlDocument::LoadFromBytes(std::string_view bytes) {
  if (!IsValid()) return Failure(kRejected, XmlError::kInvalidDocument);
  if (bytes.size() > kMaxFileSize) return Failure(kRejected, XmlError::kTooLarge);
  if (bytes.size() <= kHeaderBytes) return Failure(kRejected, XmlError::kTooShort);
  const auto byte_at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (byte_at(0) != 0xFF || byte_at(1) != 0xFE) return Failure(kRejected, XmlError::kNoByteOrderMark);
  const auto unit_at = [&byte_at](std::size_t byte) {
    return static_cast<char16_t>(byte_at(byte) | (byte_at(byte + 1) << 8));
  };
  for (std::size_t k = 0; k < kDeclaration.size(); ++k) {
    if (unit_at(2 + 2 * k) != kDeclaration[k]) return Failure(kRejected, XmlError::kBadDeclaration);
  }
  try {
    std::u16string text((bytes.size() - kHeaderBytes) / 2, u'\0');
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(text.data(), bytes.data() + kHeaderBytes, text.size() * 2);
    } else {
      for (std::size_t k = 0; k < text.size(); ++k) text[k] = unit_at(kHeaderBytes + 2 * k);
    }
    return XmlDocumentAccess::Parse(*this, text);
  } catch (const std::bad_alloc&) {
    // Load reports every failure as a status; memory for the text and the tree is no exception.
    return Failure(kNoMemory, XmlError::kOutOfMemory);
  }
}

// The texts below name the limits.
static_assert(kMaxDepth == 256 && kMaxElements == 1048576 && kMaxChildren == 16384);

std::string_view DescribeXmlError(XmlError error) {
  switch (error) {
    case XmlError::kNone: return "no error";
    case XmlError::kInvalidDocument: return "the document is the null node";
    case XmlError::kOpenFailed: return "cannot open the file";
    case XmlError::kReadFailed: return "cannot read the file";
    case XmlError::kOutOfMemory: return "not enough memory";
    case XmlError::kTooLarge: return "the file is larger than 64 MiB";
    case XmlError::kTooShort: return "the file is too short to hold a settings document";
    case XmlError::kNoByteOrderMark: return "the file does not start with a UTF-16 little-endian byte-order mark";
    case XmlError::kBadDeclaration: return "the file does not start with <?xml version=\"1.0\" encoding=\"UTF-16\"?>";
    case XmlError::kUnclosedTag: return "a \"<\" has no closing \">\"";
    case XmlError::kEmptyTag: return "a tag has no name";
    case XmlError::kNoElements: return "the document holds no element";
    case XmlError::kFirstTagNotStart: return "the first tag is not a start tag";
    case XmlError::kLastTagNotEnd: return "the last tag is not an end tag";
    case XmlError::kRootNameMismatch: return "the last end tag does not close the root element";
    case XmlError::kNoMatchingEndTag: return "a start tag has no matching end tag inside its parent";
    case XmlError::kUnexpectedEndTag: return "an end tag has no start tag";
    case XmlError::kMisplacedText: return "text where no element can hold it";
    case XmlError::kMisplacedAttribute: return "attributes where no element can hold them";
    case XmlError::kMalformedAttribute: return "an attribute is not of the form name=\"value\"";
    case XmlError::kTooDeep: return "elements are nested more than 256 deep";
    case XmlError::kTooManyElements: return "the document holds more than 1048576 elements";
    case XmlError::kTooManyChildren: return "an element holds more than 16384 child elements";
  }
  return "unknown error";
}

std::string DescribeLoadResult(const XmlLoadResult& result) {
  if (result.ok()) return "loaded";
  std::string text(DescribeXmlError(result.error));
  if (!result.system_message.empty()) {
    text += ": " + result.system_message + " (system error " + std::to_string(result.system_error) + ")";
  }
  if (result.line != 0) {
    text += " (line " + std::to_string(result.line) + ", column " + std::to_string(result.column) + ")";
  }
  return text;
}

}  // namespace recaster::xml
