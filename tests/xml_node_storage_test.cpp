// How a node keeps its attributes, children and name index: made on first use, copied deeply, and
// the same to every caller whether or not they were ever made.
#include <gtest/gtest.h>

#include <algorithm>

#include "xml/xml_document.h"

namespace recaster::xml {
namespace {

std::string Utf16LeFile(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  const std::u16string whole = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + std::u16string(text);
  for (char16_t c : whole) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

TEST(XmlNodeStorage, NodeWithoutAttributesReadsAsEmpty) {
  const XmlNode node(u"a");
  EXPECT_EQ(node.AttributeCount(), 0);
  EXPECT_TRUE(node.Attributes().empty());
  EXPECT_EQ(node.GetAttribute(u"x"), u"");
}

TEST(XmlNodeStorage, CopyOwnsItsAttributesAndIndex) {
  XmlNode original(u"r");
  original.SetAttribute(u"x", u"1");
  for (const char16_t* name : {u"c", u"a", u"b", u"a"}) original.AddChild(name).SetText(name);
  original.RebuildIndex();
  XmlNode copy(original);
  copy.SetAttribute(u"x", u"2");
  copy.SetAttribute(u"y", u"3");
  EXPECT_EQ(original.GetAttribute(u"x"), u"1");
  EXPECT_EQ(original.AttributeCount(), 1);
  EXPECT_EQ(copy.AttributeCount(), 2);
  EXPECT_EQ(&copy.FindChild(u"a"), &copy.ChildAt(1));
  EXPECT_EQ(&original.FindChild(u"a"), &original.ChildAt(1));
  XmlNode moved(std::move(copy));
  EXPECT_EQ(&moved.FindChild(u"b"), &moved.ChildAt(2));
  EXPECT_EQ(moved.GetAttribute(u"y"), u"3");
}

TEST(XmlNodeStorage, ReserveChildrenChangesNothingVisible) {
  XmlNode node(u"r");
  node.AddChild(u"a");
  node.ReserveChildren(100);
  EXPECT_EQ(node.ChildCount(), 1);
  XmlNode& first = node.AddChild(u"b");
  for (int i = 0; i < 98; ++i) node.AddChild(u"c");
  EXPECT_EQ(&first, &node.ChildAt(1));  // room was made: no child moved
  XmlNode& null = const_cast<XmlNode&>(NullNode());
  null.ReserveChildren(10);
  EXPECT_EQ(null.ChildCount(), 0);
}

// Index look-ups on long lists (sorted apart from short ones) agree with the ordered scan.
TEST(XmlNodeStorage, IndexOnLongAndShortListsFindsFirstOfName) {
  for (int count : {1, 2, 15, 16, 17, 300}) {
    XmlNode node(u"r");
    for (int i = 0; i < count; ++i) node.AddChild(std::u16string(1, static_cast<char16_t>(u'a' + (i * 7) % 11)));
    node.RebuildIndex();
    for (int i = 0; i < count; ++i) {
      const XmlNode& child = node.ChildAt(i);
      int first = 0;
      while (node.ChildAt(first).Name() != child.Name()) ++first;
      EXPECT_EQ(&node.FindChild(child.Name()), &node.ChildAt(first)) << "count " << count << ", child " << i;
    }
  }
}

// A loaded element counts its distinct names where they lie, however many it has (a long list is kept
// as the builder made it), and a copy agrees.
TEST(XmlNodeStorage, CountsDistinctLoadedAttributeNames) {
  for (int count : {3, 16, 17, 40, 300}) {
    std::u16string tag = u"<r><a";
    for (int i = 0; i < count; ++i) tag += u" n" + std::u16string(1, static_cast<char16_t>(u'a' + i % 13)) + u"=\"v\"";
    XmlDocument loaded(u"d");
    ASSERT_TRUE(loaded.LoadFromBytes(Utf16LeFile(tag + u"/></r>")).ok());
    const XmlNode& a = loaded.ChildAt(0);
    EXPECT_EQ(a.AttributeCount(), std::min(count, 13)) << count;
    EXPECT_EQ(XmlNode(a).AttributeCount(), std::min(count, 13)) << count;
    EXPECT_EQ(a.GetAttribute(u"nc"), u"v") << count;
  }
}

// Loads whose end tags are found in the table of latest end tags, past its first growth.
TEST(XmlNodeStorage, LoadsManyDistinctNamesAndRefusesAMissingEnd) {
  std::u16string text = u"<r>";
  for (int i = 0; i < 500; ++i) {
    std::u16string name(1, u'n');
    name += static_cast<char16_t>(u'A' + i % 26);
    name.append(static_cast<std::size_t>(i / 26), u'x');
    text += u"<" + name + u" v=\"" + name + u"\">" + name + u"</" + name + u">";
  }
  XmlDocument loaded(u"d");
  ASSERT_TRUE(loaded.LoadFromBytes(Utf16LeFile(text + u"</r>")).ok());
  EXPECT_EQ(loaded.ChildCount(), 500);
  EXPECT_EQ(loaded.ChildAt(499).Text(), loaded.ChildAt(499).Name());
  EXPECT_EQ(loaded.ChildAt(499).GetAttribute(u"v"), loaded.ChildAt(499).Name());

  XmlDocument refused(u"d");
  const XmlLoadResult result = refused.LoadFromBytes(Utf16LeFile(text + u"<last></r>"));
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.error, XmlError::kNoMatchingEndTag);
}

}  // namespace
}  // namespace recaster::xml
