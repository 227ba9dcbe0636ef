// The configuration tree's value text, UTF-16 to UTF-8, and the exact JSON text of a tree.
#include <gtest/gtest.h>

#include <locale>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <boost/property_tree/json_parser.hpp>

#include "convert/convert.h"
#include "text/utf8.h"
#include "tree/config_tree.h"

namespace recaster::convert {
namespace {

using tree::AppendElement;
using tree::ConfigTree;
using tree::PutBool;
using tree::PutNumber;
using tree::PutSubtree;
using tree::PutText;

struct Utf8Case {
  const char* name;
  std::u16string input;
  std::string expected;
};

void PrintTo(const Utf8Case& c, std::ostream* os) { *os << c.name; }

class ToUtf8Table : public testing::TestWithParam<Utf8Case> {};

TEST_P(ToUtf8Table, ConvertsUnits) { EXPECT_EQ(text::ToUtf8(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    ToUtf8, ToUtf8Table,
    testing::Values(
        Utf8Case{"Empty", u"", ""},
        Utf8Case{"Ascii", u"abc", "abc"},
        Utf8Case{"TwoBytes", u"\u00E9\u07FF", "\xC3\xA9\xDF\xBF"},
        Utf8Case{"ThreeBytes", u"\u0800\u20AC\uFFFF", "\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"},
        Utf8Case{"SurrogatePair", std::u16string{0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"},
        Utf8Case{"HighestPair", std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},
        Utf8Case{"LoneLowSurrogate", std::u16string{0xDC00}, "\xEF\xBF\xBD"},
        Utf8Case{"HighSurrogateKeepsNextCharacter", std::u16string{0xD800, u'A'}, "\xEF\xBF\xBD" "A"},
        Utf8Case{"HighSurrogateLast", std::u16string{u'x', 0xD800}, "x\xEF\xBF\xBD"},
        Utf8Case{"HighSurrogateBeforePair", std::u16string{0xD800, 0xD800, 0xDC00}, "\xEF\xBF\xBD\xF0\x90\x80\x80"},
        Utf8Case{"TwoLowSurrogates", std::u16string{0xDC00, 0xDFFF}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
        Utf8Case{"LongText", u"C:\\ProgramData\\Ornvale\\\u00FCber", "C:\\ProgramData\\Ornvale\\\xC3\xBC" "ber"}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

// A locale whose numbers are grouped in thousands with ',', installed globally while it lives.
class GroupedGlobalLocale {
 public:
  GroupedGlobalLocale() : previous_(std::locale::global(std::locale(std::locale::classic(), new Grouping))) {}
  ~GroupedGlobalLocale() { std::locale::global(previous_); }

 private:
  struct Grouping : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::locale previous_;
};

TEST(ConfigTree, NumbersAreClassicWhateverTheGlobalLocale) {
  GroupedGlobalLocale grouped;
  std::ostringstream probe;
  probe << 1048576;
  ASSERT_EQ(probe.str(), "1,048,576");  // the locale is in force

  ConfigTree tree;
  PutNumber(tree, "socket_buffer_size", 1048576);
  PutNumber(tree, "max", 4294967295u);
  PutNumber(tree, "zero", 0);
  EXPECT_EQ(tree.get<std::string>("socket_buffer_size"), "1048576");
  EXPECT_EQ(ConfigTreeToJson(tree),
            "{\n    \"socket_buffer_size\": \"1048576\",\n    \"max\": \"4294967295\",\n    \"zero\": \"0\"\n}\n");
}

TEST(ConfigTree, EightBitValueIsWrittenAsDigits) {
  ConfigTree tree;
  PutNumber(tree, "a", std::uint8_t{65});
  PutNumber(tree, "hours_per_file", std::uint8_t{24});
  EXPECT_EQ(tree.get<std::string>("a"), "65");
  EXPECT_EQ(tree.get<std::string>("hours_per_file"), "24");
}

TEST(ConfigTree, PuttingAKeyTwiceKeepsTheFirstPlace) {
  ConfigTree tree;
  PutText(tree, "a", "1");
  PutText(tree, "b", "2");
  PutBool(tree, "a", false);
  EXPECT_EQ(ConfigTreeToJson(tree), "{\n    \"a\": \"false\",\n    \"b\": \"2\"\n}\n");
}

TEST(ConfigTree, KeyWithDotIsOneKey) {
  ConfigTree tree;
  PutText(tree, "a.b", "x");
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree.begin()->first, "a.b");
  EXPECT_TRUE(tree.begin()->second.empty());
}

TEST(ConfigTreeToJson, WritesTheTenLineExample) {
  ConfigTree tree;
  PutText(tree, "name", "tree");
  PutNumber(tree, "count", 7);
  PutBool(tree, "active", true);
  ConfigTree list;
  ConfigTree one;
  one.put_value(std::string("1"));
  ConfigTree two;
  two.put_value(std::string("2"));
  AppendElement(list, one);
  AppendElement(list, two);
  PutSubtree(tree, "list", list);
  PutSubtree(tree, "empty", ConfigTree());
  EXPECT_EQ(ConfigTreeToJson(tree),
            "{\n"
            "    \"name\": \"tree\",\n"
            "    \"count\": \"7\",\n"
            "    \"active\": \"true\",\n"
            "    \"list\": [\n"
            "        \"1\",\n"
            "        \"2\"\n"
            "    ],\n"
            "    \"empty\": \"\"\n"
            "}\n");
}

TEST(ConfigTreeToJson, EmptyTreeIsAnEmptyObject) { EXPECT_EQ(ConfigTreeToJson(ConfigTree()), "{\n}\n"); }

TEST(ConfigTreeToJson, NestsObjectsInArraysAndKeepsEmptyKeysInObjects) {
  ConfigTree element;
  PutText(element, "type", "udp");
  ConfigTree list;
  AppendElement(list, element);
  ConfigTree inner;
  PutSubtree(inner, "interfaces", list);
  ConfigTree tree;
  PutSubtree(tree, "network", inner);
  AppendElement(tree, ConfigTree());  // an empty key directly below the root is an object member
  EXPECT_EQ(ConfigTreeToJson(tree),
            "{\n"
            "    \"network\": {\n"
            "        \"interfaces\": [\n"
            "            {\n"
            "                \"type\": \"udp\"\n"
            "            }\n"
            "        ]\n"
            "    },\n"
            "    \"\": \"\"\n"
            "}\n");
}

struct EscapeCase {
  const char* name;
  std::string value;
  std::string written;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class JsonEscapes : public testing::TestWithParam<EscapeCase> {};

TEST_P(JsonEscapes, EscapesValuesAndKeysByteByByte) {
  ConfigTree tree;
  PutText(tree, GetParam().value, GetParam().value);
  const std::string& w = GetParam().written;
  EXPECT_EQ(ConfigTreeToJson(tree), "{\n    \"" + w + "\": \"" + w + "\"\n}\n");
}

INSTANTIATE_TEST_SUITE_P(
    ConfigTreeToJson, JsonEscapes,
    testing::Values(EscapeCase{"WindowsPath", "C:\\Data\\x/y", "C:\\\\Data\\\\x\\/y"},
                    EscapeCase{"Quote", "a\"b", "a\\\"b"},
                    EscapeCase{"NamedControls", "\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
                    EscapeCase{"OtherControls", "\x01\x1B\x1F", "\\u0001\\u001B\\u001F"},
                    EscapeCase{"PrintableAsciiUnchanged", " !#.0[]~\x7F", " !#.0[]~\x7F"},
                    EscapeCase{"HighBytesUnchanged", "\xC3\xBC\xF0\x9F\x98\x80\xFF", "\xC3\xBC\xF0\x9F\x98\x80\xFF"}),
    [](const testing::TestParamInfo<EscapeCase>& info) { return std::string(info.param.name); });

TEST(ConfigTreeToJson, RejectsRootWithValue) {
  ConfigTree tree;
  tree.put_value(std::string("x"));
  try {
    ConfigTreeToJson(tree);
    FAIL() << "no error";
  } catch (const boost::property_tree::json_parser_error& e) {
    EXPECT_EQ(e.message(), "ptree contains data that cannot be represented in JSON format");
  }
}

TEST(ConfigTreeToJson, RejectsDeepNodeWithValueAndChildren) {
  ConfigTree leaf;
  PutText(leaf, "c", "1");
  leaf.put_value(std::string("v"));
  ConfigTree middle;
  PutSubtree(middle, "b", leaf);
  ConfigTree tree;
  PutSubtree(tree, "a", middle);
  EXPECT_THROW(ConfigTreeToJson(tree), boost::property_tree::json_parser_error);
  const JsonResult result = TryConfigTreeToJson(tree);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, "ptree contains data that cannot be represented in JSON format");
  EXPECT_TRUE(result.text.empty());
}

// Keeps the pieces it is offered and refuses the one numbered `refuse` (from 0).
struct PieceSink final : text::TextSink {
  std::size_t refuse = SIZE_MAX;
  std::vector<std::string> pieces;
  bool Write(std::string_view bytes) override {
    pieces.emplace_back(bytes);
    return pieces.size() - 1 != refuse;
  }
};

// A text of 300,000 escapes and plain bytes goes in pieces of 64 KiB that make exactly Boost's text,
// and a sink that refuses a piece is offered nothing more.
TEST(WriteJson, GivesBoostsBytesInPiecesAndStopsWhereTheSinkRefuses) {
  std::string value;
  for (int i = 0; i < 100000; ++i) value += i % 3 == 0 ? "\x01" : i % 3 == 1 ? "/" : "ab";
  ConfigTree listener;
  PutText(listener, "addr", value);
  ConfigTree list;
  AppendElement(list, listener);
  AppendElement(list, listener);
  ConfigTree tree;
  PutSubtree(tree, "interfaces", list);
  std::ostringstream boost_text;
  boost::property_tree::write_json(boost_text, tree, true);

  PieceSink all;
  EXPECT_TRUE(WriteJson(tree, all));
  std::string joined;
  for (const std::string& piece : all.pieces) {
    EXPECT_LE(piece.size(), 65536u);
    joined += piece;
  }
  EXPECT_EQ(joined, boost_text.str());
  EXPECT_GT(all.pieces.size(), 2u);

  PieceSink refusing;
  refusing.refuse = 1;
  EXPECT_FALSE(WriteJson(tree, refusing));
  EXPECT_EQ(refusing.pieces.size(), 2u);
}

TEST(ConfigTreeToJson, TryGivesTheTextOnSuccess) {
  const JsonResult result = TryConfigTreeToJson(ConfigTree());
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.text, "{\n}\n");
}

}  // namespace
}  // namespace recaster::convert
