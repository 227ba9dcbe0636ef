// Building the report from the settings walk and the mapping's plan.
#include <algorithm>
#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "mapping/v6_fields.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"
#include "text/utf8.h"
#include "tree/config_tree.h"

namespace recaster::report {
namespace {

using settings::SettingView;
using settings::VarKind;

words::Span Words(std::string text) { return words::Span{std::move(text), false}; }
words::Cell WordsCell(std::string text) { return words::Cell{{Words(std::move(text))}, std::nullopt, false}; }

// A row of the cells, moved in: a braced list would copy each cell, and a cell may hold a long text.
template <typename... Cells>
Row RowOf(bool to_do, Cells&&... cells) {
  Row row{{}, to_do};
  row.cells.reserve(sizeof...(cells));
  (row.cells.push_back(std::forward<Cells>(cells)), ...);
  return row;
}

// True for a setting version 6 takes over, as the plan decided it (a carried group stands for its
// settings, which the plan gives each their status).
bool IsCarried(const mapping::Plan& plan, const SettingView& s) {
  const mapping::SettingStatus status = plan.StatusOf(&s.Setting());
  return status == mapping::SettingStatus::kCarried || status == mapping::SettingStatus::kAdjusted;
}

// The version 5 settings that the conversion carries over, each with its value; a carried list with
// all of its items.
class CarriedCollector final : public settings::SettingVisitor {
 public:
  explicit CarriedCollector(const mapping::Plan& plan) : plan_(plan) {}

  Table table{{"Setting", "Value"}, {}, false};

  void Value(const SettingView& s) override {
    if (inside_ > 0 || IsCarried(plan_, s)) AddRow(s);
  }
  bool Begin(const SettingView& s) override {
    const bool carried = inside_ > 0 || IsCarried(plan_, s);
    opened_.push_back(carried);
    if (carried) {
      ++inside_;
      if (s.Kind() == VarKind::kList) AddRow(s);
    }
    return true;
  }
  void End(const SettingView&) override {
    if (opened_.back()) --inside_;
    opened_.pop_back();
  }

 private:
  void AddRow(const SettingView& s) { table.rows.push_back(RowOf(false, WordsCell(s.Path()), words::ValueCell(s))); }

  const mapping::Plan& plan_;
  std::vector<bool> opened_;
  int inside_ = 0;
};

// One group to re-create, or one item of a list, with its table and the sections of its items.
struct Section {
  std::string title;
  bool item = false;
  Table table;
  std::vector<Section> items;
};

// The top-level group a setting lies in: the first part of its path.
std::string_view GroupOf(const SettingView& s) {
  const std::string_view path = s.Path();
  return path.substr(0, path.find_first_of(".["));
}

// The sections of the settings the plan leaves behind: each top-level group that holds one, with all of
// its settings that are not carried over, those the plan leaves behind marked to do; each list item as
// a section of its own after the group's table.
class LeftBehindSections final : public settings::SettingVisitor {
 public:
  explicit LeftBehindSections(const mapping::Plan& plan) : plan_(plan) {
    for (const SettingView& s : plan.left_behind) {
      if (groups_.empty() || groups_.back() != GroupOf(s)) groups_.emplace_back(GroupOf(s));
    }
  }

  std::vector<Block> blocks;

  void Value(const SettingView& s) override {
    if (!IsCarried(plan_, s)) AddRow(s);
  }
  bool Begin(const SettingView& s) override {
    if (s.Depth() == 0 && std::find(groups_.begin(), groups_.end(), s.Path()) == groups_.end()) return false;
    if (IsCarried(plan_, s)) return false;
    if (s.Depth() == 0 || (s.ItemIndex().has_value() && s.Kind() == VarKind::kGroup)) {
      const bool item = s.Depth() != 0;
      open_.push_back(Section{s.Path(), item, Table{{"Setting", "Value", "Default"}, {}, !item}, {}});
      return true;
    }
    if (s.Kind() == VarKind::kList) AddRow(s);
    return true;
  }
  void End(const SettingView& s) override {
    if (s.Depth() != 0 && !(s.ItemIndex().has_value() && s.Kind() == VarKind::kGroup)) return;
    Section done = std::move(open_.back());
    open_.pop_back();
    if (open_.empty()) {
      Emit(done, 3);
    } else {
      open_.back().items.push_back(std::move(done));
    }
  }

 private:
  void AddRow(const SettingView& s) {
    Section& section = open_.back();
    const bool to_do = plan_.StatusOf(&s.Setting()) == mapping::SettingStatus::kRecreate;
    section.table.rows.push_back(
        RowOf(to_do, WordsCell(s.Path()), words::ValueCell(s), words::DefaultCell(s)));
  }

  void Emit(Section& section, int level) {
    blocks.emplace_back(Heading{level, {Words(section.title)}});
    blocks.emplace_back(std::move(section.table));
    for (Section& item : section.items) Emit(item, 4);
  }

  const mapping::Plan& plan_;
  std::vector<std::string> groups_;  // the top-level groups that hold a setting left behind, in order
  std::vector<Section> open_;
};

// ", KEY VALUE" for each of `fields` of `record` after the address and the port, in the version 6
// file's order and text forms.
template <typename Record, std::size_t N>
void AppendOtherValues(const std::array<mapping::Field<Record>, N>& fields, const Record& record, std::string& others) {
  for (const mapping::Field<Record>& field : fields) {
    if (field.key == "addr" || field.key == "port") continue;
    others += others.empty() ? "" : ", ";
    others += field.key;
    others += ' ';
    others += mapping::FieldText(field.value(record));
  }
}

// One listener's row: its protocol and family as the plan decided them, its address and port, and its
// other version 6 values (`others`) in the order of its object in the version 6 file.
Row ListenerRow(mapping::Protocol protocol, const mapping::ListenerConfig& listener, std::string others) {
  words::Cell address{{}, std::nullopt, false};
  address.text.push_back(words::Span{text::ToUtf8(listener.addr), true});
  return RowOf(false, WordsCell(std::string(mapping::ProtocolName(protocol))),
               WordsCell(std::string(mapping::FamilyName(listener.family))), std::move(address),
               WordsCell(tree::NumberText(listener.port)), WordsCell(std::move(others)));
}

// The plan's listeners, UDP then TCP, each with the address family the mapping made it for.
Table ListenerTable(const mapping::Plan& plan) {
  Table table{{"Protocol", "Address family", "Address", "Port", "Other version 6 values"}, {}, false};
  for (const mapping::UdpListener& listener : plan.network.udp) {
    std::string others;
    AppendOtherValues(mapping::kListenerFields, static_cast<const mapping::ListenerConfig&>(listener), others);
    table.rows.push_back(ListenerRow(listener.kProtocol, listener, std::move(others)));
  }
  for (const mapping::TcpListener& listener : plan.network.tcp) {
    std::string others;
    AppendOtherValues(mapping::kListenerFields, static_cast<const mapping::ListenerConfig&>(listener), others);
    AppendOtherValues(mapping::kStreamFields, listener, others);
    AppendOtherValues(mapping::kFramingFields, listener.framing, others);
    table.rows.push_back(ListenerRow(listener.kProtocol, listener, std::move(others)));
  }
  return table;
}

// Where keep_days comes from: the retention list's path and items, and any adjustment of it.
std::string KeepDaysSource(const settings::COVSettings& document, const mapping::Plan& plan) {
  const auto& retention = document.Storage.KeepPeriod;
  const std::string path = settings::PathOf(document, retention);
  std::string from = path + ": ";
  for (std::uint32_t i = 0; i < retention.Count(); ++i) {
    const words::Cell item = words::NumberCell(retention[i].Value(), retention.ItemUnit());
    from += (i == 0 ? "" : ", ") + item.text.front().text;
  }
  if (retention.Count() == 0) from += "empty";
  for (const mapping::Adjustment& adjustment : plan.adjustments) {
    if (adjustment.path == path) from += "; " + mapping::AdjustmentText(adjustment);
  }
  return from;
}

// The plan's storage record, with where keep_days came from.
Table StorageTable(const settings::COVSettings& document, const mapping::Plan& plan) {
  Table table{{"Version 6 key", "Value", "Where it comes from"}, {}, false};
  for (const mapping::Field<mapping::StorageConfig>& field : mapping::kStorageFields) {
    const std::string value = mapping::FieldText(field.value(plan.storage));
    const std::string key(field.key);
    if (key != "keep_days") {
      table.rows.push_back(
          Row{{WordsCell(key), WordsCell(value.empty() ? "empty" : value), WordsCell("set by the converter")}, false});
      continue;
    }
    table.rows.push_back(Row{{WordsCell(key), WordsCell(value + (value == "1" ? " day" : " days")),
                             WordsCell(KeepDaysSource(document, plan))},
                            false});
  }
  return table;
}

// The adjustments as items to check, each with what was done and what to do, every row to do.
Table ToCheckTable(const mapping::Plan& plan) {
  Table table{{"Setting", "What was done", "What to do"}, {}, true, ItemForm::kDoneAndToDo};
  for (const mapping::Adjustment& adjustment : plan.adjustments) {
    // What was done, without the advice its note ends in when that is what the last column says.
    std::string done = mapping::AdjustmentText(adjustment);
    const std::string to_do(WhatToCheck(adjustment));
    if (done.ends_with(": " + to_do)) done.resize(done.size() - to_do.size() - 2);
    table.rows.push_back(RowOf(true, WordsCell(adjustment.path), WordsCell(done), WordsCell(to_do)));
  }
  return table;
}

Heading Title(const std::string& source) { return Heading{1, {Words("Migration report: "), words::Span{source, true}}}; }

// The "Carried over" part: the listeners, the storage, the version 5 settings they are made from
// (`carried`) and what was adjusted to fit.
void AppendCarriedOver(std::vector<Block>& out, const settings::COVSettings& document, const mapping::Plan& plan,
                       Table carried) {
  out.emplace_back(Heading{2, {Words("Carried over")}});
  out.emplace_back(Heading{3, {Words("Listeners")}});
  Table listeners = ListenerTable(plan);
  if (listeners.rows.empty()) {
    out.emplace_back(Paragraph{{Words("None: the version 6 configuration opens no listener.")}});
  } else {
    out.emplace_back(std::move(listeners));
  }
  out.emplace_back(Heading{3, {Words("Storage")}});
  out.emplace_back(StorageTable(document, plan));
  out.emplace_back(Heading{3, {Words("Version 5 settings these are made from")}});
  out.emplace_back(std::move(carried));
  out.emplace_back(Heading{3, {Words("Adjusted to fit version 6")}});
  if (plan.adjustments.empty()) {
    out.emplace_back(Paragraph{{Words("None.")}});
  } else {
    Table table{{"Setting", "What was done"}, {}, false};
    for (const mapping::Adjustment& adjustment : plan.adjustments) {
      table.rows.push_back(Row{{WordsCell(adjustment.path), WordsCell(mapping::AdjustmentText(adjustment))}, false});
    }
    out.emplace_back(std::move(table));
  }
}

}  // namespace

std::string_view WhatToCheck(const mapping::Adjustment& adjustment) {
  switch (adjustment.reason) {
    case mapping::AdjustReason::kEmptyRetention:
    case mapping::AdjustReason::kNoRetention:
    case mapping::AdjustReason::kRetentionCapped:
      return "check the retention you want";
    case mapping::AdjustReason::kAboveMaximum:
    case mapping::AdjustReason::kNegative:
      return "check the value you want";
  }
  return "";
}

Report BuildReport(const settings::COVSettings& document, const mapping::Plan& plan, std::u16string_view source) {
  Report report;
  report.source = words::Literal(source).text;
  report.loaded = true;
  report.summary = mapping::Summarize(plan);

  LeftBehindSections recreate(plan);
  settings::WalkSettings(document, recreate);
  CarriedCollector carried_rows(plan);
  settings::WalkSettings(document, carried_rows);

  std::vector<Block>& out = report.blocks;
  out.emplace_back(Title(report.source));
  out.emplace_back(Paragraph{{Words(
      "Ornvale 6 imports only the network listeners and the storage retention; they are listed under \"Carried "
      "over\". The " + words::Counted(report.summary.to_recreate, "setting", "settings") +
      " marked with a box under \"To re-create by hand\" must be set up again by hand in Ornvale Manager.")}});
  out.emplace_back(Paragraph{{Words(
      "How settings are counted: each version 5 setting that differs from its default and is not carried over "
      "counts once; a list counts as one setting, however many items it holds, and its items are listed in full "
      "after it.")}});
  out.emplace_back(Paragraph{{Words("Passwords show only whether they are set; in a connection string the value of "
                                    "every password field is replaced by "),
                              words::Span{"********", true},
                              Words(". Colours read #RRGGBB, red taken from the lowest byte of the stored number (the "
                                    "Windows order), which follows in brackets.")}});

  AppendCarriedOver(out, document, plan, std::move(carried_rows.table));

  if (!plan.adjustments.empty()) {
    out.emplace_back(Heading{2, {Words("To check")}});
    out.emplace_back(ToCheckTable(plan));
  }
  out.emplace_back(Heading{2, {Words("To re-create by hand")}});
  if (recreate.blocks.empty()) {
    out.emplace_back(Paragraph{{Words("Nothing: every other version 5 setting is at its default.")}});
  }
  for (Block& block : recreate.blocks) out.push_back(std::move(block));
  return report;
}

Report BuildReport(const convert::ConversionResult& conversion, std::u16string_view source) {
  if (!conversion.ok() || conversion.document == nullptr) {
    return UnreadReport(source, xml::DescribeLoadResult(conversion.load));
  }
  return BuildReport(*conversion.document, conversion.plan, source);
}

Table SummaryTable(std::span<const Report> reports) {
  Table table{{"Source", "Converted", "Listeners", "keep_days", "To re-create", "To check"}, {}, false};
  for (const Report& report : reports) {
    const auto count = [&report](std::size_t n) { return report.loaded ? tree::NumberText(static_cast<std::uint32_t>(n)) : "-"; };
    const mapping::Summary& summary = report.summary;
    table.rows.push_back(Row{{words::Cell{{words::Span{report.source, true}}, std::nullopt, false},
                              WordsCell(report.loaded ? "yes" : "no: " + report.problem), WordsCell(count(summary.listeners)),
                              WordsCell(count(summary.keep_days)), WordsCell(count(summary.to_recreate)),
                              WordsCell(count(summary.adjustments))},
                             false});
  }
  return table;
}

std::u16string ReportPathBeside(std::u16string_view destination) {
  const std::size_t name = destination.find_last_of(u"/\\:");
  const std::size_t dot = destination.rfind(u'.');
  const bool has_extension = dot != std::u16string_view::npos && (name == std::u16string_view::npos || dot > name + 1);
  std::u16string path(has_extension ? destination.substr(0, dot) : destination);
  return path + u".report.html";
}

std::string LeftBehindMessage(const Report& report, std::u16string_view report_path, std::string_view not_written) {
  std::string text;
  const mapping::Summary& summary = report.summary;
  if (summary.to_recreate != 0) {
    text = words::Counted(summary.to_recreate, "setting", "settings") + " must be re-created by hand in Ornvale Manager";
  }
  if (summary.adjustments != 0) {
    text += text.empty() ? "" : ", and ";
    text += words::Counted(summary.adjustments, "value", "values") + " to check, adjusted to fit version 6";
  }
  const std::string path = text::ToUtf8(report_path);
  if (not_written.empty()) return text + ". The report lists them with their values:\n" + path;
  return text + ". The report that lists them could not be written to " + path + ":\n" + std::string(not_written);
}

Report UnreadReport(std::u16string_view source, std::string problem) {
  Report report;
  report.source = words::Literal(source).text;
  report.problem = std::move(problem);
  report.blocks.emplace_back(Title(report.source));
  report.blocks.emplace_back(Paragraph{{Words("Not converted: " + report.problem)}});
  return report;
}

}  // namespace recaster::report
