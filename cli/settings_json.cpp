// Turns the settings tree into Boost.JSON values and prints them indented.
#include "cli/settings_json.h"

#include <boost/json.hpp>
#include <boost/json/src.hpp>  // Boost.JSON is used header-only; this is its one translation unit
#include <string_view>

#include "convert/convert.h"

namespace recaster::cli {
namespace {

namespace json = boost::json;
using settings::Var_t;

constexpr std::string_view kMask = "********";

bool IsSecret(std::u16string_view group, std::u16string_view key) {
  return key == u"Password" && (group == u"RemConn" || group == u"Emailer");
}

json::string Utf8(std::u16string_view text) { return json::string(convert::ToUtf8(std::u16string(text))); }

json::array TextList(const std::vector<std::u16string>& texts) {
  json::array out;
  for (const auto& text : texts) out.emplace_back(Utf8(text));
  return out;
}

json::object MatchJson(const xml::MatchOptions& m) {
  return {{"matchCase", m.matchCase}, {"matchWhole", m.matchWhole}, {"wildcards", m.wildcards}};
}

json::object FilterJson(const xml::MessageFilter& f) {
  json::object o;
  o["name"] = Utf8(f.name);
  o["negation"] = f.negation;
  o["severityCheck"] = f.severityCheck;
  o["facilityCheck"] = f.facilityCheck;
  o["sourceCheck"] = f.sourceCheck;
  o["originCheck"] = f.originCheck;
  o["tagCheck"] = f.tagCheck;
  o["messageCheck"] = f.messageCheck;
  o["severityMask"] = f.severityMask;
  o["facilityMask"] = f.facilityMask;
  o["sources"] = TextList(f.sources);
  o["origins"] = TextList(f.origins);
  o["originMatch"] = MatchJson(f.originMatch);
  o["tags"] = TextList(f.tags);
  o["tagMatch"] = MatchJson(f.tagMatch);
  o["content"] = Utf8(f.content);
  o["contentMatch"] = MatchJson(f.contentMatch);
  o["wildcardType"] = f.wildcardType;
  return o;
}

json::value VarJson(const Var_t& var, std::u16string_view group, bool show_secrets);

json::object GroupJson(const settings::VarGroup_t& g, std::u16string_view group, bool show_secrets) {
  json::object o;
  for (const Var_t* child : g.Children()) {
    if (child != nullptr) o[convert::ToUtf8(child->GetKey())] = VarJson(*child, group, show_secrets);
  }
  return o;
}

json::value VarJson(const Var_t& var, std::u16string_view group, bool show_secrets) {
  if (const auto* v = dynamic_cast<const settings::VarInt_t*>(&var)) return v->Value();
  if (const auto* v = dynamic_cast<const settings::VarBool_t*>(&var)) return v->Value();
  if (const auto* v = dynamic_cast<const settings::VarStr_t*>(&var)) {
    if (!show_secrets && !v->Value().empty() && IsSecret(group, v->GetKey())) return json::string(kMask);
    return Utf8(v->Value());
  }
  if (const auto* v = dynamic_cast<const settings::VarSF_t*>(&var)) return FilterJson(v->Value());
  if (const auto* v = dynamic_cast<const settings::VarGroup_t*>(&var)) return GroupJson(*v, group, show_secrets);
  if (const auto* v = dynamic_cast<const settings::VarList_t*>(&var)) {
    json::array items;
    for (std::uint32_t i = 0; i < v->ItemCount(); ++i) items.push_back(VarJson(v->ItemAt(i), group, show_secrets));
    return items;
  }
  return nullptr;
}

void Indent(std::string& out, int depth) { out.append(static_cast<std::size_t>(depth) * 2, ' '); }

void Print(const json::value& v, std::string& out, int depth);

// One member a line between `open` and `close`; an empty container as the two side by side.
template <typename Container, typename PrintItem>
void PrintContainer(const Container& items, char open, char close, std::string& out, int depth, PrintItem print_item) {
  out += open;
  if (!items.empty()) {
    out += '\n';
    std::size_t n = 0;
    for (const auto& item : items) {
      Indent(out, depth + 1);
      print_item(item);
      out += ++n < items.size() ? ",\n" : "\n";
    }
    Indent(out, depth);
  }
  out += close;
}

void Print(const json::value& v, std::string& out, int depth) {
  if (v.is_object()) {
    PrintContainer(v.get_object(), '{', '}', out, depth, [&](const json::key_value_pair& member) {
      out += json::serialize(json::string(member.key()));
      out += ": ";
      Print(member.value(), out, depth + 1);
    });
  } else if (v.is_array()) {
    PrintContainer(v.get_array(), '[', ']', out, depth, [&](const json::value& item) { Print(item, out, depth + 1); });
  } else {
    out += json::serialize(v);
  }
}

}  // namespace

std::string SettingsToJson(const settings::COVSettings& document, bool show_secrets) {
  json::object root;
  for (const Var_t* group : document.Groups()) {
    if (group == nullptr) continue;
    const std::u16string key = group->GetKey();
    root[convert::ToUtf8(key)] = VarJson(*group, key, show_secrets);
  }
  std::string out;
  Print(root, out, 0);
  out += '\n';
  return out;
}

}  // namespace recaster::cli
