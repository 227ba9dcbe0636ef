// The walk over a settings document.
#include "settings/setting_walk.h"

#include <string_view>

namespace recaster::settings {
namespace {

void AppendKeyText(const char16_t* key, std::string& out) {
  for (const char16_t* p = key; *p != u'\0'; ++p) out += static_cast<char>(*p < 0x80 ? *p : u'?');
}

// Visits `view` and, for a group or list, everything it holds; each view lives while what it holds
// is visited.
void Walk(const SettingView& view, SettingVisitor& visitor) {
  switch (view.Kind()) {
    case VarKind::kInt:
    case VarKind::kBool:
    case VarKind::kText:
    case VarKind::kFilter:
      visitor.Value(view);
      return;
    case VarKind::kGroup:
      if (!visitor.Begin(view)) return;
      for (const Var_t* child : view.Group().Children()) {
        if (child != nullptr) Walk(SettingView(*child, &view, std::nullopt), visitor);
      }
      visitor.End(view);
      return;
    case VarKind::kList: {
      if (!visitor.Begin(view)) return;
      const VarList_t& list = view.List();
      for (std::uint32_t i = 0; i < list.ItemCount(); ++i) Walk(SettingView(list.ItemAt(i), &view, i, list.ItemUnit()), visitor);
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
  AppendKeyText(key, text);
  return text;
}

SettingView::SettingView(const SettingView& other)
    : var_(other.var_), path_(other.Path()), item_index_(other.item_index_), depth_(other.depth_), item_unit_(other.item_unit_) {}

SettingView& SettingView::operator=(const SettingView& other) {
  if (this != &other) *this = SettingView(other);
  return *this;
}

const std::string& SettingView::Path() const {
  if (path_made_) return path_;
  if (holder_ != nullptr) {
    const std::string& holder_path = holder_->Path();
    path_.reserve(holder_path.size() + 16);
    path_ = holder_path;
    if (item_index_) {
      path_ += '[';
      path_ += std::to_string(*item_index_);
      path_ += ']';
    } else {
      path_ += '.';
      AppendKeyText(var_->Key(), path_);
    }
  } else {
    AppendKeyText(var_->Key(), path_);
  }
  path_made_ = true;
  return path_;
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
      return Text().IsDefault();
    case VarKind::kFilter:
      return Filter().Value().IsInitial();
    case VarKind::kList:
      return List().ItemCount() == 0;
    case VarKind::kGroup: {
      DefaultCheck check;
      for (const Var_t* child : Group().Children()) {
        if (child != nullptr) Walk(SettingView(*child, this, std::nullopt), check);
      }
      return check.all_default;
    }
  }
  return false;
}

void WalkSetting(const Var_t& setting, const std::string& path, int depth, SettingVisitor& visitor) {
  Walk(SettingView(setting, path, std::nullopt, depth), visitor);
}

void WalkSettings(const CSTSettings3& document, SettingVisitor& visitor) {
  for (const Var_t* group : document.Groups()) {
    if (group != nullptr) Walk(SettingView(*group, nullptr, std::nullopt), visitor);
  }
}

std::string PathOf(const CSTSettings3& document, const Var_t& setting) {
  Finder finder(setting);
  WalkSettings(document, finder);
  return finder.found;
}

}  // namespace recaster::settings
