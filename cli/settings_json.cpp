// Writes the settings tree through the one JSON writer as it is walked, no hidden character raw.
#include "cli/settings_json.h"

#include <string_view>
#include <vector>

#include "convert/convert.h"
#include "settings/setting_walk.h"
#include "text/json_writer.h"
#include "words/words.h"

namespace recaster::cli {
namespace {

using settings::SettingView;
using settings::VarKind;

// `show`'s escaping: the report's (every hidden character as \u, never a lone surrogate), with the
// short escapes \b and \f it has always written.
const text::JsonEscaping& ShowEscaping() {
  static const text::JsonEscaping escaping = text::CharacterEscaping(&words::IsHiddenCharacter, true);
  return escaping;
}

// A text as `show` prints it: as stored with `show_secrets`, else hidden by the one rule for secrets.
void Shown(text::JsonWriter& json, std::u16string_view text, settings::Secrecy secrecy, bool show_secrets) {
  if (show_secrets) return json.String(text);
  json.String(words::MaskSecrets(text, secrecy));
}

void TextList(text::JsonWriter& json, std::string_view key, const std::vector<std::u16string>& texts, bool show_secrets) {
  json.Key(key).Open('[');
  for (const auto& text : texts) Shown(json.Item(), text, settings::Secrecy::kShown, show_secrets);
  json.Close(']');
}

void Flag(text::JsonWriter& json, std::string_view key, bool value) { json.Key(key).Bool(value); }

void MatchJson(text::JsonWriter& json, std::string_view key, const xml::MatchOptions& m) {
  json.Key(key).Open('{');
  Flag(json, "matchCase", m.matchCase);
  Flag(json, "matchWhole", m.matchWhole);
  Flag(json, "wildcards", m.wildcards);
  json.Close('}');
}

void FilterJson(text::JsonWriter& json, const xml::MessageFilter& f, bool show_secrets) {
  json.Open('{');
  Shown(json.Key("name"), f.name, settings::Secrecy::kShown, show_secrets);
  Flag(json, "negation", f.negation);
  Flag(json, "severityCheck", f.severityCheck);
  Flag(json, "facilityCheck", f.facilityCheck);
  Flag(json, "sourceCheck", f.sourceCheck);
  Flag(json, "originCheck", f.originCheck);
  Flag(json, "tagCheck", f.tagCheck);
  Flag(json, "messageCheck", f.messageCheck);
  json.Key("severityMask").Number(f.severityMask);
  json.Key("facilityMask").Number(f.facilityMask);
  TextList(json, "sources", f.sources, show_secrets);
  TextList(json, "origins", f.origins, show_secrets);
  MatchJson(json, "originMatch", f.originMatch);
  TextList(json, "tags", f.tags, show_secrets);
  MatchJson(json, "tagMatch", f.tagMatch);
  Shown(json.Key("content"), f.content, settings::Secrecy::kShown, show_secrets);
  MatchJson(json, "contentMatch", f.contentMatch);
  json.Key("wildcardType").Number(f.wildcardType);
  json.Close('}');
}

// The document as it is walked: a group is an object of its settings, a list an array of its items.
class JsonPrinter final : public settings::SettingVisitor {
 public:
  JsonPrinter(text::JsonWriter& json, bool show_secrets) : json_(json), show_secrets_(show_secrets) {}

  void Value(const SettingView& setting) override {
    Place(setting);
    switch (setting.Kind()) {
      case VarKind::kInt:
        return json_.Number(setting.Int().Value());
      case VarKind::kBool:
        return json_.Bool(setting.Bool().Value());
      case VarKind::kText:
        return Shown(json_, setting.Text().Value(), setting.TextSecrecy(), show_secrets_);
      case VarKind::kFilter:
        return FilterJson(json_, setting.Filter().Value(), show_secrets_);
      case VarKind::kList:
      case VarKind::kGroup:
        break;  // containers come through Begin and End
    }
    json_.Raw("null");
  }
  bool Begin(const SettingView& setting) override {
    Place(setting);
    in_list_.push_back(setting.Kind() == VarKind::kList);
    json_.Open(in_list_.back() ? '[' : '{');
    return true;
  }
  void End(const SettingView&) override {
    json_.Close(in_list_.back() ? ']' : '}');
    in_list_.pop_back();
  }

 private:
  // The setting's place in its container: an item of a list, else a member by its key.
  void Place(const SettingView& setting) {
    if (in_list_.back()) {
      json_.Item();
    } else {
      json_.Key(setting.Key());
    }
  }

  text::JsonWriter& json_;
  bool show_secrets_;
  std::vector<bool> in_list_{false};  // the root object, then each group or list not yet ended
};

}  // namespace

bool WriteSettingsJson(const settings::CSTSettings3& document, bool show_secrets, text::TextSink& sink) {
  text::JsonWriter json(sink, text::JsonLayout{2, false}, ShowEscaping());
  json.Open('{');
  JsonPrinter printer(json, show_secrets);
  settings::WalkSettings(document, printer);
  json.Close('}');
  json.Raw('\n');
  return json.Finish();
}

std::string SettingsToJson(const settings::CSTSettings3& document, bool show_secrets) {
  text::StringSink whole;
  WriteSettingsJson(document, show_secrets, whole);
  return std::move(whole.text);
}

}  // namespace recaster::cli
