// File: text/utf8.h - the program's one UTF-8 coder: reading UTF-16 and UTF-8 one code point at a
// time, counting and writing UTF-8 bytes. Below everything else, the platform layer included; it knows
// nothing of files, trees or reports.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace recaster::text {

inline constexpr char32_t kReplacement = 0xFFFD;

constexpr bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// One character read from a text: its code point and how many units (or bytes) it took. `broken` says
// the units were no character: a surrogate without its partner, or bytes that are no UTF-8.
struct Decoded {
  char32_t code_point;
  std::size_t length;
  bool broken;
};

// The character at `at` (< text.size()) of UTF-16 text. A surrogate pair is one character; a surrogate
// without its partner reads as U+FFFD, one unit long, so the unit after it is read on its own and no
// character is lost with it.
constexpr Decoded DecodeUtf16(std::u16string_view text, std::size_t at) {
  const char16_t unit = text[at];
  if (!IsSurrogate(unit)) return {unit, 1, false};
  if (IsHighSurrogate(unit) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) {
    return {0x10000 + ((static_cast<char32_t>(unit & 0x3FF) << 10) | (text[at + 1] & 0x3FFu)), 2, false};
  }
  return {kReplacement, 1, true};
}

// The character at `at` (< text.size()) of UTF-8 text. A byte that starts no well-formed sequence
// (overlong forms, surrogates and code points above U+10FFFF included) reads as U+FFFD, one byte long.
Decoded DecodeUtf8(std::string_view text, std::size_t at);

// The offset of the first byte at or after `from` that is not ASCII; bytes.size() when there is none.
// Eight bytes at a time, for the long runs of ASCII that most text is.
std::size_t EndOfAscii(std::string_view bytes, std::size_t from);

// The bytes of the code point in UTF-8: 1 to 4. A surrogate code point is written as U+FFFD.
constexpr std::size_t Utf8Length(char32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  return code_point < 0x10000 ? 3 : 4;
}

// Writes the UTF-8 bytes of the code point at `out` (room for 4); returns the place after them. A
// surrogate code point, which UTF-8 cannot hold, is written as U+FFFD.
char* PutUtf8(char32_t code_point, char* out);

// Appends the UTF-8 bytes of the code point.
void AppendUtf8(char32_t code_point, std::string& out);

// Appends the UTF-16 units of the code point (a pair above U+FFFF).
void AppendUtf16(char32_t code_point, std::u16string& out);

// The bytes the UTF-8 of the UTF-16 text takes, each broken surrogate as U+FFFD (DecodeUtf16).
std::size_t Utf8Length(std::u16string_view text);

// Writes the UTF-8 of the UTF-16 text at `out`, which has room for Utf8Length(text) bytes; returns the
// place after them. A run of ASCII is a plain copy.
char* PutUtf8(std::u16string_view text, char* out);

// Whether `utf8` is exactly the UTF-8 of the UTF-16 text (as ToUtf8 makes it), found without making
// it: a long run of ASCII is compared 64 units at a time.
bool IsUtf8Of(std::string_view utf8, std::u16string_view text);

// The UTF-8 of the UTF-16 text; never fails. A broken surrogate becomes U+FFFD and the unit after an
// unpaired high surrogate is converted on its own, so no character is lost with it.
std::string ToUtf8(std::u16string_view text);

}  // namespace recaster::text
