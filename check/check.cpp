// The check of a version 6 document: strict UTF-8 and one JSON value, streamed through Boost.JSON's
// parser; the rules (check/rules.h) see each value with its offset and its JSON pointer.
#include "check/check.h"

#include <boost/json/basic_parser_impl.hpp>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_set>

#include "check/rules.h"
#include "text/utf8.h"
#include "words/words.h"

namespace recaster::check {
namespace {

using boost::json::error_code;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Walks the text a token at a time beside the parser, which validated it already: each event of the
// parser is the next token, and this gives where it starts. Escaped strings come to the handler from
// the parser's own buffer, so their place could not be read from the text it hands over.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  // `last` is a string token's last piece as the parser handed it over. Where that piece lies in the
  // text itself rather than in the parser's own buffer, the closing quote follows it, and the string
  // need not be read once more.
  std::size_t Take(std::string_view last = {}) {
    while (at_ < text_.size() && (IsBlank(text_[at_]) || text_[at_] == ',' || text_[at_] == ':')) ++at_;
    const std::size_t start = at_;
    if (at_ == text_.size()) return start;
    const char c = text_[at_];
    if (c == '"') {
      const std::size_t end = Holds(last) ? static_cast<std::size_t>(last.data() + last.size() - text_.data()) : 0;
      at_ = (end > start && text_[end] == '"' ? end : std::min(EndQuote(start), text_.size() - 1)) + 1;
    } else if (c == '{' || c == '}' || c == '[' || c == ']') {
      ++at_;
    } else {
      while (at_ < text_.size() && !IsBlank(text_[at_]) && std::string_view(",:]}").find(text_[at_]) == std::string_view::npos) ++at_;
    }
    return start;
  }

  // Whether the piece is bytes of the text itself (not of the parser's buffer), and not empty.
  bool Holds(std::string_view piece) const {
    const std::less<const char*> before;
    return !piece.empty() && !before(piece.data(), text_.data()) && before(piece.data() + piece.size(), text_.data() + text_.size());
  }

 private:
  // The quote that ends the string opened at `open`: the first one after it that an odd run of
  // backslashes does not escape (memchr finds the candidates; a string may be megabytes long).
  std::size_t EndQuote(std::size_t open) const {
    for (std::size_t i = text_.find('"', open + 1); i != std::string_view::npos; i = text_.find('"', i + 1)) {
      std::size_t slashes = 0;
      while (i - slashes > open + 1 && text_[i - 1 - slashes] == '\\') ++slashes;
      if (slashes % 2 == 0) return i;
    }
    return text_.size();
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// The parser's handler: keeps one frame per open container, and no value it does not check.
class Handler {
 public:
  static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);
  static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);

  Handler(std::string_view text, std::size_t base, Findings& out) : cursor_(text), base_(base), out_(out) {}

  bool on_document_begin(error_code&) { return true; }
  bool on_document_end(error_code&) { return true; }
  bool on_object_begin(error_code&) { return Open(Kind::kObject); }
  bool on_object_end(std::size_t, error_code&) { return Close(); }
  bool on_array_begin(error_code&) { return Open(Kind::kArray); }
  bool on_array_end(std::size_t, error_code&) { return Close(); }
  bool on_key_part(std::string_view part, std::size_t, error_code&) { return Append(part); }
  bool on_key(std::string_view part, std::size_t, error_code&) {
    const std::size_t offset = Take(part);
    if (text_.empty() && cursor_.Holds(part)) {
      Key(offset, part);
    } else {
      Append(part);
      Key(offset, escaped_keys_.emplace_back(std::move(text_)));
      text_.clear();
    }
    return true;
  }
  bool on_string_part(std::string_view part, std::size_t, error_code&) { return Append(part); }
  bool on_string(std::string_view part, std::size_t, error_code&) { return Scalar(Kind::kString, part); }
  bool on_number_part(std::string_view part, error_code&) { return Append(part); }
  bool on_int64(std::int64_t, std::string_view part, error_code&) { return Scalar(Kind::kNumber, part); }
  bool on_uint64(std::uint64_t, std::string_view part, error_code&) { return Scalar(Kind::kNumber, part); }
  bool on_double(double, std::string_view part, error_code&) { return Scalar(Kind::kNumber, part); }
  bool on_bool(bool value, error_code&) { return Scalar(Kind::kBool, value ? "true" : "false"); }
  bool on_null(error_code&) { return Scalar(Kind::kNull, "null"); }
  bool on_comment_part(std::string_view, error_code&) { return true; }
  bool on_comment(std::string_view, error_code&) { return true; }

 private:
  struct Frame {
    Shape shape = Shape::kUnchecked;
    Kind kind = Kind::kNull;
    std::size_t begin = 0;
    std::string pointer;
    std::vector<std::string_view> few_keys;  // the first kFewKeys keys, searched in turn
    std::size_t few = 0;                     // of few_keys in use; their room is kept for the next object
    std::unordered_set<std::string_view> keys;  // the keys after them
    std::string_view key;  // the member being read, in an object
    std::size_t key_offset = 0;
    bool duplicate = false;
    std::size_t count = 0;  // elements so far, in an array
    std::vector<Member> members;
  };

  std::size_t Take(std::string_view last = {}) { return base_ + cursor_.Take(last); }
  bool Append(std::string_view part) {
    text_ += part;
    return true;
  }

  // Whether the object had the key already; remembers it. A few keys are searched in turn, which is
  // quicker than a hash for the objects of a configuration; the keys of a large object are hashed.
  static bool Seen(Frame& frame, std::string_view key) {
    constexpr std::size_t kFewKeys = 16;
    for (std::size_t i = 0; i < frame.few; ++i) {
      if (frame.few_keys[i] == key) return true;
    }
    if (frame.few < kFewKeys) {
      if (frame.few == frame.few_keys.size()) frame.few_keys.emplace_back();
      frame.few_keys[frame.few++] = key;
      return false;
    }
    return !frame.keys.insert(key).second;
  }

  // A key is a view of the text's bytes, or of escaped_keys_ for one the parser made of escapes.
  void Key(std::size_t offset, std::string_view key) {
    Frame& frame = frames_[depth_ - 1];
    frame.duplicate = Seen(frame, key);
    if (frame.duplicate) out_.Error(offset, ChildPointer(frame.pointer, key), "duplicate member " + Quoted(key) + "; the first is checked");
    frame.key = key;
    frame.key_offset = offset;
  }

  bool Scalar(Kind kind, std::string_view part) {
    Value value{kind, Take(kind == Kind::kString ? part : std::string_view()), {}, {}};
    if (kind == Kind::kString && text_.empty() && cursor_.Holds(part)) {
      value.in_document = part;  // the whole string, in place: no copy of what may be megabytes
    } else {
      Append(part);
      value.owned = std::move(text_);
      text_.clear();
    }
    static_cast<void>(Begin(std::move(value), false));
    return true;
  }

  // A value starts: its place in its parent, and for a container its pointer and the shape it takes.
  // A scalar's pointer is made only for a finding about it.
  std::pair<std::string, Shape> Begin(Value value, bool container) {
    if (depth_ == 0) {
      CheckRoot(value, out_);
      return {std::string(), Shape::kRoot};
    }
    Frame& parent = frames_[depth_ - 1];
    if (parent.kind == Kind::kArray) {
      const std::size_t index = parent.count++;
      const Shape shape = ShapeOfElement(parent.shape, value.kind);
      if (!container && parent.shape != Shape::kInterfaces) return {std::string(), shape};
      std::string pointer = ChildPointer(parent.pointer, std::to_string(index));
      CheckElement(parent.shape, value, pointer, out_);
      return {std::move(pointer), shape};
    }
    const Shape shape = parent.duplicate ? Shape::kUnchecked : ShapeOfMember(parent.shape, parent.key, value.kind);
    std::string pointer = container ? ChildPointer(parent.pointer, parent.key) : std::string();
    if (!parent.duplicate && parent.shape != Shape::kUnchecked) {
      parent.members.push_back({parent.key, parent.key_offset, std::move(value)});
    }
    return {std::move(pointer), shape};
  }

  bool Open(Kind kind) {
    const std::size_t offset = Take();
    auto [pointer, shape] = Begin(Value{kind, offset, {}, {}}, true);
    if (depth_ == frames_.size()) frames_.emplace_back();
    Frame& frame = frames_[depth_++];
    frame.shape = shape;
    frame.kind = kind;
    frame.begin = offset;
    frame.pointer = std::move(pointer);
    frame.few = 0;
    frame.keys.clear();
    frame.duplicate = false;
    frame.count = 0;
    frame.members.clear();
    return true;
  }

  bool Close() {
    static_cast<void>(Take());
    const Frame& frame = frames_[depth_ - 1];
    if (frame.kind == Kind::kArray) {
      CheckArrayEnd(frame.shape, frame.begin, frame.pointer, frame.count, out_);
    } else if (frame.shape != Shape::kUnchecked) {
      CheckObject(frame.shape, frame.begin, frame.pointer, frame.members, out_);
      if (out_.options.visitor != nullptr) out_.options.visitor->Closed(frame.shape, frame.pointer, frame.members);
    }
    --depth_;
    return true;
  }

  Cursor cursor_;
  std::size_t base_;
  Findings& out_;
  std::vector<Frame> frames_;  // the open containers are the first depth_; the others are kept for their room
  std::size_t depth_ = 0;
  std::string text_;
  std::deque<std::string> escaped_keys_;  // kept to the end: the frames' keys view them
};

// The offset of the first byte that starts no UTF-8 character, or npos.
std::size_t FirstBrokenByte(std::string_view bytes, std::size_t from) {
  for (std::size_t i = text::EndOfAscii(bytes, from); i < bytes.size(); i = text::EndOfAscii(bytes, i)) {
    const text::Decoded decoded = text::DecodeUtf8(bytes, i);
    if (decoded.broken) return i;
    i += decoded.length;
  }
  return std::string_view::npos;
}

std::string Hex(unsigned char byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[byte >> 4], kDigits[byte & 0xF]};
}

// The parser's refusal in a person's words: a raw control character, text after the value, an end
// inside a value, or the parser's own.
std::string ParseError(const error_code& error, std::string_view bytes, std::size_t at) {
  if (at < bytes.size() && static_cast<unsigned char>(bytes[at]) < 0x20 && !IsBlank(bytes[at])) {
    const std::string code = "00" + Hex(static_cast<unsigned char>(bytes[at]));
    return "a raw control character U+" + code + "; a string holds it as \\u" + code;
  }
  if (error == boost::json::error::extra_data) return "text after the JSON value: a configuration is one object";
  if (error == boost::json::error::incomplete) return "the document ends inside a value";
  return "not JSON: " + error.message();
}

// Parses the text from `base` on; false when the parser refused it or found text after the value.
bool Parse(std::string_view bytes, std::size_t base, Findings& out) {
  const std::string_view text = bytes.substr(base);
  auto parser = std::make_unique<boost::json::basic_parser<Handler>>(boost::json::parse_options{}, text, base, out);
  error_code error;
  const std::size_t used = parser->write_some(false, text.data(), text.size(), error);
  if (error) {
    out.Error(base + used, "", ParseError(error, bytes, base + used));
    return false;
  }
  // The parser stops after one value; what follows it may only be blanks.
  const auto after = std::find_if_not(text.begin() + static_cast<std::ptrdiff_t>(used), text.end(), IsBlank);
  if (after == text.end()) return true;
  out.Error(base + static_cast<std::size_t>(after - text.begin()), "", ParseError(boost::json::error::extra_data, bytes, bytes.size()));
  return false;
}

}  // namespace

CheckResult CheckDocument(std::string_view bytes, const CheckOptions& options) {
  Findings out(options);
  const bool mark = bytes.starts_with("\xEF\xBB\xBF");
  const auto marked = [mark](Findings& findings) {
    if (mark) findings.Error(0, "", "a byte-order mark: a configuration is UTF-8 without one");
  };
  marked(out);
  const std::size_t base = mark ? 3 : 0;
  if (std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(base), bytes.end(), IsBlank)) {
    out.Error(base, "", "an empty document: a configuration is one JSON object");
  } else if (!Parse(bytes, base, out)) {
    // The parser takes no string whose bytes are not well-formed UTF-8, so only in a file it refused
    // can a byte start no character; such a byte is then the one finding.
    if (const std::size_t broken = FirstBrokenByte(bytes, base); broken != std::string_view::npos) {
      out = Findings(options);
      marked(out);
      out.Error(broken, "", "byte 0x" + Hex(static_cast<unsigned char>(bytes[broken])) + " starts no UTF-8 character");
    }
  }
  if (out.errors + out.warnings == 0 && out.checked == 0) out.Error(0, "", "nothing in the file was checked");
  CheckResult result;
  result.findings = out.TakeInFileOrder();
  result.errors = out.errors;
  result.warnings = out.warnings;
  return result;
}

std::vector<Position> PositionsOf(std::string_view bytes, const std::vector<Finding>& findings) {
  std::vector<Position> positions;
  Position here;
  std::size_t at = 0;
  for (const Finding& finding : findings) {
    const std::size_t to = std::min(finding.offset, bytes.size());
    for (; at < to; ++at) {
      if (bytes[at] == '\n') here = {here.line + 1, 1};
      else if ((static_cast<unsigned char>(bytes[at]) & 0xC0) != 0x80) ++here.column;
    }
    positions.push_back(here);
  }
  return positions;
}

std::string FindingLines(std::string_view file, std::string_view bytes, const std::vector<Finding>& findings) {
  const std::vector<Position> positions = PositionsOf(bytes, findings);
  std::string lines;
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& finding = findings[i];
    lines += std::string(file) + ":" + std::to_string(positions[i].line) + ":" + std::to_string(positions[i].column) +
             (finding.severity == Severity::kError ? ": error: " : ": warning: ");
    if (!finding.pointer.empty()) words::AppendVisible(finding.pointer, false, lines), lines += ": ";
    lines += finding.message + "\n";
  }
  return lines;
}

}  // namespace recaster::check
