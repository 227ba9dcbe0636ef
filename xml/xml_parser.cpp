// File loading, the structure check around the tree builder, and the parser's public helpers.
#include <algorithm>
#include <bit>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "xml/xml_builder.h"
#include "xml/xml_document.h"
#include "xml/xml_tokenizer.h"

namespace recaster::xml {
namespace {

// The fixed first line of every settings file, after the byte-order mark.
constexpr std::u16string_view kDeclaration = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
constexpr std::size_t kHeaderBytes = 2 + 2 * kDeclaration.size();  // mark and declaration: 80

// Load statuses besides 0 and the system's codes.
constexpr std::int32_t kRejected = -1;
constexpr std::int32_t kNoMemory = 14;

// Hands every token to a list, for the tokenizer's public form.
struct TokenList {
  Units text;
  std::vector<XmlToken>* tokens;

  void Tag(std::int32_t kind, Units inner, std::uint32_t offset, bool) { SplitTag(text, kind, inner, offset, *this); }
  void Token(std::int32_t kind, Units part, std::uint32_t offset, bool = false) {
    tokens->push_back(XmlToken{part.str(), kind, offset});
  }
};

// The structure check around the tree builder: the first token is the root's start tag, the last an
// end tag of the root's name, and the builder sees what lies between. Once the builder has failed,
// tags go to it unsplit into their tokens, since it only looks at end tags from then on.
class DocumentTokens {
 public:
  DocumentTokens(Units text, DocumentStorage& storage) : text_(text), builder_(storage, 0) {}

  void Tag(std::int32_t kind, Units inner, std::uint32_t offset, bool last) {
    if (last) last_ = Last{kind, inner, offset};
    if (!seen_) {
      seen_ = true;
      const std::size_t blank = inner.Find(u' ');
      root_ = inner.Sub(0, blank);
      if (kind == StartTag) {
        SplitAttributes(text_, inner, blank, builder_);  // the builder refuses them
      } else {
        structure_ = XmlParseError{XmlError::kFirstTagNotStart, offset};
      }
    } else if (structure_.error == XmlError::kNone && !builder_.Failed()) {
      SplitTag(text_, kind, inner, offset, builder_);
    }
  }

  void Token(std::int32_t kind, Units part, std::uint32_t offset, bool last) {
    if (!seen_) {  // an end tag first (a text never is)
      seen_ = true;
      structure_ = XmlParseError{XmlError::kFirstTagNotStart, offset};
    } else if (!last && structure_.error == XmlError::kNone) {
      builder_.Token(kind, part, offset);
    }
    if (last) last_ = Last{kind, part, offset};  // the root's end tag, when all is well
  }

  // The structure check: true when the tokens are a root's start tag, what it holds, and its end tag.
  bool Structured(XmlParseError* error) const {
    if (!seen_) return Fail(error, XmlError::kNoElements, 0);
    if (structure_.error != XmlError::kNone) return Fail(error, structure_.error, structure_.offset);
    if (last_.kind != EndTag) return Fail(error, XmlError::kLastTagNotEnd, LastTokenOffset());
    if (!(last_.text == root_)) return Fail(error, XmlError::kRootNameMismatch, last_.offset);
    return true;
  }

  // After the structure check: names the document after its root and gives it what the builder made.
  bool Build(XmlDocument& document, XmlParseError* error) {
    XmlAccess::SetName(document, root_.str());
    return builder_.Finish(document, error);
  }

 private:
  struct Last {
    std::int32_t kind = StartTag;
    Units text;  // a tag's inner text, or an end tag's name
    std::uint32_t offset = 0;
  };

  // Where the last token starts: a tag's last attribute, when it has any.
  std::uint32_t LastTokenOffset() const {
    struct LastOffset {
      std::uint32_t offset;
      void Token(std::int32_t, Units, std::uint32_t at) { offset = at; }
    } last{last_.offset};
    SplitAttributes(text_, last_.text, last_.text.Find(u' '), last);
    return last.offset;
  }

  Units text_;
  TreeBuilder builder_;
  bool seen_ = false;
  Units root_;
  XmlParseError structure_;
  Last last_;  // the last tag
};

// Line and column, as an editor shows them, of a code unit of the document text. The text starts on
// the declaration's line, just after it.
void PlaceInFile(Units text, std::uint32_t offset, XmlLoadResult* result) {
  const std::size_t end = std::min<std::size_t>(offset, text.size());
  std::uint32_t line = 1;
  std::size_t line_start = kNoPosition;
  for (std::size_t lf = text.Find(u'\n'); lf < end; lf = text.Find(u'\n', lf + 1)) {
    ++line;
    line_start = lf;
  }
  result->line = line;
  result->column = line_start == kNoPosition ? static_cast<std::uint32_t>(kDeclaration.size() + 1 + end)
                                             : static_cast<std::uint32_t>(end - line_start);
}

XmlLoadResult Failure(std::int32_t status, XmlError error) {
  XmlLoadResult result;
  result.status = status;
  result.error = error;
  return result;
}

// What a file refused before its text is read looks like, told by its first bytes: JSON (perhaps a
// version 6 file), XML encoded as UTF-8, or UTF-16 of the other byte order. Empty when none of these.
std::string RecogniseFile(std::string_view bytes) {
  std::string_view rest = bytes;
  if (rest.starts_with("\xEF\xBB\xBF")) rest.remove_prefix(3);  // UTF-8's byte-order mark
  if (rest.starts_with("\xFE\xFF")) {
    return "the file is UTF-16 big-endian; a version 5 settings file is UTF-16 little-endian, starting with "
           "the byte-order mark FF FE";
  }
  if (rest.size() >= 2 && rest[0] == '<' && rest[1] == '\0') {
    return "the file is UTF-16 little-endian without its byte-order mark; a version 5 settings file starts "
           "with the bytes FF FE";
  }
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(" \t\r\n")));
  if (rest.starts_with('{') || rest.starts_with('[')) {
    return "the file looks like JSON, perhaps a version 6 file already; recaster check reads those";
  }
  if (rest.starts_with('<')) {
    return "the file is XML encoded as UTF-8 (or another 8-bit encoding); a version 5 settings file is UTF-16 "
           "little-endian with the byte-order mark, and its first line is exactly "
           "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
  }
  return std::string();
}

// A refusal before the text is read, with what the file looks like when that can be told.
XmlLoadResult RefusedFile(XmlError error, std::string_view bytes) {
  XmlLoadResult result = Failure(kRejected, error);
  result.hint = RecogniseFile(bytes);
  return result;
}

// The first markup a settings file never holds (a comment, a processing instruction after the
// declaration, a DOCTYPE or a CDATA section), as words and the offset where it starts; none when the
// text has none.
struct Foreign {
  std::string_view what;
  std::size_t offset = kNoPosition;
};
Foreign FindForeignMarkup(Units text) {
  for (std::size_t lt = text.Find(u'<'); lt != kNoPosition; lt = text.Find(u'<', lt + 1)) {
    const Units at = text.Sub(lt);
    if (at.StartsWith(u"<!--")) return {"a comment (<!-- -->)", lt};
    if (at.StartsWith(u"<?")) return {"a processing instruction (<? ?>)", lt};
    if (at.StartsWith(u"<!")) return {"a DOCTYPE or CDATA section (<! >)", lt};
  }
  return {};
}

XmlLoadResult SystemFailure(XmlError error, const platform::OsStatus& os) {
  XmlLoadResult result = Failure(static_cast<std::int32_t>(os.code), error);
  result.system_error = os.code;
  result.system_message = os.message.empty() ? platform::DescribeSystemError(os.code) : os.message;
  return result;
}

}  // namespace

XmlLoadResult XmlAccess::Parse(XmlDocument& document, Units text) {
  DocumentTokens tokens(text, Renew(document));
  XmlParseError error;
  if (!TokenizeTo(text, tokens, &error) || !tokens.Structured(&error)) {
    Reset(document);  // refused text leaves no tree
  } else if (tokens.Build(document, &error)) {
    return XmlLoadResult{};
  }
  XmlLoadResult result = Failure(kRejected, error.error);
  // Markup added by hand is the likeliest cause of any refusal, so it is named at its own place.
  if (const Foreign foreign = FindForeignMarkup(text); foreign.offset != kNoPosition) {
    result.hint = std::string(foreign.what) + " is not part of a settings file; remove it";
    PlaceInFile(text, static_cast<std::uint32_t>(foreign.offset), &result);
  } else if (error.error != XmlError::kNoElements) {
    PlaceInFile(text, error.offset, &result);
  }
  return result;
}

std::u16string_view TrimXmlSpace(std::u16string_view text) {
  const Units trimmed = Trim(Units::Of(text));
  return text.substr(Units::Of(text).OffsetOf(trimmed), trimmed.size());
}

std::u16string UnescapeXml(std::u16string_view text) {
  std::u16string out;
  DecodeEntities(Units::Of(text), &out);
  return out;
}

bool Tokenize(std::u16string_view text, std::vector<XmlToken>* tokens, XmlParseError* error) {
  tokens->clear();
  TokenList list{Units::Of(text), tokens};
  return TokenizeTo(Units::Of(text), list, error);
}

// The elements are built in a document of their own, then copied under `parent`.
bool BuildTree(const std::vector<XmlToken>& tokens, std::size_t begin, std::size_t end, XmlNode& parent,
               XmlParseError* error) {
  XmlDocument built(u"");
  TreeBuilder builder(XmlAccess::Renew(built), static_cast<std::uint32_t>(parent.ChildCount()));
  for (std::size_t i = begin; i < std::min(end, tokens.size()); ++i) {
    builder.Token(tokens[i].kind, Units::Of(tokens[i].text), tokens[i].offset);
  }
  const bool built_whole = builder.Finish(built, error);
  for (std::int32_t i = 0; i < built.ChildCount(); ++i) XmlAccess::AppendCopy(parent, built.ChildAt(i));
  return built_whole;
}

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
  if (bytes.size() <= kHeaderBytes) return RefusedFile(XmlError::kTooShort, bytes);
  const auto byte_at = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (byte_at(0) != 0xFF || byte_at(1) != 0xFE) return RefusedFile(XmlError::kNoByteOrderMark, bytes);
  const auto unit_at = [&byte_at](std::size_t byte) {
    return static_cast<char16_t>(byte_at(byte) | (byte_at(byte + 1) << 8));
  };
  for (std::size_t k = 0; k < kDeclaration.size(); ++k) {
    if (unit_at(2 + 2 * k) != kDeclaration[k]) return Failure(kRejected, XmlError::kBadDeclaration);
  }
  const std::size_t units = (bytes.size() - kHeaderBytes) / 2;
  try {
    // The text is read where it lies; only a machine of the other byte order needs a copy.
    if constexpr (std::endian::native == std::endian::little) {
      return XmlAccess::Parse(*this, Units(bytes.data() + kHeaderBytes, units));
    } else {
      std::u16string text(units, u'\0');
      for (std::size_t k = 0; k < units; ++k) text[k] = unit_at(kHeaderBytes + 2 * k);
      return XmlAccess::Parse(*this, Units::Of(text));
    }
  } catch (const std::bad_alloc&) {
    // Load reports every failure as a status; memory for the tree is no exception.
    Reset();
    return Failure(kNoMemory, XmlError::kOutOfMemory);
  }
}

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
  std::string text = result.hint.empty() ? std::string(DescribeXmlError(result.error)) : result.hint;
  if (!result.system_message.empty()) {
    text += ": " + result.system_message + " (system error " + std::to_string(result.system_error) + ")";
  }
  if (result.line != 0) {
    text += " (line " + std::to_string(result.line) + ", column " + std::to_string(result.column) + ")";
  }
  return text;
}

}  // namespace recaster::xml
