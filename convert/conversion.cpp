// Building the configuration tree from a version 5 file, and the notes on what it leaves behind.
#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "convert/convert.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"
#include "words/words.h"

namespace recaster::convert {
namespace {

using settings::SettingView;

constexpr std::string_view kNotCarried = ", not carried over";

// A setting left behind, in the words the report prints for its value and its default.
std::string Difference(const SettingView& setting) {
  return words::ValueLine(setting) + " (default " + words::DefaultLine(setting) + ")" + std::string(kNotCarried);
}

}  // namespace

std::vector<ConversionNote> NotCarriedOver(const mapping::Plan& plan) {
  std::vector<ConversionNote> notes;
  notes.reserve(plan.left_behind.size());
  for (const SettingView& setting : plan.left_behind) notes.push_back(ConversionNote{setting.Path(), Difference(setting)});
  return notes;
}

std::vector<ConversionNote> NotCarriedOver(const settings::COVSettings& document) {
  return NotCarriedOver(mapping::MakePlan(document));
}

void PlanConversion(ConversionResult& conversion) { conversion.plan = mapping::MakePlan(*conversion.document); }

namespace {

ConversionResult Load(const std::u16string& source) {
  ConversionResult result;
  auto document = std::make_unique<settings::COVSettings>();
  result.load = document->LoadFromFileWithResult(source);
  if (result.load.ok()) result.document = std::move(document);
  return result;
}

}  // namespace

void MapConversion(ConversionResult& conversion) {
  PlanConversion(conversion);
  conversion.tree = mapping::PlanToTree(conversion.plan);
}

ConversionResult BuildConfigTree(const std::u16string& source) {
  ConversionResult result = Load(source);
  if (result.ok()) MapConversion(result);
  return result;
}

ConversionResult PlanConversion(const std::u16string& source) {
  ConversionResult result = Load(source);
  if (result.ok()) PlanConversion(result);
  return result;
}

std::vector<ConversionNote> ConversionNotes(const mapping::Plan& plan) {
  std::vector<ConversionNote> notes;
  notes.reserve(plan.adjustments.size() + plan.left_behind.size());
  for (const mapping::Adjustment& adjustment : plan.adjustments) {
    notes.push_back(ConversionNote{adjustment.path, mapping::AdjustmentText(adjustment)});
  }
  std::vector<ConversionNote> left = NotCarriedOver(plan);
  notes.insert(notes.end(), std::make_move_iterator(left.begin()), std::make_move_iterator(left.end()));
  return notes;
}

std::vector<ConversionNote> ConversionNotes(const ConversionResult& conversion) {
  if (conversion.document == nullptr) return {};
  return ConversionNotes(conversion.plan);
}

std::string FormatNote(const ConversionNote& note) {
  std::string line;
  words::AppendVisible(note.setting + ": " + note.text, false, line);
  return line;
}

}  // namespace recaster::convert
