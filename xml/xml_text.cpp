// Integers and flags as element text.
#include "xml/xml_text.h"

namespace recaster::xml {

std::int32_t ParseXmlInt(std::u16string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == u' ' || (text[pos] >= u'\t' && text[pos] <= u'\r'))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) negative = text[pos++] == u'-';
  // The magnitude stops growing once it is past every 32-bit value, so it cannot overflow.
  constexpr std::int64_t kCap = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos) {
    if (magnitude < kCap) magnitude = magnitude * 10 + (text[pos] - u'0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

bool ParseXmlBool(std::u16string_view text) { return ParseXmlInt(text) == 1; }

std::u16string FormatXmlInt(std::int32_t value) {
  // Digits are produced from the magnitude as unsigned, so the most negative value needs no care.
  std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char16_t digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::u16string text;
  if (value < 0) text.push_back(u'-');
  while (n > 0) text.push_back(digits[--n]);
  return text;
}

std::u16string_view FormatXmlBool(bool value) { return value ? u"1" : u"0"; }

}  // namespace recaster::xml
