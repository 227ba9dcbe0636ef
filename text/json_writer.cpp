// The one JSON writer: a fixed buffer handed to the sink a piece at a time, strings escaped by a table
// per byte so that runs without an escape are copied at once. The buffer always has room for one
// escape (kSlack bytes) past what is written, so an escape is written in place and split only when
// the piece goes.
#include "text/json_writer.h"

#include <algorithm>
#include <cstring>

#include "text/utf8.h"

namespace recaster::text {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

// The escapes every JSON string needs: the quote, the backslash and the controls below U+0020.
constexpr std::array<char, 256> ControlEscapes() {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}

constexpr JsonEscaping MakeByteEscaping() {
  JsonEscaping escaping{ControlEscapes(), kUpperHex, nullptr};
  escaping.bytes['\b'] = 'b';
  escaping.bytes['\f'] = 'f';
  escaping.bytes['/'] = '/';
  return escaping;
}
constexpr JsonEscaping kByteEscaping = MakeByteEscaping();

}  // namespace

const JsonEscaping& ByteEscaping() { return kByteEscaping; }

JsonEscaping CharacterEscaping(bool (*hidden)(char32_t), bool short_controls) {
  JsonEscaping escaping{ControlEscapes(), kLowerHex, hidden};
  if (short_controls) {
    escaping.bytes['\b'] = 'b';
    escaping.bytes['\f'] = 'f';
  }
  for (std::size_t byte = 0x7F; byte < 0x100; ++byte) escaping.bytes[byte] = JsonEscaping::kCharacter;
  return escaping;
}

JsonWriter::JsonWriter(TextSink& sink, JsonLayout layout, const JsonEscaping& escaping, std::size_t depth)
    : sink_(sink), layout_(layout), escaping_(escaping), buffer_(new char[kPiece + kSlack]), empty_(depth, false) {}

void JsonWriter::Spill() {
  // A full piece goes; what was written past it (less than kSlack bytes) starts the next.
  if (ok_) ok_ = sink_.Write(std::string_view(buffer_.get(), kPiece));
  used_ -= kPiece;
  std::memmove(buffer_.get(), buffer_.get() + kPiece, used_);
}

inline void JsonWriter::Done(char* end) {
  used_ = static_cast<std::size_t>(end - buffer_.get());
  if (used_ >= kPiece) Spill();
}

inline void JsonWriter::EscapeUnit(char32_t unit) {
  const char* hex = escaping_.hex;
  char* p = At();
  p[0] = '\\';
  p[1] = 'u';
  p[2] = hex[unit >> 12 & 0xF];
  p[3] = hex[unit >> 8 & 0xF];
  p[4] = hex[unit >> 4 & 0xF];
  p[5] = hex[unit & 0xF];
  Done(p + 6);
}

inline void JsonWriter::Escape(char action, unsigned char byte) {
  if (action == 'u') return EscapeUnit(byte);
  char* p = At();
  p[0] = '\\';
  p[1] = action;
  Done(p + 2);
}

void JsonWriter::Open(char bracket) {
  Raw(bracket);
  empty_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool empty = empty_.back();
  empty_.pop_back();
  if (!empty || layout_.empty_on_two_lines) NewLine();
  Raw(bracket);
}

JsonWriter& JsonWriter::Key(std::string_view utf8) {
  Item();
  String(utf8);
  Raw(": ");
  return *this;
}

JsonWriter& JsonWriter::Key(std::u16string_view text) {
  Item();
  String(text);
  Raw(": ");
  return *this;
}

JsonWriter& JsonWriter::Item() {
  if (!empty_.back()) Raw(',');
  empty_.back() = false;
  NewLine();
  return *this;
}

void JsonWriter::String(std::string_view utf8) {
  Raw('"');
  Chars(utf8);
  Raw('"');
}

void JsonWriter::String(std::u16string_view text) {
  Raw('"');
  Chars(text);
  Raw('"');
}

void JsonWriter::Chars(std::string_view utf8) {
  std::size_t run = 0;  // the start of the bytes that go out as they are
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    const char action = escaping_.bytes[byte];
    if (action == 0) {
      ++i;
      continue;
    }
    Decoded c{byte, 1, false};
    if (action == JsonEscaping::kCharacter) {
      c = DecodeUtf8(utf8, i);
      if (!c.broken && !Hidden(c.code_point)) {
        i += c.length;
        continue;
      }
    }
    if (i != run) Raw(utf8.substr(run, i - run));
    if (action != JsonEscaping::kCharacter) {
      Escape(action, byte);
    } else if (c.broken) {
      Done(PutUtf8(kReplacement, At()));
    } else {
      EscapeHidden(c.code_point);
    }
    i += c.length;
    run = i;
  }
  if (run != utf8.size()) Raw(utf8.substr(run));
}

void JsonWriter::Chars(std::u16string_view text) {
  const auto plain = [this](char16_t unit) { return unit < 0x80 && escaping_.bytes[unit] == 0; };
  for (std::size_t i = 0; i < text.size();) {
    // Plain ASCII straight into the buffer, as much as it has room for; then one other character.
    char* const start = buffer_.get() + used_;
    char* p = start;
    const std::size_t stop = i + std::min(text.size() - i, kPiece - used_);
    while (i < stop && plain(text[i])) *p++ = static_cast<char>(text[i++]);
    Done(p);
    if (i < stop) i = CharacterAt(text, i);
  }
}

void JsonWriter::Raw(std::string_view json) {
  while (!json.empty()) {
    const std::size_t take = std::min(json.size(), kPiece - used_);
    std::memcpy(At(), json.data(), take);
    Done(At() + take);
    json.remove_prefix(take);
  }
}

void JsonWriter::Raw(char c) {
  buffer_[used_] = c;
  if (++used_ == kPiece) Done(At());
}

bool JsonWriter::Finish() {
  if (ok_ && used_ != 0) ok_ = sink_.Write(std::string_view(buffer_.get(), used_));
  used_ = 0;
  return ok_;
}

void JsonWriter::NewLine() {
  static constexpr std::string_view kBlanks = "\n                                                               ";
  std::size_t blanks = layout_.indent * empty_.size();
  Raw(kBlanks.substr(0, std::min(blanks, kBlanks.size() - 1) + 1));
  for (blanks -= std::min(blanks, kBlanks.size() - 1); blanks != 0; --blanks) Raw(' ');
}

// Writes the character of UTF-16 text at `at`, which is no plain ASCII; returns the place after it.
std::size_t JsonWriter::CharacterAt(std::u16string_view text, std::size_t at) {
  const char16_t unit = text[at];
  if (unit < 0x80 && escaping_.bytes[unit] != JsonEscaping::kCharacter) {
    Escape(escaping_.bytes[unit], static_cast<unsigned char>(unit));
    return at + 1;
  }
  const Decoded c = unit < 0x80 ? Decoded{unit, 1, false} : DecodeUtf16(text, at);
  const char* const start = At();
  if (Hidden(c.code_point)) {
    EscapeHidden(c.code_point);
  } else {
    Done(PutUtf8(c.code_point, At()));  // U+FFFD for a lone surrogate
  }
  if (IsSurrogate(unit) || at + 1 == text.size() || text[at + 1] != unit) return at + c.length;
  // The same unit again and again: its bytes repeated. (A lone surrogate reads by the unit after it.)
  std::size_t end = at + 1;
  while (end < text.size() && text[end] == unit) ++end;
  if (At() < start) return at + 1;  // a piece went meanwhile: the unit's bytes are no longer in one place
  Repeat(std::string_view(start, static_cast<std::size_t>(At() - start)), end - at - 1);
  return end;
}

void JsonWriter::Repeat(std::string_view bytes, std::size_t times) {
  char copy[kSlack];
  std::memcpy(copy, bytes.data(), bytes.size());
  for (; times != 0; --times) {
    std::memcpy(At(), copy, bytes.size());
    Done(At() + bytes.size());
  }
}

// A hidden character as a \u escape, a pair of them above U+FFFF.
void JsonWriter::EscapeHidden(char32_t c) {
  if (c < 0x10000) return EscapeUnit(c);
  EscapeUnit(0xD800 + ((c - 0x10000) >> 10));
  EscapeUnit(0xDC00 + ((c - 0x10000) & 0x3FF));
}

}  // namespace recaster::text
