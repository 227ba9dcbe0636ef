// Making a text from the file visible to a person: every character that hides itself, reorders text or
// controls a terminal shown as a sign of its own.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "text/utf8.h"
#include "words/words.h"

namespace recaster::words {
namespace {

constexpr char32_t kReplacementCharacter = text::kReplacement;

// The code point at `at` of UTF-8 text and its length in bytes; a byte that starts no well-formed
// sequence reads as U+FFFD, one byte long.
inline std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view utf8, std::size_t at) {
  const text::Decoded c = text::DecodeUtf8(utf8, at);
  return {c.code_point, c.length};
}

// IsHiddenCharacter, made inline here for the long runs.
constexpr bool Hidden(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0xFEFF || c == 0x2028 || c == 0x2029;
}

// True for a character that AppendVisible writes as a visible form of its own.
bool ShownByItsForm(char32_t c, std::size_t length, bool keep_lines) {
  if (c == kReplacementCharacter && length == 1) return true;  // a byte that starts no character
  return Hidden(c) && !(keep_lines && (c == u'\n' || c == u'\t'));
}

// Writes the visible form of the character at `p` (eight bytes at most); returns the place after it.
char* PutVisible(char32_t c, bool bad_byte, char* p) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto put = [&p](std::string_view bytes) {
    for (const char b : bytes) *p++ = b;
    return p;
  };
  if (bad_byte || (c >= 0x80 && c < 0xA0)) return put("\uFFFD");  // C1 controls have no pictures
  if (c == 0x7F) return put("\u2421");
  if (c < 0x20) {
    // the control picture, U+2400 onwards
    *p++ = '\xE2';
    *p++ = '\x90';
    *p++ = static_cast<char>(0x80 + c);
    return p;
  }
  p[0] = '<', p[1] = 'U', p[2] = '+', p[7] = '>';
  for (int k = 3, shift = 12; shift >= 0; ++k, shift -= 4) p[k] = kHex[c >> shift & 0xFu];
  return p + 8;
}

// Appends the visible forms of the run of hidden characters at `i` in one go, at most kRun of them
// between two looks at the room left; returns the place after the run. With `keep_lines`, a CR before
// a line feed ends the run unwritten, and the line feed goes out with the text after it.
std::size_t AppendHiddenRun(std::string_view utf8, std::size_t i, bool keep_lines, std::string& out) {
  static constexpr std::size_t kRun = 4096;
  bool ended = false;
  while (!ended && i < utf8.size()) {
    const std::size_t room = std::min(kRun, utf8.size() - i);  // a character is one byte or more
    const std::size_t at = out.size();
    out.resize(at + 8 * room);
    char* p = out.data() + at;
    for (std::size_t n = 0; n < room && i < utf8.size(); ++n) {
      const auto [c, length] = DecodeUtf8(utf8, i);
      ended = !ShownByItsForm(c, length, keep_lines);
      if (ended) break;
      i += length;
      ended = keep_lines && c == u'\r' && i < utf8.size() && utf8[i] == '\n';
      if (ended) break;
      p = PutVisible(c, c == kReplacementCharacter && length == 1, p);
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
  }
  return i;
}

}  // namespace

bool IsHiddenCharacter(char32_t c) { return Hidden(c); }

void AppendVisible(std::string_view utf8, bool keep_lines, std::string& out) {
  std::size_t kept = 0;  // the start of the run of characters that go out as they are
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++i;
      continue;
    }
    if (byte < 0x20 && !keep_lines) {
      // A run of C0 controls: their pictures written in one go, three bytes each.
      std::size_t end = i;
      while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < 0x20) ++end;
      out.append(utf8, kept, i - kept);
      std::size_t at = out.size();
      out.resize(at + 3 * (end - i));
      for (; i < end; ++i) {
        out[at++] = '\xE2';
        out[at++] = '\x90';
        out[at++] = static_cast<char>(0x80 + static_cast<unsigned char>(utf8[i]));
      }
      kept = i;
      continue;
    }
    const auto [c, length] = DecodeUtf8(utf8, i);
    if (!ShownByItsForm(c, length, keep_lines)) {
      i += length;
      continue;
    }
    out.append(utf8, kept, i - kept);
    i = AppendHiddenRun(utf8, i, keep_lines, out);
    kept = i;
  }
  out.append(utf8, kept, utf8.size() - kept);
}

std::string_view VisibleView(std::string_view utf8, bool keep_lines, std::string& buffer) {
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++i;
      continue;
    }
    const auto [c, length] = DecodeUtf8(utf8, i);
    if (ShownByItsForm(c, length, keep_lines)) {
      buffer.clear();
      buffer.reserve(utf8.size() + utf8.size() / 8);
      buffer.append(utf8, 0, i);
      AppendVisible(utf8.substr(i), keep_lines, buffer);
      return buffer;
    }
    i += length;
  }
  return utf8;
}

std::string VisibleText(std::u16string_view text, bool keep_lines) {
  const std::string utf8 = text::ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  AppendVisible(utf8, keep_lines, out);
  return out;
}

}  // namespace recaster::words
