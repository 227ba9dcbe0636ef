// Integers and flags as element text: the reading rules and the written forms.
#include <gtest/gtest.h>

#include <string>

#include "xml/xml_text.h"

namespace recaster::xml {
namespace {

TEST(XmlText, ReadsIntegersAsSettingsStoreThem) {
  const std::pair<std::u16string, std::int32_t> cases[] = {
      {u"42", 42},          {u" \t\r\n\v\f42", 42}, {u"+7", 7},           {u"-7", -7},
      {u"12abc", 12},       {u"01", 1},             {u"abc", 0},          {u"", 0},
      {u"-", 0},            {u"- 5", 0},            {u"0x10", 0},         {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},                  {u"-2147483648", -2147483647 - 1},
      {u"-2147483649", -2147483647 - 1},            {u"99999999999999999999999", 2147483647},
      {u"-00000000000000000000000012", -12},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ParseXmlInt(in), out) << std::string(in.begin(), in.end());
}

TEST(XmlText, FlagIsTrueExactlyWhenTheTextReadsAsOne) {
  for (std::u16string_view text : {u"1", u" 1", u"01", u"+1", u"1x", u"\t1\r\n"}) EXPECT_TRUE(ParseXmlBool(text));
  for (std::u16string_view text : {u"", u"0", u"2", u"-1", u"true", u"x1", u"11", u"4294967297"}) {
    EXPECT_FALSE(ParseXmlBool(text)) << std::string(text.begin(), text.end());
  }
}

TEST(XmlText, WrittenFormsReadBackToTheirValues) {
  for (std::int32_t value : {0, 1, -1, 514, 16777215, 2147483647, -2147483647 - 1}) {
    const std::u16string text = FormatXmlInt(value);
    EXPECT_EQ(ParseXmlInt(text), value);
    EXPECT_EQ(text.find_first_not_of(u"-0123456789"), std::u16string::npos);
    EXPECT_TRUE(text.size() == 1 || text[text.find_first_not_of(u'-')] != u'0');  // no padding
  }
  EXPECT_EQ(FormatXmlBool(true), u"1");
  EXPECT_EQ(FormatXmlBool(false), u"0");
  EXPECT_TRUE(ParseXmlBool(FormatXmlBool(true)));
  EXPECT_FALSE(ParseXmlBool(FormatXmlBool(false)));
}

}  // namespace
}  // namespace recaster::xml
