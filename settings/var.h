// File: settings/var.h - the setting value types of the version 5 model: integers, booleans, texts,
// message filters, lists and groups, each with a key (its element name), a default and a value.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xml/message_filter.h"
#include "xml/xml_document.h"

namespace recaster::settings {

using xml::XmlNode;

// What a setting holds; every setting type has one kind, fixed when it is constructed, so that a reader
// of the model tells the types apart with a switch instead of casts.
enum class VarKind : std::uint8_t {
  kInt,     // VarInt_t
  kBool,    // VarBool_t
  kText,    // VarStr_t
  kFilter,  // VarSF_t
  kList,    // VarList_t (every VarVec_t<T>)
  kGroup,   // VarGroup_t
};

// The root of every setting. Assign and IsEqual with a setting of another type throw std::bad_cast.
class Var_t {
 public:
  Var_t(const char16_t* key, VarKind kind) : key_(key), kind_(kind) {}
  virtual ~Var_t() = default;

  // Takes over the other setting's current state (not its key, default or range).
  virtual Var_t& Assign(const Var_t& other) = 0;
  // Compares the current state.
  virtual bool IsEqual(const Var_t& other) const = 0;
  // Returns to the default.
  virtual void Reset() = 0;
  // A copy of the key.
  virtual std::u16string GetKey() const;
  // The group mask; 0 for every setting that is not a group.
  virtual std::uint32_t GetMask() const;
  // Writes the current state into the element that stands for this setting.
  virtual void Save(XmlNode& node) const = 0;
  // Reads the state from the element that stands for this setting; what is missing stays.
  virtual void Load(const XmlNode& node) = 0;

  const char16_t* Key() const { return key_; }
  VarKind Kind() const { return kind_; }

 protected:
  Var_t(const Var_t&) = default;
  Var_t& operator=(const Var_t&) = default;

 private:
  const char16_t* key_;  // static text, never owned, never changed
  VarKind kind_;
};

// What an integer setting counts, where the settings tables say; kNone is a number whose meaning the
// tables do not give (a code, a mask, a count), which readers show as it is stored.
enum class Unit : std::uint8_t {
  kNone,
  kDays,
  kKilobytes,
  kSeverity,   // a syslog severity code, 0 (Emergency) to 7 (Debug)
  kFacility,   // a syslog facility code, 0 (kern) to 23 (local7)
  kColour,     // a 24-bit colour
  kCharacter,  // a character code
};

// A signed 32-bit setting with a carried (never enforced) range; minimum and maximum both 0: no range.
class VarInt_t : public Var_t {
 public:
  VarInt_t() : VarInt_t(u"", 0, 0, 0) {}
  VarInt_t(const char16_t* key, std::int32_t def, std::int32_t min, std::int32_t max, Unit unit = Unit::kNone)
      : Var_t(key, VarKind::kInt), default_(def), min_(min), max_(max), value_(def), unit_(unit) {}

  VarInt_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  std::int32_t Value() const { return value_; }
  void SetValue(std::int32_t value) { value_ = value; }
  std::int32_t Default() const { return default_; }
  std::int32_t Min() const { return min_; }
  std::int32_t Max() const { return max_; }
  Unit GetUnit() const { return unit_; }

 private:
  std::int32_t default_;
  std::int32_t min_;
  std::int32_t max_;
  std::int32_t value_;
  Unit unit_;
};

// A boolean setting, stored as element text "1" or "0".
class VarBool_t : public Var_t {
 public:
  VarBool_t(const char16_t* key, bool def) : Var_t(key, VarKind::kBool), default_(def), value_(def) {}

  VarBool_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  bool Value() const { return value_; }
  void SetValue(bool value) { value_ = value; }
  bool Default() const { return default_; }

 private:
  bool default_;
  bool value_;
};

// Whether a text's value may be shown to a person: passwords never are; a connection string may be,
// with the value of each of its password fields replaced.
enum class Secrecy : std::uint8_t { kShown, kSecret, kConnectionString };

// A text setting, stored in the element's attribute "text".
class VarStr_t : public Var_t {
 public:
  VarStr_t(const char16_t* key, const char16_t* def, Secrecy secrecy = Secrecy::kShown)
      : Var_t(key, VarKind::kText), default_(def), value_(default_), secrecy_(secrecy) {}

  VarStr_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  const std::u16string& Value() const { return value_; }
  void SetValue(std::u16string value) { value_ = std::move(value); }
  const char16_t* Default() const { return default_.data(); }
  // True when the value is the default text (its length known, so most texts differ at once).
  bool IsDefault() const { return value_ == default_; }
  // True for a text whose value is never shown whole: a password, or a connection string that may hold one.
  bool IsSecret() const { return secrecy_ != Secrecy::kShown; }
  Secrecy GetSecrecy() const { return secrecy_; }

 private:
  std::u16string_view default_;  // static text, ended by a NUL
  std::u16string value_;
  Secrecy secrecy_;
};

// A message filter setting, stored as the filter record's child elements.
class VarSF_t : public Var_t {
 public:
  explicit VarSF_t(const char16_t* key) : Var_t(key, VarKind::kFilter) {}

  VarSF_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  const xml::MessageFilter& Value() const { return filter_; }
  xml::MessageFilter& Value() { return filter_; }

 private:
  xml::MessageFilter filter_;
};

// A setting that holds other settings, in a fixed order. Concrete groups declare their children as
// members and register them, in declaration order, with SetChildren.
class VarGroup_t : public Var_t {
 public:
  VarGroup_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  std::uint32_t GetMask() const override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  // The children in order; entries may be null.
  const std::vector<Var_t*>& Children() const { return children_; }

  VarGroup_t(const VarGroup_t&) = delete;
  VarGroup_t& operator=(const VarGroup_t&) = delete;

 protected:
  VarGroup_t(const char16_t* key, std::uint32_t mask) : Var_t(key, VarKind::kGroup), mask_(mask) {}
  ~VarGroup_t() override = default;
  void SetChildren(std::vector<Var_t*> children) { children_ = std::move(children); }

 private:
  std::vector<Var_t*> children_;  // not owned: members of the concrete group
  std::uint32_t mask_;
};

// Saves each non-null member into the child of `node` named by its key (appended when missing), in
// order, while `node` is valid. Groups and documents share it.
void SaveMembers(const std::vector<Var_t*>& members, XmlNode& node);
// Loads each non-null member from the first child of `node` named by its key, in order, while `node` is
// valid; a member without an element stays as it is.
void LoadMembers(const std::vector<Var_t*>& members, const XmlNode& node);

// The element name of list item `index`: "I000000", "I000001", ...
std::u16string ListItemName(std::uint32_t index);

// Read-only access to the items of any list, whatever their type, for generic walks of a document.
class VarList_t : public Var_t {
 public:
  // The number of items.
  virtual std::uint32_t ItemCount() const = 0;
  // Item `index`, which must be below ItemCount().
  virtual const Var_t& ItemAt(std::uint32_t index) const = 0;
  // What the items count, for a list of integers (their own unit is kNone).
  Unit ItemUnit() const { return item_unit_; }

 protected:
  VarList_t(const char16_t* key, Unit item_unit) : Var_t(key, VarKind::kList), item_unit_(item_unit) {}

 private:
  Unit item_unit_;
};

// A list of like items, stored as children named I000000, I000001, ... and read back by position.
// Assign and IsEqual need a list of the same item type.
template <typename T>
class VarVec_t : public VarList_t {
 public:
  explicit VarVec_t(const char16_t* key, Unit item_unit = Unit::kNone) : VarList_t(key, item_unit) {}

  VarVec_t& Assign(const Var_t& other) override;
  bool IsEqual(const Var_t& other) const override;
  void Reset() override;
  void Save(XmlNode& node) const override;
  void Load(const XmlNode& node) override;

  std::uint32_t ItemCount() const override { return count_; }
  const Var_t& ItemAt(std::uint32_t index) const override { return items_[index]; }

  // Empties the list, then makes `count` items with all their defaults; if that allocation fails, the
  // exception propagates and the list stays empty.
  void Resize(std::uint32_t count);
  std::uint32_t Count() const { return count_; }
  const T& operator[](std::uint32_t i) const { return items_[i]; }
  T& operator[](std::uint32_t i) { return items_[i]; }
  const T* begin() const { return items_.get(); }
  const T* end() const { return items_.get() + count_; }

 private:
  std::unique_ptr<T[]> items_;
  std::uint32_t count_ = 0;
};

template <typename T>
VarVec_t<T>& VarVec_t<T>::Assign(const Var_t& other) {
  const auto& list = dynamic_cast<const VarVec_t<T>&>(other);
  if (&list == this) return *this;  // Resize would destroy the items to be copied
  Resize(list.count_);
  for (std::uint32_t i = 0; i < count_; ++i) items_[i].Assign(list.items_[i]);
  return *this;
}

template <typename T>
bool VarVec_t<T>::IsEqual(const Var_t& other) const {
  const auto& list = dynamic_cast<const VarVec_t<T>&>(other);
  if (count_ != list.count_) return false;
  for (std::uint32_t i = 0; i < count_; ++i) {
    if (!items_[i].IsEqual(list.items_[i])) return false;
  }
  return true;
}

template <typename T>
void VarVec_t<T>::Reset() {
  items_.reset();
  count_ = 0;
}

template <typename T>
void VarVec_t<T>::Save(XmlNode& node) const {
  for (std::uint32_t i = 0; i < count_; ++i) items_[i].Save(node.AddChild(ListItemName(i)));
}

template <typename T>
void VarVec_t<T>::Load(const XmlNode& node) {
  const std::int32_t n = node.ChildCount();
  Resize(static_cast<std::uint32_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    const XmlNode& child = node.ChildAt(i);
    if (child.IsValid()) items_[static_cast<std::uint32_t>(i)].Load(child);
  }
}

template <typename T>
void VarVec_t<T>::Resize(std::uint32_t count) {
  Reset();
  if (count == 0) return;
  items_.reset(new T[count]);
  count_ = count;
}

}  // namespace recaster::settings
