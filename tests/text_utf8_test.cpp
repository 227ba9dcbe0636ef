// The one UTF-8 coder: what it takes for a character and what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/utf8.h"

namespace recaster::text {
namespace {

struct DecodeCase {
  const char* name;
  std::string_view bytes;
  char32_t code_point;
  std::size_t length;
};

TEST(DecodeUtf8, TakesWellFormedCharactersAndRefusesTheRestOneByteAtATime) {
  const DecodeCase cases[] = {
      {"ascii", "A", U'A', 1},
      {"four bytes", "\xF0\x9F\x98\x80", 0x1F600, 4},
      {"overlong slash", "\xC0\xAF", kReplacement, 1},
      {"overlong three bytes", "\xE0\x80\xAF", kReplacement, 1},
      {"an encoded surrogate", "\xED\xA0\x80", kReplacement, 1},
      {"above U+10FFFF", "\xF4\x90\x80\x80", kReplacement, 1},
      {"cut short", "\xE2\x80", kReplacement, 1},
      {"a continuation byte alone", "\x80", kReplacement, 1},
      {"a lead byte before ASCII", "\xC3(", kReplacement, 1},
  };
  for (const DecodeCase& c : cases) {
    const Decoded d = DecodeUtf8(c.bytes, 0);
    EXPECT_EQ(d.code_point, c.code_point) << c.name;
    EXPECT_EQ(d.length, c.length) << c.name;
    EXPECT_EQ(d.broken, c.code_point == kReplacement) << c.name;
  }
}

TEST(Utf8Length, CountsWhatPutUtf8Writes) {
  // ASCII runs are taken four units at a time: other characters at each place of such a block.
  const std::u16string texts[] = {u"", u"abc", u"\u00E9\u07FF\u0800\uFFFF", u"\U0001F600", {0xD800, u'A'},
                                  {0xDC00}, {u'x', 0xD800}, {0xDBFF, 0xDBFF, 0xDFFF}, u"abcdefg\u00E9h",
                                  u"abcd\u0080efgh\u4E2Dijklm", u"abc\U0001F600defghi", {u'a', u'b', u'c', u'd', u'e', 0xDC00, u'f'}};
  for (const std::u16string& text : texts) {
    std::string bytes(Utf8Length(text) + 4, '*');
    EXPECT_EQ(static_cast<std::size_t>(PutUtf8(text, bytes.data()) - bytes.data()), Utf8Length(text));
    EXPECT_EQ(bytes.substr(Utf8Length(text)), "****");
    std::string one_by_one;
    for (std::size_t i = 0; i < text.size();) {
      const Decoded c = DecodeUtf16(text, i);
      AppendUtf8(c.code_point, one_by_one);
      i += c.length;
    }
    EXPECT_EQ(bytes.substr(0, Utf8Length(text)), one_by_one);
  }
}

// Compared in blocks of 64 ASCII units: texts that cross a block, with a character that is not ASCII at
// either end of one, hold their own UTF-8 and nothing one byte off it.
TEST(IsUtf8Of, HoldsExactlyTheUtf8OfTheText) {
  const std::u16string ascii(130, u'a');
  std::u16string texts[] = {u"", ascii.substr(0, 63), ascii.substr(0, 64), ascii, ascii + u"\u00E9",
                            u"\u00E9" + ascii, ascii.substr(0, 63) + u"\U0001F600" + ascii, ascii + char16_t{0xD800}, u"\u4E2D"};
  for (const std::u16string& text : texts) {
    const std::string utf8 = ToUtf8(text);
    EXPECT_TRUE(IsUtf8Of(utf8, text)) << utf8;
    EXPECT_FALSE(IsUtf8Of(utf8 + "a", text)) << utf8;
    if (utf8.empty()) continue;
    EXPECT_FALSE(IsUtf8Of(utf8.substr(0, utf8.size() - 1), text)) << utf8;
    for (const std::size_t at : {std::size_t{0}, utf8.size() / 2, utf8.size() - 1}) {
      std::string changed = utf8;
      changed[at] = static_cast<char>(changed[at] ^ 1);
      EXPECT_FALSE(IsUtf8Of(changed, text)) << utf8 << " at " << at;
    }
  }
  // A unit above U+007F is not the byte of the same value.
  EXPECT_FALSE(IsUtf8Of(std::string(63, 'a') + "\xE9", ascii.substr(0, 63) + u"\u00E9"));
  EXPECT_FALSE(IsUtf8Of(std::string(64, '\xE9'), std::u16string(64, u'\u00E9')));
}

}  // namespace
}  // namespace recaster::text
