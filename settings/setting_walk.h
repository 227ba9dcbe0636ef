// File: settings/setting_walk.h - the one walk over a settings document that every reader of the model
// uses (show, the conversion notes, the migration report): each setting with its path, its kind, its
// value and default, and whether it is secret.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/ov_settings.h"
#include "settings/var.h"

namespace recaster::settings {

// One setting as the walk meets it. Its path is made when first asked for: a setting the walk meets
// inside a group or list makes it from the path of the view that holds it, which lives as long as the
// walk is inside. A copy has its path made, and lives on its own.
class SettingView {
 public:
  // `item_unit` is the unit of the list that holds an integer item.
  SettingView(const Var_t& var, std::string path, std::optional<std::uint32_t> item_index, int depth,
              Unit item_unit = Unit::kNone)
      : var_(&var), path_(std::move(path)), item_index_(item_index), depth_(depth), item_unit_(item_unit) {}
  // A setting inside `holder` (a group, or the list whose item `item_index` it is); its path is made
  // from the holder's when asked for, so the holder must live as long as it. Without a holder, a
  // top-level group: its path is its key.
  SettingView(const Var_t& var, const SettingView* holder, std::optional<std::uint32_t> item_index,
              Unit item_unit = Unit::kNone)
      : var_(&var), holder_(holder), path_made_(false), item_index_(item_index),
        depth_(holder == nullptr ? 0 : holder->depth_ + 1), item_unit_(item_unit) {}
  SettingView(const SettingView& other);
  SettingView& operator=(const SettingView& other);
  ~SettingView() = default;

  // "Group.Sub.Key"; a list item adds its zero-based index: "EmailAlerts.Alerts[0].To".
  const std::string& Path() const;
  // The setting's own key ("To"); for a list item, the item type's key ("EmailAlert", or empty).
  std::string Key() const;
  // The position in its list, for a list item; nothing for every other setting.
  std::optional<std::uint32_t> ItemIndex() const { return item_index_; }
  // 0 for a top-level group, one more for each group or list it lies in.
  int Depth() const { return depth_; }
  VarKind Kind() const { return var_->Kind(); }
  const Var_t& Setting() const { return *var_; }

  // True for a text whose value is never shown whole (a password or a connection string).
  bool IsSecret() const;
  // How a text may be shown; kShown for every setting that is not a text.
  Secrecy TextSecrecy() const;
  // What an integer counts (an item of a list: what the list's items count); kNone for other kinds.
  Unit GetUnit() const;
  // True when the value is its default: a leaf's own default, the initial filter record, the empty
  // list, or a group whose every setting is at its default. List items compare with a fresh item.
  bool IsDefault() const;

  // The setting as its type; each needs the matching Kind().
  const VarInt_t& Int() const { return static_cast<const VarInt_t&>(*var_); }
  const VarBool_t& Bool() const { return static_cast<const VarBool_t&>(*var_); }
  const VarStr_t& Text() const { return static_cast<const VarStr_t&>(*var_); }
  const VarSF_t& Filter() const { return static_cast<const VarSF_t&>(*var_); }
  const VarList_t& List() const { return static_cast<const VarList_t&>(*var_); }
  const VarGroup_t& Group() const { return static_cast<const VarGroup_t&>(*var_); }

 private:
  const Var_t* var_;
  const SettingView* holder_ = nullptr;
  mutable std::string path_;
  mutable bool path_made_ = true;
  std::optional<std::uint32_t> item_index_;
  int depth_;
  Unit item_unit_;
};

// What a reader does with each setting the walk meets, in document order (a group's settings in
// table order, a list's items in list order).
class SettingVisitor {
 public:
  virtual ~SettingVisitor() = default;
  // An integer, bool, text or filter setting.
  virtual void Value(const SettingView& setting) = 0;
  // A group or list begins; returning false skips what it holds, and its End.
  virtual bool Begin(const SettingView& setting) = 0;
  // The group or list whose Begin returned true ends.
  virtual void End(const SettingView& setting) = 0;
};

// Walks every top-level group of the document and everything it holds.
void WalkSettings(const CSTSettings3& document, SettingVisitor& visitor);

// Walks one setting and everything it holds; `path` names it, `depth` is its depth.
void WalkSetting(const Var_t& setting, const std::string& path, int depth, SettingVisitor& visitor);

// The path of `setting` inside the document ("Network.UdpPort"), found among its groups (list items
// are not searched); empty when the document does not hold it.
std::string PathOf(const CSTSettings3& document, const Var_t& setting);

// The key as text: keys are ASCII.
std::string KeyText(const char16_t* key);

}  // namespace recaster::settings
