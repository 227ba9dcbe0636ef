// Making a text from the file visible to a person: every character that hides itself, reorders text or
// controls a terminal shown as a sign of its own.
#include <string>
#include <string_view>
#include <utility>

#include "tree/config_tree.h"
#include "words/words.h"

namespace recaster::words {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at `at` of UTF-8 text and its length in bytes; a byte that starts no well-formed
// sequence reads as U+FFFD, one byte long.
std::pair<char32_t, std::size_t> DecodeUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, cp = lead & 0x1Fu, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, cp = lead & 0x0Fu, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, cp = lead & 0x07u, least = 0x10000;
  } else {
    return {kReplacementCharacter, 1};
  }
  if (at + length > text.size()) return {kReplacementCharacter, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80) return {kReplacementCharacter, 1};
    cp = cp << 6 | (byte(at + i) & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {kReplacementCharacter, 1};
  return {cp, length};
}

}  // namespace

bool IsHiddenCharacter(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x061C || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) ||
         c == 0xFEFF || c == 0x2028 || c == 0x2029;
}

void AppendVisible(std::string_view utf8, bool keep_lines, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
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
    const bool bad_byte = c == kReplacementCharacter && length == 1;
    if (!bad_byte && (!IsHiddenCharacter(c) || (keep_lines && (c == u'\n' || c == u'\t')))) {
      i += length;
      continue;
    }
    out.append(utf8, kept, i - kept);
    if (keep_lines && c == u'\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
      // CR LF: the line feed goes out with the next run
    } else if (bad_byte) {
      out += "\uFFFD";
    } else if (c < 0x20) {
      out += {'\xE2', '\x90', static_cast<char>(0x80 + c)};  // the control picture, U+2400 onwards
    } else if (c == 0x7F) {
      out += "\u2421";
    } else if (c < 0xA0) {
      out += "\uFFFD";  // C1 controls have no pictures
    } else {
      out += "<U+";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[c >> shift & 0xFu];
      out += '>';
    }
    i += length;
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
    if ((c == kReplacementCharacter && length == 1) ||
        (IsHiddenCharacter(c) && !(keep_lines && (c == u'\n' || c == u'\t')))) {
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
  const std::string utf8 = tree::ToUtf8(text);
  std::string out;
  out.reserve(utf8.size());
  AppendVisible(utf8, keep_lines, out);
  return out;
}

}  // namespace recaster::words
