// The one UTF-8 coder.
#include "text/utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace recaster::text {
namespace {

// How many units from `at` on are ASCII, counted four at a time (a partial block is left to the
// caller): a long text is mostly such runs, and a unit at a time costs a branch each.
std::size_t AsciiUnits(std::u16string_view text, std::size_t at) {
  std::size_t i = at;
  for (; i + 4 <= text.size(); i += 4) {
    std::uint64_t block = 0;
    std::memcpy(&block, text.data() + i, sizeof block);
    if ((block & 0xFF80FF80FF80FF80u) != 0) break;
  }
  return i - at;
}

// Not 0 unless each of the kAsciiBlock units is ASCII and equal to the byte beside it. No branch
// inside, so that the compiler makes it a few vector instructions for each 8 or 16 units.
constexpr std::size_t kAsciiBlock = 64;
char16_t AsciiBlockDiffers(const char16_t* units, const char* bytes) {
  char16_t differ = 0;
  for (std::size_t k = 0; k < kAsciiBlock; ++k) {
    differ |= static_cast<char16_t>((units[k] ^ static_cast<unsigned char>(bytes[k])) | (units[k] & 0xFF80u));
  }
  return differ;
}

}  // namespace

std::size_t EndOfAscii(std::string_view bytes, std::size_t from) {
  std::size_t i = from;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t block = 0;
    std::memcpy(&block, bytes.data() + i, sizeof block);
    if ((block & 0x8080808080808080u) != 0) break;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
  return i;
}

Decoded DecodeUtf8(std::string_view text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  constexpr Decoded kBroken{kReplacement, 1, true};
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1, false};
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
    return kBroken;
  }
  if (at + length > text.size()) return kBroken;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80) return kBroken;
    cp = cp << 6 | (byte(at + i) & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || IsSurrogate(cp)) return kBroken;
  return {cp, length, false};
}

char* PutUtf8(char32_t cp, char* p) {
  if (IsSurrogate(cp)) cp = kReplacement;
  const auto put = [&p](unsigned value) { *p++ = static_cast<char>(value); };
  switch (Utf8Length(cp)) {
    case 1:
      put(cp);
      break;
    case 2:
      put(0xC0 | (cp >> 6));
      put(0x80 | (cp & 0x3F));
      break;
    case 3:
      put(0xE0 | (cp >> 12));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
      break;
    default:
      put(0xF0 | (cp >> 18));
      put(0x80 | ((cp >> 12) & 0x3F));
      put(0x80 | ((cp >> 6) & 0x3F));
      put(0x80 | (cp & 0x3F));
      break;
  }
  return p;
}

void AppendUtf8(char32_t code_point, std::string& out) {
  char bytes[4];
  out.append(bytes, PutUtf8(code_point, bytes));
}

void AppendUtf16(char32_t code_point, std::u16string& out) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
    return;
  }
  code_point -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
}

std::size_t Utf8Length(std::u16string_view text) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size();) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      const std::size_t run = std::max<std::size_t>(1, AsciiUnits(text, i));
      length += run, i += run;
      continue;
    }
    if (!IsSurrogate(unit)) {
      length += unit < 0x800 ? 2 : 3;
      ++i;
      continue;
    }
    const Decoded c = DecodeUtf16(text, i);
    length += Utf8Length(c.code_point);
    i += c.length;
  }
  return length;
}

char* PutUtf8(std::u16string_view text, char* out) {
  for (std::size_t i = 0; i < text.size();) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      const std::size_t run = std::max<std::size_t>(1, AsciiUnits(text, i));
      for (std::size_t k = 0; k < run; ++k) out[k] = static_cast<char>(text[i + k]);
      out += run, i += run;
      continue;
    }
    if (unit >= 0x800 && !IsSurrogate(unit)) {  // the three bytes of most of the plane, in place
      out[0] = static_cast<char>(0xE0 | (unit >> 12));
      out[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out[2] = static_cast<char>(0x80 | (unit & 0x3F));
      out += 3, ++i;
      continue;
    }
    const Decoded c = DecodeUtf16(text, i);
    out = PutUtf8(c.code_point, out);
    i += c.length;
  }
  return out;
}

bool IsUtf8Of(std::string_view utf8, std::u16string_view text) {
  std::size_t at = 0;  // in utf8
  for (std::size_t i = 0; i < text.size();) {
    if (i + kAsciiBlock <= text.size() && at + kAsciiBlock <= utf8.size() &&
        AsciiBlockDiffers(text.data() + i, utf8.data() + at) == 0) {
      i += kAsciiBlock, at += kAsciiBlock;
      continue;
    }
    // A character at a time up to where the next block would start, so that text that is not ASCII
    // costs no more than twice its length.
    for (const std::size_t stop = std::min(text.size(), i + kAsciiBlock); i < stop;) {
      const Decoded c = DecodeUtf16(text, i);
      char bytes[4];
      const auto length = static_cast<std::size_t>(PutUtf8(c.code_point, bytes) - bytes);
      if (utf8.size() - at < length || std::memcmp(utf8.data() + at, bytes, length) != 0) return false;
      i += c.length, at += length;
    }
  }
  return at == utf8.size();
}

std::string ToUtf8(std::u16string_view text) {
  // The length first, then the bytes in place: no growth.
  std::string out(Utf8Length(text), '\0');
  PutUtf8(text, out.data());
  return out;
}

}  // namespace recaster::text
