// The walk over a settings document.
#include "settings/setting_walk.h"

#include <string_view>

namespace recaster::settings {
namespace {

std::string ItemPath(const std::string& list_path, std::uint32_t index) {
  return list_path + "[" + std::to_string(index) + "]";
}

void Walk(const Var_t& var, const std::string& path, std::optional<std::uint32_t> index, int depth,
          SettingVisitor& visitor, Unit item_unit = Unit::kNone) {
  const SettingView view(var, path, index, depth, item_unit);
  switch (var.Kind()) {
    case VarKind::kInt:
    case VarKind::kBool:
    case VarKind::kText:
    case VarKind::kFilter:
      visitor.Value(view);
      return;
    case VarKind::kGroup:
      if (!visitor.Begin(view)) return;
      for (const Var_t* child : view.Group().Children()) {
        if (child != nullptr) Walk(*child, path + "." + KeyText(child->Key()), std::nullopt, depth + 1, visitor);
      }
      visitor.End(view);
      return;
    case VarKind::kList: {
      if (!visitor.Begin(view)) return;
      const VarList_t& list = view.List();
      for (std::uint32_t i = 0; i < list.ItemCount(); ++i) {
        Walk(list.ItemAt(i), ItemPath(path, i), i, depth + 1, visitor, list.ItemUnit());
      }
      visitor.End(view);
      return;
    }
  }
}

// True when every setting below `group` is at its default.
class DefaultCheck final : public SettingVisitor {
 public:
  bool all_default = true;

  void Value(const SettingView& setting) override { all_default = all_default && setting.IsDefault(); }
  bool Begin(const SettingView& setting) override {
    if (setting.Kind() == VarKind::kList) {
      all_default = all_default && setting.List().ItemCount() == 0;
      return false;
    }
    return all_default;
  }
  void End(const SettingView&) override {}
};

// Finds one setting by identity among the groups; list items are not entered.
class Finder final : public SettingVisitor {
 public:
  explicit Finder(const Var_t& wanted) : wanted_(&wanted) {}
  std::string found;

  void Value(const SettingView& setting) override { Check(setting); }
  bool Begin(const SettingView& setting) override {
    Check(setting);
    return found.empty() && setting.Kind() == VarKind::kGroup;
  }
  void End(const SettingView&) override {}

 private:
  void Check(const SettingView& setting) {
    if (found.empty() && &setting.Setting() == wanted_) found = setting.Path();
  }
  const Var_t* wanted_;
};

}  // namespace

std::string KeyText(const char16_t* key) {
  std::string text;
  for (const char16_t* p = key; *p != u'\0'; ++p) text += static_cast<char>(*p < 0x80 ? *p : u'?');
  return text;
}

std::string SettingView::Key() const { return KeyText(var_->Key()); }

bool SettingView::IsSecret() const { return Kind() == VarKind::kText && Text().IsSecret(); }

Secrecy SettingView::TextSecrecy() const { return Kind() == VarKind::kText ? Text().GetSecrecy() : Secrecy::kShown; }

Unit SettingView::GetUnit() const {
  if (Kind() != VarKind::kInt) return Unit::kNone;
  return Int().GetUnit() != Unit::kNone ? Int().GetUnit() : item_unit_;
}

bool SettingView::IsDefault() const {
  switch (Kind()) {
    case VarKind::kInt:
      return Int().Value() == Int().Default();
    case VarKind::kBool:
      return Bool().Value() == Bool().Default();
    case VarKind::kText:
      return Text().Value() == std::u16string_view(Text().Default());
    case VarKind::kFilter:
      return Filter().Value() == xml::MessageFilter();
    case VarKind::kList:
      return List().ItemCount() == 0;
    case VarKind::kGroup: {
      DefaultCheck check;
      for (const Var_t* child : Group().Children()) {
        if (child != nullptr) WalkSetting(*child, std::string(), depth_ + 1, check);
      }
      return check.all_default;
    }
  }
  return false;
}

void WalkSetting(const Var_t& setting, const std::string& path, int depth, SettingVisitor& visitor) {
  Walk(setting, path, std::nullopt, depth, visitor);
}

void WalkSettings(const CSTSettings3& document, SettingVisitor& visitor) {
  for (const Var_t* group : document.Groups()) {
    if (group != nullptr) Walk(*group, KeyText(group->Key()), std::nullopt, 0, visitor);
  }
}

std::string PathOf(const CSTSettings3& document, const Var_t& setting) {
  Finder finder(setting);
  WalkSettings(document, finder);
  return finder.found;
}

}  // namespace recaster::settings
