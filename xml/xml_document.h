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

// One element: a name, a text, attributes by name and children in document order. The null node
// (NullNode) is the one invalid element; every change applied to it has no effect.
class XmlNode {
 public:
  explicit XmlNode(std::u16string name);
  virtual ~XmlNode();
  // A deep copy; the copy's name index refers to the copy's own children.
  XmlNode(const XmlNode& other);
  // Replaces this node's contents by a deep copy of `other`; no effect on the null node.
  XmlNode& operator=(const XmlNode& other);
  XmlNode(XmlNode&& other) noexcept;
  XmlNode& operator=(XmlNode&& other) noexcept;

  // False only for the null node.
  bool IsValid() const { return valid_; }

  const std::u16string& Name() const { return name_; }
  const std::u16string& Text() const { return text_; }
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
  std::int32_t ChildCount() const { return static_cast<std::int32_t>(children_.size()); }
  // The child at `position` (0 is the first); the null node when out of range.
  const XmlNode& ChildAt(std::int32_t position) const;
  XmlNode& ChildAt(std::int32_t position);

  std::int32_t AttributeCount() const { return attributes_ ? static_cast<std::int32_t>(attributes_->size()) : 0; }
  // The attribute's value, or empty text when the node has none of that name.
  std::u16string GetAttribute(std::u16string_view name) const;
  // Inserts the attribute or replaces its value; no effect on the null node.
  void SetAttribute(std::u16string name, std::u16string value);
  // The attributes in name order.
  const std::map<std::u16string, std::u16string, std::less<>>& Attributes() const;

  // Rebuilds the name index of this node and of every descendant.
  void RebuildIndex();

 protected:
  // The null node's constructor.
  struct InvalidTag {};
  explicit XmlNode(InvalidTag);

  void SetName(std::u16string name) { name_ = std::move(name); }
  void Clear();

 private:
  using AttributeMap = std::map<std::u16string, std::u16string, std::less<>>;

  // A settings file holds millions of small elements at most, so a node is kept small: the attribute
  // map exists only once an attribute is set, and the name index is a bare array.
  std::u16string name_;
  std::u16string text_;
  std::vector<XmlNode> children_;
  std::unique_ptr<AttributeMap> attributes_;  // null while the node has no attribute
  // Positions of the first name_index_size_ children sorted by name, equal names in document order.
  // It may lag behind children appended since the last RebuildIndex; FindChild then falls back to
  // the ordered scan.
  std::unique_ptr<std::uint32_t[]> name_index_;
  std::uint32_t name_index_size_ = 0;
  bool valid_ = true;

  friend const XmlNode& NullNode();
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
struct XmlLoadResult {
  std::int32_t status = 0;    // 0, the system error code, 14, or -1
  XmlError error = XmlError::kNone;
  std::uint32_t system_error = 0;  // the system's code for open and read failures
  std::string system_message;      // the system's own text for open and read failures (UTF-8)
  // Where rejected text starts, 1-based, counted over the whole file as an editor shows it (the
  // declaration is line 1); 0 when the failure has no place in the text.
  std::uint32_t line = 0;
  std::uint32_t column = 0;  // in UTF-16 code units

  bool ok() const { return status == 0; }
};

// One line for a person: what failed and why, with the line and column where there is one.
std::string DescribeLoadResult(const XmlLoadResult& result);

// Limits that protect the reader, and whatever reads the tree, from hostile files; no real server
// file comes near them (the README tells why). The items of a list are the children of its element, so kMaxChildren is
// also the longest list a file can give.
inline constexpr std::uint32_t kMaxFileSize = 64u * 1024u * 1024u;  // bytes
inline constexpr int kMaxDepth = 256;                                // elements below the root
inline constexpr std::uint32_t kMaxElements = 1u << 20;              // 1048576 elements below the root
inline constexpr std::uint32_t kMaxChildren = 1u << 14;              // 16384 children of one element

// The document: the root element itself, loaded once from a version 5 file.
class XmlDocument : public XmlNode {
 public:
  explicit XmlDocument(std::u16string name);
  ~XmlDocument() override;

  // Reads and parses the file; 0 on success, else the system's error code, 14 or -1.
  std::int32_t Load(const std::u16string& path);
  // The same, with the reason for a failure.
  XmlLoadResult LoadWithResult(const std::u16string& path);
  // Checks and parses the bytes of a whole file, as Load does after reading it.
  XmlLoadResult LoadFromBytes(std::string_view bytes);

 private:
  friend struct XmlDocumentAccess;
};

// Removes blanks, tabs, CRs and LFs from both ends.
std::u16string_view TrimXmlSpace(std::u16string_view text);

// Decodes &gt; &lt; &quot; and &amp;, in that order, one pass each.
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
