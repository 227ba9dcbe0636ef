// The setting value types.
#include "settings/var.h"

#include <boost/format.hpp>

namespace recaster::settings {

std::u16string Var_t::GetKey() const { return std::u16string(key_); }

std::uint32_t Var_t::GetMask() const { return 0; }

// --- VarInt_t ---

VarInt_t& VarInt_t::Assign(const Var_t& other) {
  value_ = dynamic_cast<const VarInt_t&>(other).value_;
  return *this;
}

bool VarInt_t::IsEqual(const Var_t& other) const { return value_ == dynamic_cast<const VarInt_t&>(other).value_; }

void VarInt_t::Reset() { value_ = default_; }

void VarInt_t::Save(XmlNode& node) const { node.SetTextInt(value_); }

// The null node's text is a placeholder, not a value, so it is never read.
void VarInt_t::Load(const XmlNode& node) {
  if (!node.IsValid() || node.Text().empty()) return;
  value_ = xml::ParseXmlInt(node.Text());
}

// --- VarBool_t ---

VarBool_t& VarBool_t::Assign(const Var_t& other) {
  value_ = dynamic_cast<const VarBool_t&>(other).value_;
  return *this;
}

bool VarBool_t::IsEqual(const Var_t& other) const { return value_ == dynamic_cast<const VarBool_t&>(other).value_; }

void VarBool_t::Reset() { value_ = default_; }

void VarBool_t::Save(XmlNode& node) const { node.SetTextBool(value_); }

void VarBool_t::Load(const XmlNode& node) {
  if (!node.IsValid() || node.Text().empty()) return;
  value_ = xml::ParseXmlBool(node.Text());
}

// --- VarStr_t ---

VarStr_t& VarStr_t::Assign(const Var_t& other) {
  value_ = dynamic_cast<const VarStr_t&>(other).value_;
  return *this;
}

bool VarStr_t::IsEqual(const Var_t& other) const { return value_ == dynamic_cast<const VarStr_t&>(other).value_; }

void VarStr_t::Reset() { value_ = default_; }

void VarStr_t::Save(XmlNode& node) const {
  if (node.IsValid()) node.SetAttribute(u"text", value_);
}

void VarStr_t::Load(const XmlNode& node) {
  if (node.AttributeCount() == 0) return;
  value_ = node.GetAttribute(u"text");
}

// --- VarSF_t ---

VarSF_t& VarSF_t::Assign(const Var_t& other) {
  filter_ = dynamic_cast<const VarSF_t&>(other).filter_;
  return *this;
}

bool VarSF_t::IsEqual(const Var_t& other) const { return filter_ == dynamic_cast<const VarSF_t&>(other).filter_; }

void VarSF_t::Reset() { filter_.Reset(); }

void VarSF_t::Save(XmlNode& node) const {
  if (node.IsValid()) xml::SaveFilter(node, filter_);
}

void VarSF_t::Load(const XmlNode& node) {
  if (!node.IsValid()) return;
  filter_.Reset();
  xml::LoadFilter(node, filter_);
}

// --- VarGroup_t ---

VarGroup_t& VarGroup_t::Assign(const Var_t& other) {
  const auto& group = dynamic_cast<const VarGroup_t&>(other);
  if (children_.size() != group.children_.size() || children_.empty()) return *this;
  for (std::size_t i = 0; i < children_.size(); ++i) {
    if (children_[i] != nullptr && group.children_[i] != nullptr) children_[i]->Assign(*group.children_[i]);
  }
  return *this;
}

bool VarGroup_t::IsEqual(const Var_t& other) const {
  const auto& group = dynamic_cast<const VarGroup_t&>(other);
  if (children_.size() != group.children_.size()) return false;
  for (std::size_t i = 0; i < children_.size(); ++i) {
    if (children_[i] == nullptr || group.children_[i] == nullptr) continue;
    if (!children_[i]->IsEqual(*group.children_[i])) return false;
  }
  return true;
}

void VarGroup_t::Reset() {
  for (Var_t* child : children_) {
    if (child != nullptr) child->Reset();
  }
}

std::uint32_t VarGroup_t::GetMask() const { return mask_; }

void VarGroup_t::Save(XmlNode& node) const { SaveMembers(children_, node); }

void VarGroup_t::Load(const XmlNode& node) { LoadMembers(children_, node); }

void SaveMembers(const std::vector<Var_t*>& members, XmlNode& node) {
  for (const Var_t* member : members) {
    if (!node.IsValid()) return;
    if (member == nullptr) continue;
    const std::u16string key = member->GetKey();
    XmlNode* element = &node.FindChild(key);
    if (!element->IsValid()) element = &node.AddChild(key);
    member->Save(*element);
  }
}

void LoadMembers(const std::vector<Var_t*>& members, const XmlNode& node) {
  for (Var_t* member : members) {
    if (!node.IsValid()) return;
    if (member == nullptr) continue;
    const XmlNode& element = node.FindChild(member->Key());
    if (element.IsValid()) member->Load(element);
  }
}

std::u16string ListItemName(std::uint32_t index) {
  const std::wstring wide = (boost::wformat(L"I%06d") % index).str();
  return std::u16string(wide.begin(), wide.end());  // "I" and ASCII digits only
}

}  // namespace recaster::settings
