// File: text/json_writer.h - the program's one JSON writer: objects and arrays, keys and strings from
// UTF-8 or UTF-16 text, written into a sink in pieces, with the layout and the escaping as parameters.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "text/sink.h"

namespace recaster::text {

// How the members and items of a container are laid out: one a line, `indent` blanks per level. An
// empty container is "{}" unless `empty_on_two_lines` ("{" and "}" on lines of their own).
struct JsonLayout {
  std::size_t indent;
  bool empty_on_two_lines;
};

// How the text of a string is escaped. `bytes` says per byte: 0 copied as it is, kCharacter read as
// the start of a UTF-8 character (a byte that starts none becomes U+FFFD, a `hidden` character a \u
// escape), 'u' a \u00XX escape, else a backslash and that letter. `hex` holds the digits of \u escapes.
// UTF-16 text is read a character at a time: a lone surrogate becomes U+FFFD, a `hidden` character
// (when there is a predicate) a \u escape; ASCII units go by `bytes`.
struct JsonEscaping {
  static constexpr char kCharacter = 'c';
  std::array<char, 256> bytes;
  const char* hex;
  bool (*hidden)(char32_t);
};

// The version 6 file's escaping, byte by byte: \" \\ \/ \b \f \n \r \t, \u00XX (upper-case digits)
// for the other bytes below 0x20; bytes of 0x80 and above pass as they are.
const JsonEscaping& ByteEscaping();

// The escaping of documents a person or a JSON reader takes: \" \\ \n \r \t, every other character
// below U+0020 and every character `hidden` calls hidden as \uXXXX (lower-case digits); never a lone
// surrogate nor a byte that starts no UTF-8 character (both U+FFFD). With `short_controls`, backspace
// and form feed are written as \b and \f rather than as \u escapes.
JsonEscaping CharacterEscaping(bool (*hidden)(char32_t), bool short_controls = false);

// A JSON text written as it is made into a sink, in pieces of kPiece bytes (the last shorter): the
// text of a large document never exists whole unless the sink keeps it. Runs of a string that need no
// escape are copied at once. Once the sink refuses a piece the rest goes nowhere; Finish says so.
class JsonWriter {
 public:
  static constexpr std::size_t kPiece = std::size_t{64} * 1024;

  // `depth` containers are taken as open around the text and holding members already (for a text
  // that continues one written earlier). `escaping` must outlive the writer.
  JsonWriter(TextSink& sink, JsonLayout layout, const JsonEscaping& escaping, std::size_t depth = 0);
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;
  ~JsonWriter() = default;

  // '{' or '[' opens a container; Close ends the last one opened with its bracket.
  void Open(char bracket);
  void Close(char bracket);
  // A member's key (in an object) or the next item's place (in an array); the value follows.
  JsonWriter& Key(std::string_view utf8);
  JsonWriter& Key(std::u16string_view text);
  JsonWriter& Item();

  // A string value between quotes, and its characters alone (for a string written in parts).
  void String(std::string_view utf8);
  void String(std::u16string_view text);
  void Chars(std::string_view utf8);
  void Chars(std::u16string_view text);

  // Text already in JSON, as it is: numbers, true and false, punctuation.
  void Raw(std::string_view json);
  void Raw(char c);
  void Bool(bool value) { Raw(value ? std::string_view("true") : std::string_view("false")); }
  template <typename N>
  void Number(N value) {
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    Raw(std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }

  // Hands over what is left; true when the sink took every piece.
  bool Finish();

 private:
  static constexpr std::size_t kSlack = 16;  // the longest escape, a pair of \u escapes, and more

  // Where the next byte goes; Done takes the place after what was written there (kSlack bytes at
  // most) and hands a full piece to the sink.
  char* At() { return buffer_.get() + used_; }
  void Done(char* end);
  void Spill();
  void NewLine();
  std::size_t CharacterAt(std::u16string_view text, std::size_t at);
  void Repeat(std::string_view bytes, std::size_t times);  // bytes: kSlack at most
  void Escape(char action, unsigned char byte);
  void EscapeHidden(char32_t c);
  void EscapeUnit(char32_t unit);
  bool Hidden(char32_t c) const { return escaping_.hidden != nullptr && escaping_.hidden(c); }

  TextSink& sink_;
  JsonLayout layout_;
  const JsonEscaping& escaping_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;  // below kPiece between calls
  bool ok_ = true;
  std::vector<bool> empty_;  // per open container: nothing written in it yet
};

}  // namespace recaster::text
