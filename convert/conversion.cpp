// Building the configuration tree from a version 5 file, and the notes on what it leaves behind.
#include <set>
#include <string_view>
#include <typeinfo>

#include "convert/convert.h"
#include "settings/ov_settings.h"

namespace recaster::convert {
namespace {

using settings::Var_t;

// What the mapping carries over: a whole group ("Network") or one setting ("Storage.KeepPeriod").
const std::set<std::string, std::less<>>& CarriedOver() {
  static const std::set<std::string, std::less<>> carried{
      "Network", "NetworkEx.MaxPacketSize", "NetworkEx.MaxTcpClients", "NetworkEx.SeparateTcpStreamWithCRLF",
      "Storage.KeepPeriod"};
  return carried;
}

// Keys whose values are never shown: passwords and database connection strings (which hold them).
bool IsSecret(std::string_view key) { return key == "Password" || key == "ConnString"; }

// Texts longer than this, or holding a line break or control character, are shown by length only.
constexpr std::size_t kMaxShownText = 60;

std::string Quoted(std::u16string_view text) { return '"' + ToUtf8(text) + '"'; }

bool Showable(std::u16string_view text) {
  if (text.size() > kMaxShownText) return false;
  for (const char16_t unit : text) {
    if (unit < 0x20 || unit == 0x7F) return false;
  }
  return true;
}

std::string TextForm(std::u16string_view text) {
  if (text.empty()) return "empty";
  if (Showable(text)) return Quoted(text);
  return NumberText(static_cast<std::uint32_t>(text.size())) + " characters";
}

std::string SignedText(std::int32_t value) {
  return std::to_string(value);
}

std::string Items(std::uint32_t count) { return NumberText(count) + (count == 1 ? " item" : " items"); }

// How the setting differs from its fresh counterpart; both are of the same type.
std::string Difference(const Var_t& now, const Var_t& fresh) {
  constexpr std::string_view kTail = ", not carried over";
  const std::string key = ToUtf8(now.Key());
  if (IsSecret(key)) return "set, not carried over (value not shown)";
  if (const auto* v = dynamic_cast<const settings::VarInt_t*>(&now)) {
    return SignedText(v->Value()) + " (default " + SignedText(v->Default()) + ")" + std::string(kTail);
  }
  if (const auto* v = dynamic_cast<const settings::VarBool_t*>(&now)) {
    return std::string(BoolText(v->Value())) + " (default " + std::string(BoolText(v->Default())) + ")" +
           std::string(kTail);
  }
  if (const auto* v = dynamic_cast<const settings::VarStr_t*>(&now)) {
    return TextForm(v->Value()) + " (default " + TextForm(v->Default()) + ")" + std::string(kTail);
  }
  if (const auto* v = dynamic_cast<const settings::VarList_t*>(&now)) {
    const auto& f = dynamic_cast<const settings::VarList_t&>(fresh);
    std::string text = Items(v->ItemCount());
    if (f.ItemCount() != 0) text += " (default " + Items(f.ItemCount()) + ")";
    return text + std::string(kTail);
  }
  if (dynamic_cast<const settings::VarSF_t*>(&now) != nullptr) return "message filter set" + std::string(kTail);
  return "differs from its default" + std::string(kTail);
}

void Compare(const Var_t& now, const Var_t& fresh, const std::string& name, std::vector<ConversionNote>& notes) {
  if (CarriedOver().count(name) != 0) return;
  const auto* group = dynamic_cast<const settings::VarGroup_t*>(&now);
  if (group != nullptr) {
    const auto& fresh_group = dynamic_cast<const settings::VarGroup_t&>(fresh);
    const auto& children = group->Children();
    const auto& fresh_children = fresh_group.Children();
    for (std::size_t i = 0; i < children.size() && i < fresh_children.size(); ++i) {
      if (children[i] == nullptr || fresh_children[i] == nullptr) continue;
      Compare(*children[i], *fresh_children[i], name + "." + ToUtf8(children[i]->Key()), notes);
    }
    return;
  }
  if (!now.IsEqual(fresh)) notes.push_back(ConversionNote{name, Difference(now, fresh)});
}

}  // namespace

ConfigTree MapSettings(const settings::COVSettings& document, std::vector<ConversionNote>* notes) {
  ConfigTree tree;
  mapping::MapNetwork(document, tree, notes);
  mapping::MapStorage(document, tree, notes);
  return tree;
}

std::vector<ConversionNote> NotCarriedOver(const settings::COVSettings& document) {
  const settings::COVSettings fresh;
  std::vector<ConversionNote> notes;
  const auto& groups = document.Groups();
  const auto& fresh_groups = fresh.Groups();
  for (std::size_t i = 0; i < groups.size() && i < fresh_groups.size(); ++i) {
    if (groups[i] == nullptr || fresh_groups[i] == nullptr) continue;
    Compare(*groups[i], *fresh_groups[i], ToUtf8(groups[i]->Key()), notes);
  }
  return notes;
}

ConversionResult BuildConfigTree(const std::u16string& source) {
  ConversionResult result;
  settings::COVSettings document;
  result.load = document.LoadFromFileWithResult(source);
  if (!result.load.ok()) return result;
  result.tree = MapSettings(document, &result.notes);
  std::vector<ConversionNote> left = NotCarriedOver(document);
  result.notes.insert(result.notes.end(), left.begin(), left.end());
  return result;
}

std::string FormatNote(const ConversionNote& note) { return note.setting + ": " + note.text; }

}  // namespace recaster::convert
