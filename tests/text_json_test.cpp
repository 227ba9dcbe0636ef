// The JSON writer's two escapings and its pieces.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "text/json_writer.h"

namespace recaster::text {
namespace {

struct Pieces final : TextSink {
  bool Write(std::string_view bytes) override {
    pieces.emplace_back(bytes);
    return pieces.size() < refuse_at;
  }
  std::size_t refuse_at = ~std::size_t{0};
  std::vector<std::string> pieces;
};

bool RightToLeftOverride(char32_t c) { return c == 0x202E; }

// The string value of UTF-8 (or, when `utf16` is not empty, UTF-16) text under the escaping.
std::string Quoted(const JsonEscaping& escaping, std::string_view utf8, std::u16string_view utf16 = {}) {
  Pieces sink;
  JsonWriter json(sink, JsonLayout{2, false}, escaping);
  if (utf16.empty()) {
    json.String(utf8);
  } else {
    json.String(utf16);
  }
  EXPECT_TRUE(json.Finish());
  std::string text;
  for (const std::string& piece : sink.pieces) text += piece;
  return text;
}

TEST(JsonWriter, EscapesByteWiseOrByCharacter) {
  const JsonEscaping readable = CharacterEscaping(&RightToLeftOverride);
  struct Case {
    bool bytes;
    std::string_view utf8;
    std::u16string_view utf16;
    std::string_view json;
  };
  const Case cases[] = {
      {true, "a\x01/\x1F", u"", "\"a\\u0001\\/\\u001F\""},                  // a control byte, the slash
      {true, "\xFF\xE2\x80\xAE", u"", "\"\xFF\xE2\x80\xAE\""},              // bytes from 0x80 pass as they are
      {true, "", u"a\xD800", "\"a\xEF\xBF\xBD\""},                          // a lone surrogate
      {false, "a\x01/\x1F\b", u"", "\"a\\u0001/\\u001f\\u0008\""},          // a control byte, the slash
      {false, "\xFF" "a\xC3\xA9", u"", "\"\xEF\xBF\xBD" "a\xC3\xA9\""},     // a byte that starts no character
      {false, "\xE2\x80\xAE", u"", "\"\\u202e\""},                          // a hidden character
      {false, "", u"\xDC00" "a\x202E\xD83D\xDE00", "\"\xEF\xBF\xBD" "a\\u202e\xF0\x9F\x98\x80\""},  // a lone surrogate
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Quoted(c.bytes ? ByteEscaping() : readable, c.utf8, c.utf16), c.json) << c.json;
  }
}

TEST(JsonWriter, StopsAtARefusedPiece) {
  Pieces sink;
  sink.refuse_at = 1;
  JsonWriter json(sink, JsonLayout{4, true}, ByteEscaping());
  json.Open('[');
  for (int i = 0; i < 30000; ++i) json.Item().String("\x01\x02");
  json.Close(']');
  EXPECT_FALSE(json.Finish());
  ASSERT_EQ(sink.pieces.size(), 1u);
  EXPECT_EQ(sink.pieces[0].size(), JsonWriter::kPiece);
}

}  // namespace
}  // namespace recaster::text
