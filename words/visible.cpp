// Making a text from the file visible to a person: every character that hides itself, reorders text or
// controls a terminal shown as a sign of its own.
#include <algorithm>
#include <cstddef>
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

// Appends `times` copies of `piece`: the first copied in, then what is written doubled, so that a long
// run costs a few large copies.
void AppendRepeated(std::string_view piece, std::size_t times, std::string& out) {
  if (times == 0 || piece.empty()) return;
  const std::size_t at = out.size();
  const std::size_t total = piece.size() * times;
  if (out.capacity() < at + total) out.reserve(std::max(at + total, 2 * out.capacity()));
  out += piece;
  for (std::size_t written = piece.size(); written < total; written = out.size() - at) {
    out.append(out.data() + at, std::min(written, total - written));
  }
}

// Where text goes once visible: into `out` as it is, or through `escape` (text that needs no change
// for the page it goes into is written by `escape` as it is).
struct Emit {
  Escaper escape;
  std::string& out;
  void operator()(std::string_view text) const {
    if (escape == nullptr) {
      out += text;
    } else {
      escape(text, out);
    }
  }
};

// The place after the copies at `i` of UTF-8 text of the `length` bytes before `i` (the bytes keep
// their period as long as each equals the one `length` before it).
std::size_t SameCharacterRun(std::string_view utf8, std::size_t i, std::size_t length) {
  const auto differs = std::mismatch(utf8.begin() + static_cast<std::ptrdiff_t>(i), utf8.end(),
                                     utf8.begin() + static_cast<std::ptrdiff_t>(i - length)).first;
  const auto same = static_cast<std::size_t>(differs - utf8.begin()) - i;
  return i + same / length * length;
}

// Appends the visible forms of the run of hidden characters at `i`; returns the place after the run.
// The forms of different characters are gathered, kRun bytes at most, and go out in one go; a
// character that repeats goes out as its form, escaped once, repeated. With `keep_lines`, a CR before
// a line feed ends the run unwritten, and the line feed goes out with the text after it.
std::size_t AppendHiddenRun(std::string_view utf8, std::size_t i, bool keep_lines, const Emit& emit) {
  static constexpr std::size_t kRun = 4096;
  static constexpr std::size_t kLongRun = 16;  // a repeat shorter than this is gathered as it is
  std::string gathered;
  std::string& forms = emit.escape == nullptr ? emit.out : gathered;  // unescaped forms go straight out
  const auto flush = [&emit, &gathered] {
    if (gathered.empty()) return;
    emit(gathered);
    gathered.clear();
  };
  std::string escaped;
  while (i < utf8.size()) {
    const auto [c, length] = DecodeUtf8(utf8, i);
    if (!ShownByItsForm(c, length, keep_lines)) break;
    const bool bad_byte = c == kReplacementCharacter && length == 1;
    const bool cr = keep_lines && c == u'\r';
    i += length;
    if (cr && i < utf8.size() && utf8[i] == '\n') break;  // the CR dropped
    // a byte that starts no character reads by the bytes after it, so only a character repeats
    const std::size_t end = bad_byte || cr ? i : SameCharacterRun(utf8, i, length);
    const std::size_t times = 1 + (end - i) / length;
    i = end;
    char form[8];
    const std::string_view shown(form, static_cast<std::size_t>(PutVisible(c, bad_byte, form) - form));
    if (times < kLongRun) {
      for (std::size_t n = 0; n < times; ++n) forms += shown;
      if (gathered.size() >= kRun) flush();
      continue;
    }
    flush();
    escaped.clear();
    Emit{emit.escape, escaped}(shown);
    AppendRepeated(escaped, times, emit.out);
  }
  flush();
  return i;
}

}  // namespace

bool IsHiddenCharacter(char32_t c) { return Hidden(c); }

namespace {

void AppendVisibleTo(std::string_view utf8, bool keep_lines, const Emit& emit) {
  std::size_t kept = 0;  // the start of the run of characters that go out as they are
  for (std::size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++i;
      continue;
    }
    if (byte < 0x20 && !keep_lines && emit.escape == nullptr) {
      // A run of C0 controls: their pictures written in one go, three bytes each.
      std::string& out = emit.out;
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
    emit(utf8.substr(kept, i - kept));
    i = AppendHiddenRun(utf8, i, keep_lines, emit);
    kept = i;
  }
  emit(utf8.substr(kept));
}

}  // namespace

void AppendVisible(std::string_view utf8, bool keep_lines, std::string& out) {
  AppendVisibleTo(utf8, keep_lines, Emit{nullptr, out});
}

void AppendVisible(std::string_view utf8, bool keep_lines, Escaper escape, std::string& out) {
  AppendVisibleTo(utf8, keep_lines, Emit{escape, out});
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
