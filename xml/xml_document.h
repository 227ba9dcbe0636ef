// File: xml/xml_document.h - the element tree of a version 5 settings file and its strict parser.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_text.h"  // the integer and flag forms of element text

namespace recaster::xml {

struct XmlAccess;

// One element: a name, a text, attributes by name and children in document order. The null node
// (NullNode) is the one invalid element; every change applied to it has no effect.
//
// A loaded element keeps its name, text, attributes and children in its document's storage and takes
// 48 bytes; it gets storage of its own for whatever is changed later, and a copy owns all of its parts.
class XmlNode {
 public:
  using AttributeMap = std::map<std::u16string, std::u16string, std::less<>>;

  explicit XmlNode(std::u16string name);
  virtual ~XmlNode();
  // A deep copy that owns all of its parts.
  XmlNode(const XmlNode& other);
  // Replaces this node's contents by a deep copy of `other`; no effect on the null node.
  XmlNode& operator=(const XmlNode& other);
  // Takes over what `other` owns and copies what its document holds, so the result never depends on
  // that document; `other` is left empty (the null node is left as it is).
  XmlNode(XmlNode&& other);
  XmlNode& operator=(XmlNode&& other);

  // False only for the null node.
  bool IsValid() const { return (flags_ & kValid) != 0; }

  const std::u16string& Name() const { return *name_; }
  const std::u16string& Text() const { return *text_; }
  // Replaces the text; no effect on the null node.
  void SetText(std::u16string text);
  // Text "1" or "0" (FormatXmlBool); no effect on the null node.
  void SetTextBool(bool value);
  // Text in signed decimal ("-1", "514", FormatXmlInt); no effect on the null node.
  void SetTextInt(std::int32_t value);

  // The first child with exactly this name, in document order; the null node when there is none.
  const XmlNode& FindChild(std::u16string_view name) const;
  XmlNode& FindChild(std::u16string_view name);
  // Appends a new child (never looks for an existing one); on the null node returns the null node.
  // References to this node's children are invalidated.
  XmlNode& AddChild(std::u16string name);
  // Makes room for `count` children in all, so that appending them moves none; nothing visible
  // changes. No effect on the null node.
  void ReserveChildren(std::int32_t count);
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(child_count_); }
  // The child at `position` (0 is the first); the null node when out of range.
  const XmlNode& ChildAt(std::int32_t position) const;
  XmlNode& ChildAt(std::int32_t position);

  // The number of distinct attribute names.
  std::int32_t AttributeCount() const;
  // The attribute's value, or empty text when the node has none of that name.
  std::u16string GetAttribute(std::u16string_view name) const;
  // Inserts the attribute or replaces its value; no effect on the null node.
  void SetAttribute(std::u16string name, std::u16string value);
  // The attributes in name order. A loaded element orders them when first asked.
  const AttributeMap& Attributes() const;

  // Kept for the settings loader: look-ups scan the children in order and need no index.
  void RebuildIndex() {}

 protected:
  // The null node's constructor.
  struct InvalidTag {};
  explicit XmlNode(InvalidTag);

  void SetName(std::u16string name);
  // Drops the text, the attributes and the children.
  void Clear();

 private:
  friend struct XmlAccess;
  friend const XmlNode& NullNode();

  // The attributes of a loaded element as the file gave them, in its document's storage.
  struct LoadedAttributes;
  // A loaded element's parts, all in its document's storage.
  struct Parts {
    const std::u16string* name;
    const std::u16string* text;
    XmlNode* children;
    const LoadedAttributes* attributes;
    std::uint32_t child_count;
  };
  explicit XmlNode(const Parts& parts);

  enum : std::uint32_t {
    kValid = 1,
    kOwnsName = 2,
    kOwnsText = 4,
    kOwnsChildren = 8,       // children_ came from operator new, room for 1 << (flags_ >> kRoomShift)
    kOwnsAttributes = 16,    // attributes_.owned is ours; otherwise attributes_.loaded, or none
    kRoomShift = 8,
  };

  static constexpr std::uint32_t kChildBits = kOwnsChildren | ~((1u << kRoomShift) - 1);

  void FreeOwned(bool name) const noexcept;
  void ReleaseContent() noexcept;
  void OwnParts();
  void TakeParts(XmlNode& other);
  void MakeRoom(std::uint32_t count);
  AttributeMap& OwnAttributes() const;

  const std::u16string* name_;
  const std::u16string* text_;
  XmlNode* children_ = nullptr;
  mutable union {
    AttributeMap* owned;
    const LoadedAttributes* loaded;
  } attributes_{nullptr};
  std::uint32_t child_count_ = 0;
  mutable std::uint32_t flags_ = kValid;
};

// The process-wide invalid node that failed look-ups return; it never changes.
const XmlNode& NullNode();

// The kinds of token the tokenizer hands to the tree builder.
enum XmlTokenKind : std::int32_t {
  StartTag = 0,
  EndTag = 1,
  EmptyTag = 2,
  TextToken = 3,
  AttributeToken = 4,
};

// One token: its text (a name, a text content, or one attribute as written) and where it starts.
struct XmlToken {
  std::u16string text;
  std::int32_t kind = StartTag;
  std::uint32_t offset = 0;  // code-unit offset of the construct in the document text
};

// Why a load failed, for a person to act on.
enum class XmlError {
  kNone,
  kInvalidDocument,    // Load called on the null node
  kOpenFailed,         // the system refused to open the file
  kReadFailed,         // the read failed or came back short
  kOutOfMemory,        // no memory for the file buffer, the tree or the settings built from it
  kTooLarge,           // larger than kMaxFileSize
  kTooShort,           // fewer than 81 bytes
  kNoByteOrderMark,    // bytes 0 and 1 are not FF FE
  kBadDeclaration,     // not exactly <?xml version="1.0" encoding="UTF-16"?>
  kUnclosedTag,        // a "<" with no later ">"
  kEmptyTag,           // a start or empty-element tag with nothing inside
  kNoElements,         // no tag at all
  kFirstTagNotStart,   // the first tag is not a start tag
  kLastTagNotEnd,      // the last tag is not an end tag
  kRootNameMismatch,   // the last end tag does not close the root
  kNoMatchingEndTag,   // a start tag without its end tag inside its parent
  kUnexpectedEndTag,   // an end tag without its start tag
  kMisplacedText,      // text where no element can hold it (the root's own text)
  kMisplacedAttribute, // attributes on the root element
  kMalformedAttribute, // an attribute not of the form name="value"
  kTooDeep,            // elements nested deeper than kMaxDepth below the root
  kTooManyElements,    // more than kMaxElements elements below the root
  kTooManyChildren,    // an element with more than kMaxChildren children
};

// A short English description of the error, for messages.
std::string_view DescribeXmlError(XmlError error);

// The outcome of a load: the status the settings loader works with, and why it failed.
struct [[nodiscard]] XmlLoadResult {
  std::int32_t status = 0;    // 0, the system error code, 14, or -1
  XmlError error = XmlError::kNone;
  std::uint32_t system_error = 0;  // the system's code for open and read failures
  std::string system_message;      // the system's own text for open and read failures (UTF-8)
  // Where rejected text starts, 1-based, counted over the whole file as an editor shows it (the
  // declaration is line 1); 0 when the failure has no place in the text.
  std::uint32_t line = 0;
  std::uint32_t column = 0;  // in UTF-16 code units
  // What the refused file was recognised as and what to do about it, when the loader could tell
  // (a JSON file, XML in another encoding, a comment); empty otherwise. It stands in the description
  // in place of the error's own words.
  std::string hint;

  bool ok() const { return status == 0; }
};

// One line for a person: what failed and why, with the line and column where there is one.
std::string DescribeLoadResult(const XmlLoadResult& result);

// Limits that protect the reader, and whatever reads the tree, from hostile files; no real server
// file comes near them (the README tells why). The items of a list are the children of its element,
// so kMaxChildren is also the longest list a file can give.
inline constexpr std::uint32_t kMaxFileSize = 64u * 1024u * 1024u;  // bytes
inline constexpr int kMaxDepth = 256;                                // elements below the root
inline constexpr std::uint32_t kMaxElements = 1u << 20;              // 1048576 elements below the root
inline constexpr std::uint32_t kMaxChildren = 1u << 14;              // 16384 children of one element

struct DocumentStorage;

// The document: the root element itself, loaded once from a version 5 file. It holds the storage of
// its loaded elements, so it is neither copied nor moved (a copy of it as an XmlNode owns its parts).
class XmlDocument : public XmlNode {
 public:
  explicit XmlDocument(std::u16string name);
  ~XmlDocument() override;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Reads and parses the file; 0 on success, else the system's error code, 14 or -1.
  [[nodiscard]] std::int32_t Load(const std::u16string& path);
  // The same, with the reason for a failure.
  XmlLoadResult LoadWithResult(const std::u16string& path);
  // Checks and parses the bytes of a whole file, as Load does after reading it.
  XmlLoadResult LoadFromBytes(std::string_view bytes);

 private:
  friend struct XmlAccess;
  // Drops the tree, then the storage it lived in.
  void Reset();

  std::unique_ptr<DocumentStorage> storage_;
};

// Removes blanks, tabs, CRs and LFs from both ends.
std::u16string_view TrimXmlSpace(std::u16string_view text);

// Decodes the entities for >, <, " and &, in that order, one pass each.
std::u16string UnescapeXml(std::u16string_view text);

// A parse failure: what went wrong and at which code-unit offset of the document text.
struct XmlParseError {
  XmlError error = XmlError::kNone;
  std::uint32_t offset = 0;
};

// Splits the document text into tokens. False (with the error) when a tag is unclosed or empty.
bool Tokenize(std::u16string_view text, std::vector<XmlToken>* tokens, XmlParseError* error);

// Builds the children of `parent` from tokens[begin, end), `parent` standing at the top (the document).
// Takes time linear in the tokens and a fixed call depth; elements more than kMaxDepth below `parent`,
// more than kMaxElements in all or more than kMaxChildren under one element fail.
bool BuildTree(const std::vector<XmlToken>& tokens, std::size_t begin, std::size_t end, XmlNode& parent,
               XmlParseError* error);

}  // namespace recaster::xml
