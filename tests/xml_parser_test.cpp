// The parser: text helpers, accepted and rejected documents, and the builder against a literal reading.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/xml_literal.h"
#include "tests/xml_test_files.h"
#include "xml/xml_document.h"

namespace recaster::xml {
namespace {

using namespace literal;

struct Parsed {
  XmlDocument document{u"RIZavoza"};
  XmlLoadResult result;
};

std::unique_ptr<Parsed> Parse(std::u16string_view text) {
  auto parsed = std::make_unique<Parsed>();
  parsed->result = parsed->document.LoadFromBytes(test_files::SettingsFile(text));
  return parsed;
}

TEST(XmlParser, TrimsOnlyBlankTabCrLf) {
  EXPECT_EQ(TrimXmlSpace(u" \t\r\n a b \n"), u"a b");
  EXPECT_EQ(TrimXmlSpace(u" \t\r\n"), u"");
  EXPECT_EQ(TrimXmlSpace(u"\va\f"), u"\va\f");
}

TEST(XmlParser, UnescapesInFixedOrderOnePassEach) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"&gt;&lt;&quot;&amp;", u"><\"&"}, {u"&amp;lt;", u"&lt;"},     {u"&amp;amp;", u"&amp;"},
      {u"&amp;gt;", u"&gt;"},             {u"&&gt;", u"&>"},           {u"&gt;gt;", u">gt;"},
      {u"&apos;&#60;&#x3C;&nbsp;", u"&apos;&#60;&#x3C;&nbsp;"},        {u"&lt", u"&lt"},
      {u"", u""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeXml(in), out);
}

TEST(XmlParser, RejectsEveryMalformedDocumentWithItsReason) {
  const std::pair<std::u16string, XmlError> cases[] = {
      {u" ", XmlError::kNoElements},
      {u"just text > here", XmlError::kNoElements},
      {u"<r", XmlError::kUnclosedTag},
      {u"<r></r", XmlError::kUnclosedTag},
      {u"<r><></r>", XmlError::kEmptyTag},
      {u"<r>< \t></r>", XmlError::kEmptyTag},
      {u"<r></></r>", XmlError::kEmptyTag},
      {u"<r>< /></r>", XmlError::kEmptyTag},
      {u"<RIZavoza/>", XmlError::kFirstTagNotStart},
      {u"</r><r></r>", XmlError::kFirstTagNotStart},
      {u"<r>", XmlError::kLastTagNotEnd},
      {u"<r></r><a/>", XmlError::kLastTagNotEnd},
      {u"<r></s>", XmlError::kRootNameMismatch},
      {u"<r></R>", XmlError::kRootNameMismatch},
      {u"<r></a></r>", XmlError::kUnexpectedEndTag},
      {u"<r></r></r>", XmlError::kUnexpectedEndTag},
      {u"<r></r><r></r>", XmlError::kUnexpectedEndTag},
      {u"<r><a></a></a></r>", XmlError::kUnexpectedEndTag},  // a ends at its first end tag
      {u"<r><a></ ></a></r>", XmlError::kUnexpectedEndTag},  // an empty end tag matches nothing
      {u"<r>text</r>", XmlError::kMisplacedText},
      {u"<r a=\"1\"></r>", XmlError::kMisplacedAttribute},
      {u"<r><a></r>", XmlError::kNoMatchingEndTag},
      {u"<r><a><b></a></b></r>", XmlError::kNoMatchingEndTag},
      {u"<r><a><a></a></a></r>", XmlError::kNoMatchingEndTag},
      {u"<r><!-- note --></r>", XmlError::kNoMatchingEndTag},
      {u"<r><![CDATA[x]]></r>", XmlError::kNoMatchingEndTag},
      {u"<r><?pi x?></r>", XmlError::kNoMatchingEndTag},
      {u"<!DOCTYPE r><r></r>", XmlError::kRootNameMismatch},
      {u"<r><a x=1/></r>", XmlError::kMalformedAttribute},
      {u"<r><a x='1'/></r>", XmlError::kMalformedAttribute},
      {u"<r><a x/></r>", XmlError::kMalformedAttribute},
      {u"<r><a x=\"1/></r>", XmlError::kMalformedAttribute},
      {u"<r><a =/></r>", XmlError::kMalformedAttribute},
      {u"<r><a x=\"1\"y=\"2\"></a></r>", XmlError::kNone},  // one attribute x with value 1"y="2
  };
  for (const auto& [text, error] : cases) {
    auto parsed = Parse(text);
    EXPECT_EQ(parsed->result.error, error) << std::string(text.begin(), text.end());
    EXPECT_EQ(parsed->result.status, error == XmlError::kNone ? 0 : -1);
  }
}

TEST(XmlParser, LoadsRootOfAnyNameWithoutChildren) {
  for (std::u16string name : {u"RIZavoza", u"Other", u"x-y.z"}) {
    auto parsed = Parse(u"\r\n<" + name + u">\r\n</" + name + u">\r\n");
    EXPECT_EQ(parsed->result.status, 0);
    EXPECT_EQ(parsed->document.Name(), name);
    EXPECT_EQ(parsed->document.ChildCount(), 0);
  }
}

TEST(XmlParser, ReadsAttributesOfEmptyAndStartTagsAlike) {
  for (std::u16string_view text : {u"<r><a x=\"1\" y=\"2\"/></r>", u"<r><a x=\"1\" y=\"2\"></a></r>"}) {
    auto parsed = Parse(text);
    ASSERT_EQ(parsed->result.status, 0);
    const XmlNode& a = parsed->document.FindChild(u"a");
    EXPECT_EQ(a.AttributeCount(), 2);
    EXPECT_EQ(a.GetAttribute(u"x"), u"1");
    EXPECT_EQ(a.GetAttribute(u"y"), u"2");
  }
}

TEST(XmlParser, KeepsAttributeQuirksFilesRelyOn) {
  auto parsed = Parse(u"<r><a x=\"1\"  y=\"2\"/><b text=\"&lt;b&gt; &amp;amp;\"/><c x=\"1\" x=\"2\" =\"e\"/>"
                      u"<d x=\"></d><e q=\"&quot;\" a=\"&amp;lt;\"/></r>");
  ASSERT_EQ(parsed->result.status, 0);
  const XmlNode& r = parsed->document;
  EXPECT_EQ(r.FindChild(u"a").GetAttribute(u" y"), u"2");  // two blanks: the name starts with one
  EXPECT_EQ(r.FindChild(u"a").GetAttribute(u"y"), u"");
  EXPECT_EQ(r.FindChild(u"b").GetAttribute(u"text"), u"<b> &amp;");
  EXPECT_EQ(r.FindChild(u"c").GetAttribute(u"x"), u"2");  // the last of one name wins
  EXPECT_EQ(r.FindChild(u"c").GetAttribute(u""), u"e");
  EXPECT_EQ(r.FindChild(u"d").AttributeCount(), 1);  // x=" ends in the quote after "="
  EXPECT_EQ(r.FindChild(u"d").GetAttribute(u"x"), u"");
  EXPECT_EQ(r.FindChild(u"e").GetAttribute(u"q"), u"\"");
  EXPECT_EQ(r.FindChild(u"e").GetAttribute(u"a"), u"&lt;");
}

TEST(XmlParser, TakesTrimmedTextOnlyDirectlyAfterStartTag) {
  auto parsed = Parse(u"before<r><m>  42 </m><n></n><o/><p>&amp;</p><q>1 > 0</q><a>1<b/>2</a>"
                      u"<c>\r\n\t7\r\n</c></r>after");
  ASSERT_EQ(parsed->result.status, 0);
  const XmlNode& r = parsed->document;
  const std::pair<std::u16string_view, std::u16string_view> texts[] = {
      {u"m", u"42"}, {u"n", u""}, {u"o", u""}, {u"p", u"&"}, {u"q", u"1 > 0"}, {u"a", u"1"}, {u"c", u"7"}};
  for (const auto& [name, text] : texts) EXPECT_EQ(r.FindChild(name).Text(), text);
  EXPECT_EQ(r.FindChild(u"a").ChildCount(), 1);
  EXPECT_EQ(r.FindChild(u"a").FindChild(u"b").Text(), u"");
}

TEST(XmlParser, KeepsSameNamedSiblingsInOrder) {
  auto parsed = Parse(u"<r><a>1</a><b><a>in b</a></b><a>2</a></r>");
  ASSERT_EQ(parsed->result.status, 0);
  ASSERT_EQ(parsed->document.ChildCount(), 3);
  EXPECT_EQ(parsed->document.ChildAt(0).Text(), u"1");
  EXPECT_EQ(parsed->document.ChildAt(1).FindChild(u"a").Text(), u"in b");
  EXPECT_EQ(parsed->document.ChildAt(2).Text(), u"2");
}

TEST(XmlParser, KeepsElementsMetBeforeFailure) {
  auto parsed = Parse(u"<r><a/><b x=\"1\"><c></c></r>");
  EXPECT_EQ(parsed->result.error, XmlError::kNoMatchingEndTag);
  EXPECT_EQ(parsed->document.Name(), u"r");
  ASSERT_EQ(parsed->document.ChildCount(), 2);
  EXPECT_EQ(parsed->document.ChildAt(1).Name(), u"b");
}

std::u16string Nested(int depth) {
  std::u16string text = u"<r>";
  for (int i = 0; i < depth; ++i) text += u"<e>" + std::u16string(i % 2 ? u"" : u"t");
  text += u"<leaf/>";
  for (int i = 0; i < depth; ++i) text += u"</e>";
  return text + u"</r>";
}

TEST(XmlParser, RejectsNestingDeeperThanTheLimit) {
  // Same-named nested elements cannot close; the name must change with the level.
  auto deep = [](int levels) {
    std::u16string text = u"<r>";
    auto tag = [&text](std::u16string_view open, int i) {
      text += open;
      text += u'e';
      text += static_cast<char16_t>(0x100 + i % 0xC000);
      text += u'>';
    };
    for (int i = 0; i < levels; ++i) tag(u"<", i);
    for (int i = levels; i-- > 0;) tag(u"</", i);
    return text + u"</r>";
  };
  EXPECT_EQ(Parse(deep(kMaxDepth))->result.status, 0);
  EXPECT_EQ(Parse(deep(kMaxDepth + 1))->result.error, XmlError::kTooDeep);
  EXPECT_EQ(Parse(deep(100000))->result.error, XmlError::kTooDeep);
  EXPECT_EQ(Parse(Nested(100000))->result.error, XmlError::kNoMatchingEndTag);
}

std::u16string Repeat(std::u16string_view piece, std::uint32_t times) {
  std::u16string text;
  text.reserve(piece.size() * times);
  for (std::uint32_t i = 0; i < times; ++i) text += piece;
  return text;
}

TEST(XmlParser, RefusesMoreChildrenOrElementsThanTheLimits) {
  // One element holds kMaxChildren children; the one after is refused where it starts.
  EXPECT_EQ(Parse(u"<r><l>" + Repeat(u"<a/>", kMaxChildren) + u"</l></r>")->result.status, 0);
  auto children = Parse(u"<r><l>" + Repeat(u"<a/>", kMaxChildren) + u"<b></b></l></r>");
  EXPECT_EQ(children->result.status, -1);
  EXPECT_EQ(children->result.error, XmlError::kTooManyChildren);
  EXPECT_EQ(children->result.column, 46 + 4 * kMaxChildren);
  EXPECT_EQ(DescribeLoadResult(children->result),
            "an element holds more than 16384 child elements (line 1, column 65582)");

  // Lists of kMaxChildren - 1 items: with their own elements they make kMaxElements exactly.
  const std::u16string list = u"<l>" + Repeat(u"<a/>", kMaxChildren - 1) + u"</l>";
  const std::u16string lists = Repeat(list, kMaxElements / kMaxChildren);
  EXPECT_EQ(Parse(u"<r>" + lists + u"</r>")->result.status, 0);
  auto elements = Parse(u"<r>" + lists + u"\n <b/></r>");
  EXPECT_EQ(elements->result.error, XmlError::kTooManyElements);
  EXPECT_EQ(elements->result.line, 2u);
  EXPECT_EQ(elements->result.column, 2u);
  EXPECT_EQ(DescribeXmlError(elements->result.error), "the document holds more than 1048576 elements");
}

TEST(XmlParser, PlacesRejectionsByLineAndColumn) {
  struct Case {
    std::u16string_view text;
    XmlError error;
    std::uint32_t line, column;
  };
  const Case cases[] = {
      {u"<r", XmlError::kUnclosedTag, 1, 40},
      {u"\n<r>\n  <a>\n</r>", XmlError::kNoMatchingEndTag, 3, 3},
      {u"<r x=\"1\"></r>", XmlError::kMisplacedAttribute, 1, 43},
      {u"<r>\r\n\t<a x=1/></r>", XmlError::kMalformedAttribute, 2, 5},
      {u"<r>\n  text\n</r>", XmlError::kMisplacedText, 2, 3},
      {u"text only", XmlError::kNoElements, 0, 0},
  };
  for (const Case& c : cases) {
    auto parsed = Parse(c.text);
    EXPECT_EQ(parsed->result.error, c.error);
    EXPECT_EQ(parsed->result.line, c.line);
    EXPECT_EQ(parsed->result.column, c.column);
  }
  EXPECT_EQ(DescribeLoadResult(Parse(u"<r")->result), "a \"<\" has no closing \">\" (line 1, column 40)");
}

// Markup added by hand is named at its own place, whatever error it caused further on.
TEST(XmlParser, MarkupASettingsFileNeverHoldsIsNamedWhereItStands) {
  const struct {
    std::u16string text;
    std::string said;
  } cases[] = {
      {u"<r>\n  <!-- old port -->\n  <a/>\n</r>", "a comment (<!-- -->) is not part of a settings file; remove it (line 2, column 3)"},
      {u"<r><?pi x?></r>", "a processing instruction (<? ?>) is not part of a settings file; remove it (line 1, column 43)"},
      {u"\n<!DOCTYPE r>\n<r></r>", "a DOCTYPE or CDATA section (<! >) is not part of a settings file; remove it (line 2, column 1)"},
  };
  for (const auto& c : cases) EXPECT_EQ(DescribeLoadResult(Parse(c.text)->result), c.said);
}

// A file that is no UTF-16 little-endian settings file is told by what it looks like.
TEST(XmlParser, AFileOfAnotherKindIsRecognised) {
  const std::string padding(100, ' ');
  const struct {
    std::string bytes;
    std::string_view starts;
  } cases[] = {
      {"{\"network\": {}}", "the file looks like JSON"},
      {"\n  [1]" + padding, "the file looks like JSON"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + padding, "the file is XML encoded as UTF-8"},
      {"<?xml version=\"1.0\"?>" + padding, "the file is XML encoded as UTF-8"},
      {"\xFE\xFF" + padding, "the file is UTF-16 big-endian"},
      {std::string("<\0?\0", 4) + padding, "the file is UTF-16 little-endian without its byte-order mark"},
      {"plain text" + padding, "the file does not start with a UTF-16 little-endian byte-order mark"},
  };
  for (const auto& c : cases) {
    XmlDocument document(u"");
    const XmlLoadResult result = document.LoadFromBytes(c.bytes);
    EXPECT_EQ(result.status, -1);
    EXPECT_TRUE(DescribeLoadResult(result).starts_with(c.starts)) << DescribeLoadResult(result);
  }
}

TEST(XmlParser, BuilderAgreesWithLiteralRulesOnGeneratedDocuments) {
  const std::u16string_view pieces[] = {
      u"<a>", u"</a>", u"<b>", u"</b>", u"<a/>", u"<b x=\"1\"/>", u"<a x=\"&amp;lt;\">", u"t", u" ", u"<", u">",
      u"/", u"=\"", u"\" ", u"</ >", u"< a >", u"<a  y=\"2\" z=\"3\">", u"</ a>", u"<b/ >", u"&gt;", u"\n", u"<c>",
      u"</c>", u"</r>", u"<r>"};
  std::mt19937 random(20240611);
  // Well-formed elements of a few names, some with attributes and text, nested a few deep.
  std::function<std::u16string(int)> element = [&](int depth) {
    const std::u16string name(1, u"abc"[random() % 3]);
    const std::u16string attributes = random() % 3 ? u"" : u" x=\"1\"";
    if (random() % 3 == 0) return u"<" + name + attributes + u"/>";
    std::u16string text = u"<" + name + attributes + u">" + (random() % 2 ? u"t" : u"");
    for (int n = depth < 3 ? static_cast<int>(random() % 3) : 0; n > 0; --n) text += element(depth + 1);
    return text + u"</" + name + u">";
  };
  int accepted = 0;
  for (int round = 0; round < 30000; ++round) {
    std::u16string text;
    if (round % 2) {
      // A generated document, often with one piece put in at a random place.
      text = u"<r>" + element(0) + element(0) + u"</r>";
      if (random() % 4) text.insert(random() % (text.size() + 1), pieces[random() % std::size(pieces)]);
    } else {
      text = round % 8 ? u"<r>" : u"";
      for (int k = static_cast<int>(random() % 14); k > 0; --k) text += pieces[random() % std::size(pieces)];
      if (round % 8) text += u"</r>";
    }

    std::vector<XmlToken> tokens;
    XmlParseError tokenize_error;
    if (!Tokenize(text, &tokens, &tokenize_error) || tokens.size() < 2) continue;
    XmlNode fast(u"r"), literal(u"r");
    XmlParseError fast_error, literal_error;
    const bool fast_ok = BuildTree(tokens, 1, tokens.size() - 1, fast, &fast_error);
    const bool literal_ok = LiteralBuild(tokens, 1, tokens.size() - 1, literal, 0, &literal_error);
    const std::string shown(text.begin(), text.end());
    ASSERT_EQ(fast_ok, literal_ok) << shown;
    accepted += fast_ok;
    if (!fast_ok) {
      ASSERT_EQ(fast_error.error, literal_error.error) << shown;
      ASSERT_EQ(fast_error.offset, literal_error.offset) << shown;
    }
    ASSERT_TRUE(SameTree(fast, literal)) << shown;  // partial trees too
  }
  EXPECT_GT(accepted, 3000);  // the generator reaches both outcomes
}

TEST(XmlParser, UnescapeAgreesWithLiteralPasses) {
  const char16_t alphabet[] = u"&amp;ltgquo;x";
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::u16string text;
    for (int k = static_cast<int>(random() % 16); k > 0; --k) text += alphabet[random() % (std::size(alphabet) - 1)];
    ASSERT_EQ(UnescapeXml(text), LiteralUnescape(text)) << std::string(text.begin(), text.end());
  }
}

}  // namespace
}  // namespace recaster::xml
