// Building the configuration tree from a version 5 file, and the notes on what it leaves behind.
#include <algorithm>
#include <string_view>

#include "convert/convert.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"

namespace recaster::convert {
namespace {

using settings::SettingView;
using settings::VarKind;

// Texts longer than this, or holding a line break or control character, are shown by length only.
constexpr std::size_t kMaxShownText = 60;
constexpr std::string_view kNotCarried = ", not carried over";

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

std::string Items(std::uint32_t count) { return NumberText(count) + (count == 1 ? " item" : " items"); }

// How a setting that is not at its default differs from it.
std::string Difference(const SettingView& setting) {
  if (setting.IsSecret()) return "set, not carried over (value not shown)";
  std::string text;
  switch (setting.Kind()) {
    case VarKind::kInt:
      text = std::to_string(setting.Int().Value()) + " (default " + std::to_string(setting.Int().Default()) + ")";
      break;
    case VarKind::kBool:
      text = std::string(BoolText(setting.Bool().Value())) + " (default " +
             std::string(BoolText(setting.Bool().Default())) + ")";
      break;
    case VarKind::kText:
      text = TextForm(setting.Text().Value()) + " (default " + TextForm(setting.Text().Default()) + ")";
      break;
    case VarKind::kFilter:
      text = "message filter set";
      break;
    case VarKind::kList:
      text = Items(setting.List().ItemCount());
      break;
    case VarKind::kGroup:
      text = "differs from its default";
      break;
  }
  return text + std::string(kNotCarried);
}

}  // namespace

ConfigTree MapSettings(const settings::COVSettings& document, std::vector<ConversionNote>* notes) {
  ConfigTree tree;
  mapping::MapNetwork(document, tree, notes);
  mapping::MapStorage(document, tree, notes);
  return tree;
}

std::vector<ConversionNote> NotCarriedOver(const mapping::Plan& plan) {
  std::vector<ConversionNote> notes;
  notes.reserve(plan.left_behind.size());
  for (const SettingView& setting : plan.left_behind) notes.push_back(ConversionNote{setting.Path(), Difference(setting)});
  return notes;
}

std::vector<ConversionNote> NotCarriedOver(const settings::COVSettings& document) {
  return NotCarriedOver(mapping::MakePlan(document));
}

void MapConversion(ConversionResult& conversion) {
  conversion.plan = mapping::MakePlan(*conversion.document);
  conversion.tree = mapping::PlanToTree(conversion.plan);
  conversion.adjustments.clear();
  for (const mapping::Adjustment& adjustment : conversion.plan.adjustments) {
    conversion.adjustments.push_back(ConversionNote{adjustment.path, mapping::AdjustmentText(adjustment)});
  }
}

ConversionResult BuildConfigTree(const std::u16string& source) {
  ConversionResult result;
  auto document = std::make_unique<settings::COVSettings>();
  result.load = document->LoadFromFileWithResult(source);
  if (!result.load.ok()) return result;
  result.document = std::move(document);
  MapConversion(result);
  return result;
}

std::vector<ConversionNote> ConversionNotes(const ConversionResult& conversion) {
  if (conversion.document == nullptr) return {};
  std::vector<ConversionNote> notes = conversion.adjustments;
  std::vector<ConversionNote> left = NotCarriedOver(conversion.plan);
  notes.insert(notes.end(), left.begin(), left.end());
  return notes;
}

std::string FormatNote(const ConversionNote& note) { return note.setting + ": " + note.text; }

}  // namespace recaster::convert
