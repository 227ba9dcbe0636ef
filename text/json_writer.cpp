// The one JSON writer: a fixed buffer handed to the sink whenever it is full, strings escaped by a
// table per byte so that runs without an escape are copied at once.
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

JsonEscaping CharacterEscaping(bool (*hidden)(char32_t)) {
  JsonEscaping escaping{ControlEscapes(), kLowerHex, hidden};
  for (std::size_t byte = 0x7F; byte < 0x100; ++byte) escaping.bytes[byte] = JsonEscaping::kCharacter;
  return escaping;
}

JsonWriter::JsonWriter(TextSink& sink, JsonLayout layout, const JsonEscaping& escaping, std::size_t depth)
    : sink_(sink), layout_(layout), escaping_(escaping), buffer_(new char[kPiece]), empty_(depth, false) {}

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
    if (action == JsonEscaping::kCharacter) {
      const Decoded c = DecodeUtf8(utf8, i);
      if (!c.broken && !Hidden(c.code_point)) {
        i += c.length;
        continue;
      }
      Raw(utf8.substr(run, i - run));
      EscapeCodePoint(c.code_point);  // U+FFFD for a broken byte, which is no hidden character
      i += c.length;
    } else {
      Raw(utf8.substr(run, i - run));
      Escape(action, byte);
      ++i;
    }
    run = i;
  }
  Raw(utf8.substr(run));
}

void JsonWriter::Chars(std::u16string_view text) {
  const auto plain = [this](char16_t unit) { return unit < 0x80 && escaping_.bytes[unit] == 0; };
  for (std::size_t i = 0; i < text.size();) {
    if (used_ == kPiece) Flush();
    // Plain ASCII straight into the buffer, as much as it has room for; then one other character.
    char* const start = buffer_.get() + used_;
    char* p = start;
    const std::size_t stop = i + std::min(text.size() - i, kPiece - used_);
    while (i < stop && plain(text[i])) *p++ = static_cast<char>(text[i++]);
    used_ += static_cast<std::size_t>(p - start);
    if (i < stop) i = CharacterAt(text, i);
  }
}

void JsonWriter::Raw(std::string_view json) {
  if (json.size() <= kPiece - used_) {
    std::memcpy(buffer_.get() + used_, json.data(), json.size());
    used_ += json.size();
    return;
  }
  while (!json.empty()) {
    if (used_ == kPiece) Flush();
    const std::size_t take = std::min(json.size(), kPiece - used_);
    std::memcpy(buffer_.get() + used_, json.data(), take);
    used_ += take;
    json.remove_prefix(take);
  }
}

void JsonWriter::Raw(char c) {
  if (used_ == kPiece) Flush();
  buffer_[used_++] = c;
}

bool JsonWriter::Finish() {
  Flush();
  return ok_;
}

void JsonWriter::Flush() {
  if (ok_ && used_ != 0) ok_ = sink_.Write(std::string_view(buffer_.get(), used_));
  used_ = 0;
}

void JsonWriter::NewLine() {
  Raw('\n');
  for (std::size_t blanks = layout_.indent * empty_.size(); blanks != 0; --blanks) Raw(' ');
}

// Writes the character of UTF-16 text at `at`, which is no plain ASCII; returns the place after it.
std::size_t JsonWriter::CharacterAt(std::u16string_view text, std::size_t at) {
  const char16_t unit = text[at];
  if (unit < 0x80) {
    const char action = escaping_.bytes[unit];
    if (action != JsonEscaping::kCharacter) {
      Escape(action, static_cast<unsigned char>(unit));
    } else if (Hidden(unit)) {
      EscapeCodePoint(unit);
    } else {
      Raw(static_cast<char>(unit));
    }
    return at + 1;
  }
  const Decoded c = DecodeUtf16(text, at);
  if (Hidden(c.code_point)) {
    EscapeCodePoint(c.code_point);
  } else {
    char bytes[4];
    Raw(std::string_view(bytes, static_cast<std::size_t>(PutUtf8(c.code_point, bytes) - bytes)));
  }
  return at + c.length;
}

void JsonWriter::Escape(char action, unsigned char byte) {
  if (action == 'u') return EscapeUnit(byte);
  const char escape[2] = {'\\', action};
  Raw(std::string_view(escape, 2));
}

// A character that must not appear as it is: hidden ones as \u escapes (a pair above U+FFFF), any
// other (U+FFFD for a broken one) in UTF-8.
void JsonWriter::EscapeCodePoint(char32_t c) {
  if (!Hidden(c)) {
    char bytes[4];
    return Raw(std::string_view(bytes, static_cast<std::size_t>(PutUtf8(c, bytes) - bytes)));
  }
  if (c < 0x10000) return EscapeUnit(c);
  EscapeUnit(0xD800 + ((c - 0x10000) >> 10));
  EscapeUnit(0xDC00 + ((c - 0x10000) & 0x3FF));
}

void JsonWriter::EscapeUnit(char32_t unit) {
  const char* hex = escaping_.hex;
  const char escape[6] = {'\\', 'u', hex[unit >> 12 & 0xF], hex[unit >> 8 & 0xF], hex[unit >> 4 & 0xF], hex[unit & 0xF]};
  Raw(std::string_view(escape, 6));
}

}  // namespace recaster::text
