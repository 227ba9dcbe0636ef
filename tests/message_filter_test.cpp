// The message filter record: reset, equality, and its element form in both directions.
#include <gtest/gtest.h>

#include "xml/message_filter.h"

namespace recaster::xml {
namespace {

// A record in which every field differs from the initial record.
MessageFilter FullFilter() {
  MessageFilter f;
  f.name = u"Errors & <worse>";
  f.negation = f.severityCheck = f.facilityCheck = f.sourceCheck = true;
  f.originCheck = f.tagCheck = f.messageCheck = true;
  f.severityMask = 7;
  f.facilityMask = 0x10;
  f.sources = {u"10.0.0.1", u"router"};
  f.origins = {u"o1"};
  f.originMatch = {true, false, true};
  f.tags = {u"kernel", u"sshd", u"cron"};
  f.tagMatch = {false, true, false};
  f.content = u"fail*";
  f.contentMatch = {true, true, true};
  f.wildcardType = 2;
  return f;
}

std::vector<std::u16string> ChildNames(const XmlNode& node) {
  std::vector<std::u16string> names;
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) names.push_back(node.ChildAt(i).Name());
  return names;
}

TEST(MessageFilter, ResetKeepsOnlyTheName) {
  MessageFilter f = FullFilter();
  f.Reset();
  MessageFilter expected;
  expected.name = u"Errors & <worse>";
  EXPECT_EQ(f, expected);
}

TEST(MessageFilter, EqualityLooksAtEveryField) {
  const MessageFilter base = FullFilter();
  std::vector<void (*)(MessageFilter&)> changes = {
      [](MessageFilter& f) { f.name += u"x"; },          [](MessageFilter& f) { f.negation = false; },
      [](MessageFilter& f) { f.messageCheck = false; },  [](MessageFilter& f) { f.severityMask = 255; },
      [](MessageFilter& f) { f.facilityMask = 1; },      [](MessageFilter& f) { f.sources.pop_back(); },
      [](MessageFilter& f) { f.origins[0] = u"O1"; },    [](MessageFilter& f) { f.originMatch.wildcards = false; },
      [](MessageFilter& f) { f.tags[2] = u"cro"; },      [](MessageFilter& f) { f.tagMatch.matchCase = true; },
      [](MessageFilter& f) { f.content = u"Fail*"; },    [](MessageFilter& f) { f.contentMatch.matchWhole = false; },
      [](MessageFilter& f) { f.wildcardType = 0; },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    MessageFilter changed = base;
    changes[i](changed);
    EXPECT_FALSE(changed == base) << "change " << i;
  }
}

TEST(MessageFilter, IsInitialLooksAtEveryFieldAsEqualityDoes) {
  EXPECT_TRUE(MessageFilter().IsInitial());
  const std::vector<void (*)(MessageFilter&)> changes = {
      [](MessageFilter& f) { f.name = u"x"; },           [](MessageFilter& f) { f.negation = true; },
      [](MessageFilter& f) { f.severityCheck = true; },  [](MessageFilter& f) { f.facilityCheck = true; },
      [](MessageFilter& f) { f.sourceCheck = true; },    [](MessageFilter& f) { f.originCheck = true; },
      [](MessageFilter& f) { f.tagCheck = true; },       [](MessageFilter& f) { f.messageCheck = true; },
      [](MessageFilter& f) { f.severityMask = 254; },    [](MessageFilter& f) { f.facilityMask = 1; },
      [](MessageFilter& f) { f.sources = {u""}; },       [](MessageFilter& f) { f.origins = {u"o"}; },
      [](MessageFilter& f) { f.originMatch.matchCase = true; }, [](MessageFilter& f) { f.tags = {u"t"}; },
      [](MessageFilter& f) { f.tagMatch.wildcards = true; },   [](MessageFilter& f) { f.content = u"c"; },
      [](MessageFilter& f) { f.contentMatch.matchWhole = true; }, [](MessageFilter& f) { f.wildcardType = 1; },
  };
  for (std::size_t i = 0; i < changes.size(); ++i) {
    MessageFilter changed;
    changes[i](changed);
    EXPECT_EQ(changed.IsInitial(), changed == MessageFilter()) << "change " << i;
    EXPECT_FALSE(changed.IsInitial()) << "change " << i;
  }
}

TEST(MessageFilter, FullRecordRoundTrips) {
  XmlNode element(u"Filter");
  SaveFilter(element, FullFilter());
  EXPECT_EQ(ChildNames(element), (std::vector<std::u16string>{u"Name", u"Negation", u"Severity", u"Facility",
                                                                u"Source", u"Origin", u"Tag", u"Message"}));
  EXPECT_EQ(ChildNames(element.FindChild(u"Message")),
            (std::vector<std::u16string>{u"Check", u"MatchCase", u"MatchWhole", u"Wildcards", u"WildcardType",
                                         u"Content"}));
  const XmlNode& tags = element.FindChild(u"Tag").FindChild(u"TagList");
  EXPECT_EQ(ChildNames(tags), (std::vector<std::u16string>{u"000000", u"000001", u"000002"}));
  EXPECT_EQ(tags.ChildAt(1).GetAttribute(u"text"), u"sshd");

  MessageFilter loaded;
  LoadFilter(element, loaded);
  EXPECT_EQ(loaded, FullFilter());
}

TEST(MessageFilter, InitialRecordSavesOnlyTheName) {
  MessageFilter f;
  f.name = u"N";
  XmlNode element(u"Filter");
  SaveFilter(element, f);
  ASSERT_EQ(ChildNames(element), std::vector<std::u16string>{u"Name"});
  EXPECT_EQ(element.ChildAt(0).GetAttribute(u"text"), u"N");
  MessageFilter loaded;
  LoadFilter(element, loaded);
  EXPECT_EQ(loaded, f);

  XmlNode unnamed(u"Filter");
  SaveFilter(unnamed, MessageFilter());
  EXPECT_EQ(unnamed.ChildAt(0).AttributeCount(), 1);  // "Name" is written even when empty
}

TEST(MessageFilter, SavesAConditionWhenAnyOfItsFieldsDiffers) {
  struct Case {
    void (*change)(MessageFilter&);
    const char16_t* element;
  };
  const Case cases[] = {
      {[](MessageFilter& f) { f.negation = true; }, u"Negation"},
      {[](MessageFilter& f) { f.severityMask = 254; }, u"Severity"},
      {[](MessageFilter& f) { f.facilityCheck = true; }, u"Facility"},
      {[](MessageFilter& f) { f.sources = {u"a"}; }, u"Source"},
      {[](MessageFilter& f) { f.originMatch.matchWhole = true; }, u"Origin"},
      {[](MessageFilter& f) { f.tags = {u"t"}; }, u"Tag"},
      {[](MessageFilter& f) { f.wildcardType = -1; }, u"Message"},
      {[](MessageFilter& f) { f.content = u"c"; }, u"Message"},
  };
  for (const Case& c : cases) {
    MessageFilter f;
    c.change(f);
    XmlNode element(u"Filter");
    SaveFilter(element, f);
    EXPECT_EQ(ChildNames(element), (std::vector<std::u16string>{u"Name", c.element}));
    MessageFilter loaded;
    LoadFilter(element, loaded);
    EXPECT_EQ(loaded, f);
  }
}

TEST(MessageFilter, SourceListWithoutCheckStillSavesCheckZero) {
  MessageFilter f;
  f.sources = {u"host"};
  XmlNode element(u"Filter");
  SaveFilter(element, f);
  const XmlNode& source = element.FindChild(u"Source");
  EXPECT_EQ(source.FindChild(u"Check").Text(), u"0");
  EXPECT_EQ(source.FindChild(u"SourceList").ChildAt(0).GetAttribute(u"text"), u"host");
}

TEST(MessageFilter, EmptyElementGivesInitialRecordButKeepsName) {
  MessageFilter f = FullFilter();
  LoadFilter(XmlNode(u"Filter"), f);
  MessageFilter expected;
  expected.name = FullFilter().name;
  EXPECT_EQ(f, expected);
}

TEST(MessageFilter, NameElementWithoutTextAttributeClearsName) {
  XmlNode element(u"Filter");
  element.AddChild(u"Name").SetAttribute(u"other", u"x");
  MessageFilter f;
  f.name = u"old";
  LoadFilter(element, f);
  EXPECT_EQ(f.name, u"");
}

TEST(MessageFilter, FlagTextIsTrueOnlyWhenItReadsAsOne) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u"1", true}, {u"01", true}, {u" 1", true}, {u"+1", true}, {u"1x", true},
      {u"", false}, {u"true", false}, {u"2", false}, {u"-1", false}, {u"0", false},
  };
  for (const auto& [text, expected] : cases) {
    XmlNode element(u"Filter");
    element.AddChild(u"Negation").SetText(text);
    MessageFilter f;
    f.negation = !expected;
    LoadFilter(element, f);
    EXPECT_EQ(f.negation, expected) << "text \"" << std::string(text, text + std::char_traits<char16_t>::length(text))
                                    << "\"";
  }
}

TEST(MessageFilter, PresentEmptyNumberGivesZeroAndMissingKeepsInitial) {
  XmlNode element(u"Filter");
  XmlNode& severity = element.AddChild(u"Severity");
  severity.AddChild(u"Check").SetText(u"1");
  XmlNode& facility = element.AddChild(u"Facility");
  facility.AddChild(u"Mask");
  MessageFilter f;
  LoadFilter(element, f);
  EXPECT_TRUE(f.severityCheck);
  EXPECT_EQ(f.severityMask, 255);
  EXPECT_FALSE(f.facilityCheck);
  EXPECT_EQ(f.facilityMask, 0);
}

TEST(MessageFilter, ListsSkipEmptyTextsWhateverTheChildNames) {
  XmlNode element(u"Filter");
  XmlNode& list = element.AddChild(u"Source").AddChild(u"SourceList");
  list.AddChild(u"I000000").SetAttribute(u"text", u"a");
  list.AddChild(u"x");
  list.AddChild(u"000001").SetAttribute(u"text", u"");
  list.AddChild(u"000001").SetAttribute(u"text", u"b");
  MessageFilter f;
  LoadFilter(element, f);
  EXPECT_EQ(f.sources, (std::vector<std::u16string>{u"a", u"b"}));
  EXPECT_FALSE(f.sourceCheck);
}

TEST(MessageFilter, MatchOptionsAreReadOnlyInsideTheirCondition) {
  XmlNode element(u"Filter");
  element.AddChild(u"MatchCase").SetText(u"1");
  XmlNode& tag = element.AddChild(u"Tag");
  tag.AddChild(u"Wildcards").SetText(u"1");
  MessageFilter f;
  LoadFilter(element, f);
  EXPECT_EQ(f.tagMatch, (MatchOptions{false, false, true}));
  EXPECT_EQ(f.originMatch, MatchOptions{});
  EXPECT_EQ(f.contentMatch, MatchOptions{});
}

TEST(MessageFilter, SavingTwiceAppendsAndLoadingReadsTheFirst) {
  MessageFilter first;
  first.name = u"first";
  first.severityCheck = true;
  MessageFilter second;
  second.name = u"second";
  XmlNode element(u"Filter");
  SaveFilter(element, first);
  SaveFilter(element, second);
  EXPECT_EQ(element.ChildCount(), 3);
  MessageFilter loaded;
  LoadFilter(element, loaded);
  EXPECT_EQ(loaded, first);
}

}  // namespace
}  // namespace recaster::xml
