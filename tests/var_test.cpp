// The setting value types: leaf reading rules, group and list behaviour, copying and comparing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>
#include <typeinfo>

#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "settings/var.h"
#include "tests/xml_test_files.h"

namespace {

// Allocations of this many bytes or more fail while it is not 0, as they would with memory exhausted.
std::size_t g_fail_from_bytes = 0;

void* Allocate(std::size_t size) {
  if (g_fail_from_bytes != 0 && size >= g_fail_from_bytes) throw std::bad_alloc();
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

// Out of line, so that the compiler never pairs a new expression with malloc() and free() itself.
[[gnu::noinline]] void* operator new(std::size_t size) { return Allocate(size); }
[[gnu::noinline]] void* operator new[](std::size_t size) { return Allocate(size); }
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace recaster::settings {
namespace {

using xml::NullNode;
using xml::XmlNode;

class Inner_g : public VarGroup_t {
 public:
  VarInt_t A{u"A", 1, 0, 9};
  VarStr_t S{u"S", u"s"};

  Inner_g() : VarGroup_t(u"Inner", 0) { SetChildren({&A, &S}); }
};

class Item_t : public VarGroup_t {
 public:
  VarBool_t On{u"On", false};
  VarInt_t N{u"N", 7, 0, 0};
  VarSF_t Filter{u"Filter"};

  Item_t() : VarGroup_t(u"Item", 0) { SetChildren({&On, &N, &Filter}); }
};

class Outer_g : public VarGroup_t {
 public:
  VarBool_t B{u"B", true};
  VarInt_t I{u"I", 514, 1, 65535};
  VarStr_t T{u"T", u"def"};
  VarSF_t F{u"F"};
  VarVec_t<VarInt_t> Ints{u"Ints"};
  VarVec_t<Item_t> Items{u"Items"};
  Inner_g Inner;

  Outer_g() : VarGroup_t(u"Outer", 2) { SetChildren({&B, &I, &T, &F, &Ints, &Items, &Inner}); }
};

// Same shape as Inner_g under other keys.
class Twin_g : public VarGroup_t {
 public:
  VarInt_t X{u"X", 5, 0, 0};
  VarStr_t Y{u"Y", u"y"};

  Twin_g() : VarGroup_t(u"Twin", 0) { SetChildren({&X, &Y}); }
};

// Two children whose second type differs from Inner_g's.
class Mismatch_g : public VarGroup_t {
 public:
  VarInt_t X{u"X", 5, 0, 0};
  VarBool_t Y{u"Y", true};

  Mismatch_g() : VarGroup_t(u"Mismatch", 0) { SetChildren({&X, &Y}); }
};

class Single_g : public VarGroup_t {
 public:
  VarInt_t A{u"A", 3, 0, 0};

  Single_g() : VarGroup_t(u"Single", 0) { SetChildren({&A}); }
};

class Holey_g : public VarGroup_t {
 public:
  VarInt_t A{u"A", 3, 0, 0};

  Holey_g() : VarGroup_t(u"Holey", 0) { SetChildren({nullptr, &A}); }
};

class Empty_g : public VarGroup_t {
 public:
  Empty_g() : VarGroup_t(u"Empty", 0) {}
};

// Gives every setting of `outer` a value that differs from its default.
void FillOuter(Outer_g& g) {
  g.B.SetValue(false);
  g.I.SetValue(-7);
  g.T.SetValue(u"a \"quoted\" <text> & more");
  g.F.Value().name = std::u16string(u"f");
  g.F.Value().tagCheck = true;
  g.F.Value().tags = {u"t1", u"t2"};
  g.Ints.Resize(3);
  for (std::uint32_t i = 0; i < 3; ++i) g.Ints[i].SetValue(static_cast<std::int32_t>(5 + i));
  g.Items.Resize(2);
  g.Items[0].On.SetValue(true);
  g.Items[1].N.SetValue(99);
  g.Items[1].Filter.Value().content = u"needle";
  g.Inner.A.SetValue(70000);
  g.Inner.S.SetValue(u"");
}

std::vector<std::u16string> ChildNames(const XmlNode& node) {
  std::vector<std::u16string> names;
  for (std::int32_t i = 0; i < node.ChildCount(); ++i) names.push_back(node.ChildAt(i).Name());
  return names;
}

XmlNode Element(const char16_t* text) {
  XmlNode node(u"E");
  node.SetText(text);
  return node;
}

TEST(VarInt, LoadReadsDecimalTextWithoutRangeCheck) {
  const std::pair<const char16_t*, std::int32_t> cases[] = {
      {u"514", 514},       {u" 42", 42},           {u"-1", -1},         {u"+5", 5},
      {u"abc", 0},         {u"12abc", 12},         {u"70000", 70000},   {u"99999999999", 2147483647},
      {u"2147483648", 2147483647}, {u"-99999999999", -2147483647 - 1}, {u"-2147483648", -2147483647 - 1},
  };
  for (const auto& [text, expected] : cases) {
    VarInt_t v{u"UdpPort", 514, 1, 65535};
    v.Load(Element(text));
    EXPECT_EQ(v.Value(), expected) << "case " << expected;
    EXPECT_EQ(v.Min(), 1);
    EXPECT_EQ(v.Max(), 65535);
  }
}

TEST(VarInt, EmptyTextOrNullNodeKeepsValue) {
  VarInt_t v{u"UdpPort", 514, 1, 65535};
  v.Load(Element(u""));
  EXPECT_EQ(v.Value(), 514);
  v.Load(NullNode());  // its placeholder text is not a value
  EXPECT_EQ(v.Value(), 514);
}

TEST(VarInt, SavesSignedDecimalAndDefaultConstructsEmpty) {
  VarInt_t v{u"FirstWeekDay", -1, -1, 6};
  XmlNode node(u"FirstWeekDay");
  v.Save(node);
  EXPECT_EQ(node.Text(), u"-1");
  const VarInt_t item;
  EXPECT_EQ(item.GetKey(), u"");
  EXPECT_EQ(item.Value(), 0);
  EXPECT_EQ(item.Default(), 0);
  EXPECT_EQ(item.Min(), 0);
  EXPECT_EQ(item.Max(), 0);
}

TEST(VarBool, TrueOnlyWhenTextReadsAsOne) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u"1", true},      {u" 1", true}, {u"01", true}, {u"1.5", true},
      {u"true", false},  {u"2", false}, {u"-1", false}, {u"0", false},
  };
  for (const auto& [text, expected] : cases) {
    VarBool_t v{u"B", !expected};
    v.Load(Element(text));
    EXPECT_EQ(v.Value(), expected) << "case " << expected;
  }
}

TEST(VarBool, EmptyTextKeepsValueAndSaveWritesOneOrZero) {
  VarBool_t v{u"B", true};
  v.Load(Element(u""));
  v.Load(NullNode());
  EXPECT_TRUE(v.Value());
  XmlNode node(u"B");
  v.Save(node);
  EXPECT_EQ(node.Text(), u"1");
  v.SetValue(false);
  v.Save(node);
  EXPECT_EQ(node.Text(), u"0");
}

TEST(VarStr, LoadUsesTextAttributeOnlyWhenTheElementHasAttributes) {
  VarStr_t v{u"Subject", u"[%SEVERITY%] %SOURCE_IP%"};
  XmlNode bare(u"Subject");
  bare.SetText(u"ignored");
  v.Load(bare);
  EXPECT_EQ(v.Value(), u"[%SEVERITY%] %SOURCE_IP%");

  XmlNode with_text(u"Subject");
  with_text.SetAttribute(u"text", u"hello");
  v.Load(with_text);
  EXPECT_EQ(v.Value(), u"hello");

  XmlNode unrelated(u"Subject");
  unrelated.SetAttribute(u"other", u"x");
  v.Load(unrelated);
  EXPECT_EQ(v.Value(), u"");
}

TEST(VarStr, SaveSetsTextAttributeAndKeepsTheRest) {
  VarStr_t v{u"FolderPath", u""};
  XmlNode node(u"FolderPath");
  node.SetText(u"t");
  node.SetAttribute(u"other", u"o");
  node.SetAttribute(u"text", u"old");
  v.Save(node);
  EXPECT_EQ(node.GetAttribute(u"text"), u"");
  EXPECT_EQ(node.AttributeCount(), 2);
  EXPECT_EQ(node.GetAttribute(u"other"), u"o");
  EXPECT_EQ(node.Text(), u"t");
}

TEST(VarStr, ComparesCodeUnitsExactly) {
  VarStr_t a{u"S", u"abc"};
  VarStr_t b{u"S", u"abc"};
  EXPECT_TRUE(a.IsEqual(b));
  b.SetValue(u"ABC");
  EXPECT_FALSE(a.IsEqual(b));
  b.SetValue(u"abc ");
  EXPECT_FALSE(a.IsEqual(b));
}

TEST(VarSF, LoadResetsKeepsNameAndIgnoresNullNode) {
  VarSF_t v{u"Filter"};
  v.Value().name = u"kept";
  v.Value().severityMask = 1;
  v.Load(NullNode());
  EXPECT_EQ(v.Value().severityMask, 1);
  v.Load(XmlNode(u"Filter"));
  xml::MessageFilter expected;
  expected.name = u"kept";
  EXPECT_EQ(v.Value(), expected);
}

TEST(VarGroup, SavesChildrenInOrderAndRoundTrips) {
  Outer_g saved;
  FillOuter(saved);
  XmlNode node(u"Outer");
  saved.Save(node);
  EXPECT_EQ(ChildNames(node), (std::vector<std::u16string>{u"B", u"I", u"T", u"F", u"Ints", u"Items", u"Inner"}));
  EXPECT_EQ(ChildNames(node.FindChild(u"Ints")), (std::vector<std::u16string>{u"I000000", u"I000001", u"I000002"}));
  EXPECT_EQ(node.FindChild(u"Ints").ChildAt(2).Text(), u"7");
  EXPECT_EQ(ChildNames(node.FindChild(u"Items").ChildAt(0)), (std::vector<std::u16string>{u"On", u"N", u"Filter"}));

  Outer_g loaded;
  EXPECT_FALSE(loaded.IsEqual(saved));
  loaded.Load(node);
  EXPECT_TRUE(loaded.IsEqual(saved));
  EXPECT_EQ(loaded.Items[1].Filter.Value().content, u"needle");
  EXPECT_EQ(loaded.Inner.A.Value(), 70000);
}

TEST(VarGroup, SavingAgainUpdatesInPlaceButListsAppend) {
  Outer_g g;
  g.Ints.Resize(1);
  XmlNode node(u"Outer");
  g.Save(node);
  g.I.SetValue(1);
  g.Save(node);
  EXPECT_EQ(node.ChildCount(), 7);
  EXPECT_EQ(node.FindChild(u"I").Text(), u"1");
  EXPECT_EQ(node.FindChild(u"Ints").ChildCount(), 2);
}

TEST(VarGroup, LoadIsLenient) {
  Outer_g g;
  XmlNode node(u"Outer");
  node.AddChild(u"Unknown").SetText(u"1");
  node.AddChild(u"I").SetText(u"1514");
  node.AddChild(u"I").SetText(u"2");
  node.AddChild(u"Inner");
  node.RebuildIndex();
  g.Load(node);
  EXPECT_EQ(g.I.Value(), 1514);  // the first of two same-named elements
  EXPECT_TRUE(g.B.Value());      // missing: unchanged
  EXPECT_EQ(g.Inner.A.Value(), 1);
  EXPECT_EQ(g.Inner.S.Value(), u"s");
  g.Load(NullNode());
  EXPECT_EQ(g.I.Value(), 1514);
}

TEST(VarVec, LoadsItemsByPositionWhateverTheirNames) {
  Outer_g g;
  XmlNode node(u"Outer");
  XmlNode& ints = node.AddChild(u"Ints");
  ints.AddChild(u"X").SetText(u"30");
  ints.AddChild(u"I000009").SetText(u"90");
  ints.AddChild(u"I000000");
  XmlNode& items = node.AddChild(u"Items");
  items.AddChild(u"Y").AddChild(u"N").SetText(u"1");
  items.AddChild(u"Z");
  g.Load(node);
  ASSERT_EQ(g.Ints.Count(), 3u);
  EXPECT_EQ(g.Ints[0].Value(), 30);
  EXPECT_EQ(g.Ints[1].Value(), 90);
  EXPECT_EQ(g.Ints[2].Value(), 0);  // an empty item keeps the item's own default
  ASSERT_EQ(g.Items.Count(), 2u);
  EXPECT_EQ(g.Items[0].N.Value(), 1);
  EXPECT_EQ(g.Items[1].N.Value(), 7);
  EXPECT_EQ(g.Items[1].GetKey(), u"Item");
}

TEST(VarVec, PresentEmptyElementEmptiesAndMissingKeeps) {
  Outer_g g;
  g.Ints.Resize(2);
  g.Items.Resize(2);
  XmlNode node(u"Outer");
  node.AddChild(u"Ints");
  g.Load(node);
  EXPECT_EQ(g.Ints.Count(), 0u);
  EXPECT_EQ(g.Items.Count(), 2u);
}

TEST(VarVec, ResizeGivesDefaultItemsAndResetEmpties) {
  VarVec_t<Item_t> list{u"Items"};
  list.Resize(2);
  list[0].N.SetValue(1);
  list.Resize(3);
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list[0].N.Value(), 7);
  EXPECT_EQ(list.ItemCount(), 3u);
  EXPECT_EQ(&list.ItemAt(2), static_cast<const Var_t*>(&list[2]));
  list.Reset();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.begin(), list.end());
}

// An item whose construction fails once a given number of items exist.
struct Fragile_t : VarInt_t {
  static inline int budget = 0;
  Fragile_t() {
    if (--budget < 0) throw std::bad_alloc();
  }
};

TEST(VarVec, FailedResizeLeavesTheListEmpty) {
  VarVec_t<Fragile_t> list{u"L"};
  Fragile_t::budget = 2;
  list.Resize(2);
  ASSERT_EQ(list.Count(), 2u);
  Fragile_t::budget = 3;
  EXPECT_THROW(list.Resize(5), std::bad_alloc);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_EQ(list.begin(), nullptr);
}

// A file of many alerts loads; when memory for the alert items runs out, the load fails with 14 and
// "not enough memory" instead of throwing.
TEST(VarVec, NoMemoryForListItemsFailsTheFileLoad) {
  constexpr std::uint32_t kAlerts = 4096;
  std::u16string text = u"<RIZavoza><EmailAlerts><Alerts>";
  for (std::uint32_t i = 0; i < kAlerts; ++i) text += u"<a/>";
  text += u"</Alerts></EmailAlerts></RIZavoza>";
  const auto path = std::filesystem::temp_directory_path() /
                    ("recaster-var-alerts-" + std::to_string(std::random_device{}()) + ".cfg");
  std::ofstream(path, std::ios::binary) << xml::test_files::SettingsFile(text);
  const std::u16string source = platform::PathFromNative(path.string());

  COVSettings loaded;
  ASSERT_EQ(loaded.LoadFromFileWithResult(source).status, 0);
  EXPECT_EQ(loaded.EmailAlerts.Alerts.Count(), kAlerts);

  COVSettings starved;
  g_fail_from_bytes = kAlerts * sizeof(VarEmailAlert_t);  // the items, and nothing the tree needs
  const xml::XmlLoadResult result = starved.LoadFromFileWithResult(source);
  g_fail_from_bytes = 0;
  std::filesystem::remove(path);
  EXPECT_EQ(result.status, 14);
  EXPECT_EQ(result.error, xml::XmlError::kOutOfMemory);
  EXPECT_EQ(xml::DescribeLoadResult(result), "not enough memory");
  EXPECT_EQ(starved.EmailAlerts.Alerts.Count(), 0u);
}

// This program's allocation hook also shows a copy of a loaded tree that runs out of memory part-way
// failing whole: it throws, and frees what it had made (the leak check of the sanitizer build).
TEST(VarVec, CopyOfALoadedTreeThatRunsOutOfMemoryThrows) {
  const std::u16string long_name(2048, u'n');
  xml::XmlDocument document(u"d");
  const std::u16string text = u"<r><a t=\"1\">x</a><b/><" + long_name + u"/></r>";
  ASSERT_TRUE(document.LoadFromBytes(xml::test_files::SettingsFile(text)).ok());
  g_fail_from_bytes = 2 * long_name.size();
  EXPECT_THROW(XmlNode{document}, std::bad_alloc);
  g_fail_from_bytes = 0;
  const XmlNode copy(document);
  EXPECT_EQ(copy.ChildAt(2).Name(), long_name);
  EXPECT_EQ(copy.ChildAt(0).GetAttribute(u"t"), u"1");
}

TEST(VarVec, AssignCopiesItemsAndSelfAssignKeepsThem) {
  Outer_g a;
  FillOuter(a);
  VarVec_t<Item_t> copy{u"Copy"};
  copy.Assign(a.Items);
  EXPECT_TRUE(copy.IsEqual(a.Items));
  EXPECT_EQ(copy.GetKey(), u"Copy");
  a.Items.Assign(a.Items);
  ASSERT_EQ(a.Items.Count(), 2u);
  EXPECT_EQ(a.Items[1].N.Value(), 99);
  a.Ints.Assign(a.Ints);
  EXPECT_EQ(a.Ints.Count(), 3u);
}

TEST(VarVec, EqualityNeedsSameCountAndItems) {
  VarVec_t<VarInt_t> a{u"A"};
  VarVec_t<VarInt_t> b{u"B"};
  EXPECT_TRUE(a.IsEqual(b));
  a.Resize(1);
  EXPECT_FALSE(a.IsEqual(b));
  b.Resize(1);
  EXPECT_TRUE(a.IsEqual(b));
  b[0].SetValue(1);
  EXPECT_FALSE(a.IsEqual(b));
}

TEST(VarGroup, AssignCopiesEveryValueButNotKeysOrDefaults) {
  Outer_g a;
  FillOuter(a);
  Outer_g b;
  b.Assign(a);
  EXPECT_TRUE(b.IsEqual(a));
  EXPECT_EQ(b.I.Default(), 514);
  b.Reset();
  Outer_g fresh;
  EXPECT_FALSE(b.IsEqual(fresh));  // a filter's reset keeps its name
  fresh.F.Value().name = std::u16string(u"f");
  EXPECT_TRUE(b.IsEqual(fresh));
  EXPECT_EQ(b.Ints.Count(), 0u);
}

TEST(VarGroup, AssignBetweenClassesGoesByPosition) {
  Inner_g inner;
  Twin_g twin;
  twin.X.SetValue(42);
  twin.Y.SetValue(u"z");
  inner.Assign(twin);
  EXPECT_EQ(inner.A.Value(), 42);
  EXPECT_EQ(inner.S.Value(), u"z");
  EXPECT_EQ(inner.GetKey(), u"Inner");
  EXPECT_TRUE(inner.IsEqual(twin));

  Single_g single;
  single.A.SetValue(8);
  inner.Assign(single);  // different child counts: nothing copied
  EXPECT_EQ(inner.A.Value(), 42);
  EXPECT_FALSE(inner.IsEqual(single));
}

TEST(VarGroup, NullChildrenAreSkipped) {
  Holey_g a;
  Holey_g b;
  b.A.SetValue(9);
  EXPECT_FALSE(a.IsEqual(b));
  a.Assign(b);
  EXPECT_TRUE(a.IsEqual(b));
  XmlNode node(u"Holey");
  a.Save(node);
  EXPECT_EQ(ChildNames(node), std::vector<std::u16string>{u"A"});
  a.Reset();
  EXPECT_EQ(a.A.Value(), 3);
  EXPECT_TRUE(Empty_g().IsEqual(Empty_g()));
}

TEST(VarBadCast, LeafOfAnotherTypeThrowsAndChangesNothing) {
  VarInt_t i{u"I", 3, 0, 0};
  VarBool_t b{u"B", true};
  VarStr_t s{u"S", u"s"};
  VarSF_t f{u"F"};
  EXPECT_THROW(i.Assign(b), std::bad_cast);
  EXPECT_THROW(b.Assign(i), std::bad_cast);
  EXPECT_THROW(s.Assign(f), std::bad_cast);
  EXPECT_THROW(f.Assign(s), std::bad_cast);
  EXPECT_THROW((void)i.IsEqual(s), std::bad_cast);
  EXPECT_EQ(i.Value(), 3);
  EXPECT_TRUE(b.Value());
  EXPECT_EQ(s.Value(), u"s");
}

TEST(VarBadCast, ListsOfOtherItemTypesAndLeavesForGroupsThrow) {
  VarVec_t<VarInt_t> ints{u"Ints"};
  ints.Resize(2);
  VarVec_t<Item_t> items{u"Items"};
  EXPECT_THROW(ints.Assign(items), std::bad_cast);
  EXPECT_EQ(ints.Count(), 2u);
  EXPECT_THROW((void)ints.IsEqual(items), std::bad_cast);
  Inner_g inner;
  EXPECT_THROW(inner.Assign(ints), std::bad_cast);
  EXPECT_THROW((void)inner.IsEqual(VarInt_t()), std::bad_cast);
}

TEST(VarBadCast, GroupAssignStopsAtFirstFailingPair) {
  Inner_g inner;
  Mismatch_g other;
  other.X.SetValue(11);
  EXPECT_THROW(inner.Assign(other), std::bad_cast);
  EXPECT_EQ(inner.A.Value(), 11);  // the pair before the failing one is kept
  EXPECT_EQ(inner.S.Value(), u"s");
}

TEST(VarGroup, KeysAndMasks) {
  Outer_g g;
  EXPECT_EQ(g.GetKey(), u"Outer");
  EXPECT_EQ(g.GetMask(), 2u);
  EXPECT_EQ(g.Inner.GetMask(), 0u);
  EXPECT_EQ(g.I.GetMask(), 0u);
  EXPECT_EQ(g.Ints.GetMask(), 0u);
  EXPECT_EQ(g.Children().size(), 7u);
}

TEST(ListItemName, IsZeroPaddedWithLetterPrefix) {
  EXPECT_EQ(ListItemName(0), u"I000000");
  EXPECT_EQ(ListItemName(42), u"I000042");
  EXPECT_EQ(ListItemName(999999), u"I999999");
  EXPECT_EQ(ListItemName(1234567), u"I1234567");
}

}  // namespace
}  // namespace recaster::settings
