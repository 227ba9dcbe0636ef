// The element tree's node operations and the name index.
#include <gtest/gtest.h>

#include "xml/xml_document.h"

namespace recaster::xml {
namespace {

TEST(XmlNode, NullNodeIgnoresChanges) {
  XmlNode& null = const_cast<XmlNode&>(NullNode());
  EXPECT_FALSE(null.IsValid());
  EXPECT_FALSE(null.AddChild(u"a").IsValid());
  null.SetText(u"x");
  null.SetAttribute(u"a", u"b");
  null.SetTextInt(5);
  null = XmlNode(u"other");
  EXPECT_EQ(null.Text(), u"(null)");
  EXPECT_EQ(null.Name(), u"(null)");
  EXPECT_EQ(null.ChildCount(), 0);
  EXPECT_EQ(null.AttributeCount(), 0);
  EXPECT_FALSE(null.FindChild(u"a").IsValid());
  XmlNode moved(std::move(null));
  EXPECT_EQ(NullNode().Name(), u"(null)");
}

TEST(XmlNode, ChildAtOutOfRangeGivesNullNode) {
  XmlNode node(u"r");
  node.AddChild(u"a");
  EXPECT_TRUE(node.ChildAt(0).IsValid());
  EXPECT_FALSE(node.ChildAt(-1).IsValid());
  EXPECT_FALSE(node.ChildAt(1).IsValid());
}

TEST(XmlNode, FindChildGivesFirstInDocumentOrderWithOrWithoutIndex) {
  XmlNode node(u"r");
  node.AddChild(u"b").SetText(u"1");
  node.AddChild(u"a").SetText(u"2");
  node.AddChild(u"b").SetText(u"3");
  EXPECT_EQ(node.FindChild(u"b").Text(), u"1");
  node.RebuildIndex();
  EXPECT_EQ(node.FindChild(u"b").Text(), u"1");
  EXPECT_EQ(node.FindChild(u"a").Text(), u"2");
  node.AddChild(u"c").SetText(u"4");  // added after the index was built
  node.AddChild(u"a").SetText(u"5");
  EXPECT_EQ(node.FindChild(u"c").Text(), u"4");
  EXPECT_EQ(node.FindChild(u"a").Text(), u"2");
  EXPECT_FALSE(node.FindChild(u"B").IsValid());
  XmlNode copy(node);
  node.ChildAt(0).SetText(u"changed");
  EXPECT_EQ(copy.FindChild(u"b").Text(), u"1");
}

TEST(XmlNode, SetTextIntWritesPlainSignedDecimal) {
  XmlNode node(u"n");
  const std::pair<std::int32_t, std::u16string> cases[] = {
      {0, u"0"}, {514, u"514"}, {-1, u"-1"}, {2147483647, u"2147483647"}, {-2147483647 - 1, u"-2147483648"}};
  for (const auto& [value, text] : cases) {
    node.SetTextInt(value);
    EXPECT_EQ(node.Text(), text);
  }
  node.SetTextBool(true);
  EXPECT_EQ(node.Text(), u"1");
  node.SetTextBool(false);
  EXPECT_EQ(node.Text(), u"0");
}

TEST(XmlNode, AttributesReplaceByName) {
  XmlNode node(u"n");
  node.SetAttribute(u"text", u"a");
  node.SetAttribute(u"text", u"b");
  EXPECT_EQ(node.AttributeCount(), 1);
  EXPECT_EQ(node.GetAttribute(u"text"), u"b");
  EXPECT_EQ(node.GetAttribute(u"missing"), u"");
}

}  // namespace
}  // namespace recaster::xml
