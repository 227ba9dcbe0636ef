// The CSV table of the settings to finish by hand: one row per value to check and per setting to
// re-create, in the report's words, every cell escaped by the one CSV escaper.
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapping/mapping.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"
#include "text/csv.h"

namespace recaster::report {
namespace {

using settings::SettingView;
using settings::VarKind;

// The words of a cell, every span made visible; a block keeps its lines.
std::string CellText(const words::Cell& cell) {
  std::string text;
  for (const words::Span& span : cell.text) words::AppendVisible(span.text, cell.block, text);
  return text;
}

// Each item of a list on a line of its own: a plain item in its words, an item that is a group as each
// of its settings' key and value ("To \"ops@example.org\"; Subject ...").
class ItemLines final : public settings::SettingVisitor {
 public:
  std::string lines;

  void Value(const SettingView& s) override {
    if (s.ItemIndex() && depth_ == 1) {
      NextItem();
      lines += words::ValueLine(s);
      return;
    }
    if (!fresh_) lines += "; ";
    fresh_ = false;
    lines += s.Path().substr(item_prefix_.size()) + ' ' + words::ValueLine(s);
  }
  bool Begin(const SettingView& s) override {
    if (s.ItemIndex() && s.Kind() == VarKind::kGroup && depth_ == 1) {
      NextItem();
      item_prefix_ = s.Path() + ".";
    }
    ++depth_;
    return true;
  }
  void End(const SettingView&) override { --depth_; }

 private:
  void NextItem() {
    if (!first_) lines += '\n';
    first_ = false;
    fresh_ = true;
  }

  int depth_ = 0;  // 1 inside the list itself
  bool first_ = true;
  bool fresh_ = true;
  std::string item_prefix_;
};

// The value of a setting: a list as its items, one a line; an empty list in its words.
std::string ValueText(const SettingView& s) {
  if (s.Kind() != VarKind::kList || s.List().ItemCount() == 0) return CellText(words::ValueCell(s));
  ItemLines items;
  settings::WalkSetting(s.Setting(), s.Path(), s.Depth(), items);
  return items.lines;
}

// The views of the settings that the plan's adjustments changed (an integer setting or a list as a
// whole), found by a walk of the document that enters no list.
class AdjustedViews final : public settings::SettingVisitor {
 public:
  explicit AdjustedViews(const mapping::Plan& plan) : views(plan.adjustments.size()), plan_(plan) {}

  std::vector<std::optional<SettingView>> views;  // per adjustment: its setting, when the walk met it

  void Value(const SettingView& s) override { Take(s); }
  bool Begin(const SettingView& s) override {
    Take(s);
    return s.Kind() == VarKind::kGroup;
  }
  void End(const SettingView&) override {}

 private:
  void Take(const SettingView& s) {
    for (std::size_t i = 0; i < plan_.adjustments.size(); ++i) {
      if (plan_.adjustments[i].setting == &s.Setting()) views[i] = s;
    }
  }

  const mapping::Plan& plan_;
};

// One row of cells.
void AppendCells(std::initializer_list<std::string_view> cells, std::string& out) {
  bool first = true;
  for (const std::string_view cell : cells) {
    if (!first) out += ',';
    first = false;
    text::AppendCsvCell(cell, out);
  }
  out += text::kCsvLineEnd;
}

// One setting's row: the server's NAME and source, then the setting's group, path, value, default and
// status.
void AppendRow(const std::string& server, const std::string& source, std::string_view path, const std::string& value,
               const std::string& default_value, std::string_view status, std::string& out) {
  AppendCells({server, source, path.substr(0, path.find_first_of(".[")), path, value, default_value, status}, out);
}

}  // namespace

std::string CsvHeader() {
  std::string header;
  AppendCells({"server", "source", "group", "setting", "value", "default", "status"}, header);
  return header;
}

void AppendCsvRows(std::u16string_view server, std::u16string_view source, const settings::COVSettings& document,
                   const mapping::Plan& plan, std::string& out) {
  const std::string name = words::VisibleText(server);
  const std::string path = words::VisibleText(source);
  AdjustedViews adjusted(plan);
  settings::WalkSettings(document, adjusted);
  for (std::size_t i = 0; i < plan.adjustments.size(); ++i) {
    const mapping::Adjustment& a = plan.adjustments[i];
    if (!adjusted.views[i]) {
      AppendRow(name, path, a.path, mapping::AdjustmentText(a), "", kCsvCheck, out);
      continue;
    }
    const SettingView& s = *adjusted.views[i];
    AppendRow(name, path, a.path, ValueText(s), CellText(words::DefaultCell(s)), kCsvCheck, out);
  }
  for (const SettingView& s : plan.left_behind) {
    AppendRow(name, path, s.Path(), ValueText(s), CellText(words::DefaultCell(s)),
              mapping::SettingStatusName(mapping::SettingStatus::kRecreate), out);
  }
}

}  // namespace recaster::report
