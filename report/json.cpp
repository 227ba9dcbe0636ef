// The JSON report: the plan of each source and every version 5 setting with its status, written as it
// is made.
#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mapping/mapping.h"
#include "mapping/v6_fields.h"
#include "report/fleet_view.h"
#include "report/report.h"
#include "report/text_out.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"
#include "text/json_writer.h"

namespace recaster::report {
namespace {

using settings::SettingView;
using settings::VarKind;

std::string_view KindName(VarKind kind) {
  switch (kind) {
    case VarKind::kInt:
      return "integer";
    case VarKind::kBool:
      return "boolean";
    case VarKind::kText:
      return "text";
    case VarKind::kFilter:
      return "filter";
    case VarKind::kList:
      return "list";
    case VarKind::kGroup:
      return "group";
  }
  return "";
}

std::string_view UnitName(settings::Unit unit) {
  switch (unit) {
    case settings::Unit::kNone:
      return "";
    case settings::Unit::kDays:
      return "days";
    case settings::Unit::kKilobytes:
      return "kilobytes";
    case settings::Unit::kSeverity:
      return "severity";
    case settings::Unit::kFacility:
      return "facility";
    case settings::Unit::kColour:
      return "colour";
    case settings::Unit::kCharacter:
      return "character";
  }
  return "";
}

// The stream as the writer's sink.
class StreamSink final : public text::TextSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  bool Write(std::string_view bytes) override {
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return true;
  }

 private:
  std::ostream& out_;
};

// The report's escaping: every hidden character as \u, a lone surrogate or a broken byte as U+FFFD.
const text::JsonEscaping& ReportEscaping() {
  static const text::JsonEscaping escaping = text::CharacterEscaping(&words::IsHiddenCharacter);
  return escaping;
}

// A JSON text written as it is made by the one JSON writer: one member or item a line, indented by two
// blanks per level, handed to the stream in pieces and all of it when the writer goes.
class Json {
 public:
  explicit Json(std::ostream& out, int depth = 0)
      : sink_(out), writer_(sink_, text::JsonLayout{2, false}, ReportEscaping(), static_cast<std::size_t>(depth)) {}
  Json(const Json&) = delete;
  Json& operator=(const Json&) = delete;
  ~Json() { static_cast<void>(writer_.Finish()); }  // a stream takes every piece

  // A member's key (in an object) or the next item's place (in an array).
  Json& Key(std::string_view key) {
    writer_.Key(key);
    return *this;
  }
  Json& Item() {
    writer_.Item();
    return *this;
  }
  // A value already in JSON text.
  void Raw(std::string_view json) { writer_.Raw(json); }
  void Member(std::string_view key, std::string_view json) { Key(key).Raw(json); }
  void Flag(std::string_view key, bool value) { Key(key).writer_.Bool(value); }
  template <typename N>
  void Number(std::string_view key, N value) {
    Key(key).Number(value);
  }
  template <typename N>
  void Number(N value) {
    writer_.Number(value);
  }
  // Members whose value is a string.
  void Text(std::string_view key, std::string_view utf8) { Key(key).String(utf8); }
  void Text(std::string_view key, std::u16string_view text) { Key(key).String(text); }
  // A text from the file: the secrets of its URLs masked, as every reader shows it.
  void FileText(std::u16string_view text) {
    if (text.find(u"://") == std::u16string_view::npos) return String(text);
    String(words::MaskUrlSecrets(text));
  }
  // The words a renderer prints for a cell: its spans joined, hidden characters made visible.
  void Words(const words::Cell& cell) {
    writer_.Raw('"');
    for (const words::Span& span : cell.text) {
      ForVisiblePieces(span.text, cell.block, [this](std::string_view piece) { writer_.Chars(piece); });
    }
    writer_.Raw('"');
  }
  // JSON strings: a lone surrogate and a byte that starts no UTF-8 character become U+FFFD.
  void String(std::u16string_view text) { writer_.String(text); }
  void String(std::string_view utf8) { writer_.String(utf8); }

  void Open(char bracket) { writer_.Open(bracket); }
  void Close(char bracket) { writer_.Close(bracket); }

 private:
  StreamSink sink_;
  text::JsonWriter writer_;
};

void TextArray(Json& json, std::string_view key, const std::vector<std::u16string>& texts) {
  json.Key(key).Raw("[");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) json.Raw(", ");
    json.FileText(texts[i]);
  }
  json.Raw("]");
}

void MatchObject(Json& json, std::string_view key, const xml::MatchOptions& m) {
  json.Key(key).Raw("{\"match_case\": ");
  json.Raw(m.matchCase ? "true" : "false");
  json.Raw(", \"match_whole\": ");
  json.Raw(m.matchWhole ? "true" : "false");
  json.Raw(", \"wildcards\": ");
  json.Raw(m.wildcards ? "true" : "false");
  json.Raw("}");
}

// A filter as its fields, then its words.
void WriteFilter(Json& json, const xml::MessageFilter& f) {
  json.Open('{');
  json.Key("name").FileText(f.name);
  json.Flag("negation", f.negation);
  json.Flag("severity_check", f.severityCheck);
  json.Flag("facility_check", f.facilityCheck);
  json.Flag("source_check", f.sourceCheck);
  json.Flag("origin_check", f.originCheck);
  json.Flag("tag_check", f.tagCheck);
  json.Flag("message_check", f.messageCheck);
  json.Number("severity_mask", f.severityMask);
  json.Number("facility_mask", f.facilityMask);
  TextArray(json, "sources", f.sources);
  TextArray(json, "origins", f.origins);
  MatchObject(json, "origin_match", f.originMatch);
  TextArray(json, "tags", f.tags);
  MatchObject(json, "tag_match", f.tagMatch);
  json.Key("content").FileText(f.content);
  MatchObject(json, "content_match", f.contentMatch);
  json.Number("wildcard_type", f.wildcardType);
  json.Key("words").Words(words::Cell{words::DescribeFilter(f), std::nullopt, false});
  json.Close('}');
}

// A text value: a password only as whether it is set, a connection string masked.
void WriteText(Json& json, std::u16string_view text, settings::Secrecy secrecy) {
  switch (secrecy) {
    case settings::Secrecy::kSecret:
      json.Raw(text.empty() ? "{\"set\": false}" : "{\"set\": true}");
      return;
    case settings::Secrecy::kConnectionString:
      json.String(words::MaskConnectionString(text));
      return;
    case settings::Secrecy::kShown:
      json.FileText(text);
      return;
  }
}

// Every setting as a node: a group's value is an object of its settings by key, a list's an array of
// its items; each node says its path, group, key, kind, status (leaves and lists outside list items),
// unit, value, default and the report's words for both.
class SettingsWriter final : public settings::SettingVisitor {
 public:
  SettingsWriter(Json& json, const mapping::Plan& plan) : json_(json), plan_(plan) {}

  void Value(const SettingView& s) override {
    Head(s);
    json_.Key("value");
    switch (s.Kind()) {
      case VarKind::kInt:
        json_.Number(s.Int().Value());
        if (!s.ItemIndex()) json_.Number("default", s.Int().Default());
        break;
      case VarKind::kBool:
        json_.Raw(s.Bool().Value() ? "true" : "false");
        if (!s.ItemIndex()) json_.Flag("default", s.Bool().Default());
        break;
      case VarKind::kText: {
        WriteText(json_, s.Text().Value(), s.TextSecrecy());
        if (!s.ItemIndex()) WriteText(json_.Key("default"), s.Text().Default(), s.TextSecrecy());
        break;
      }
      case VarKind::kFilter:
        WriteFilter(json_, s.Filter().Value());
        if (!s.ItemIndex()) {
          json_.Key("default");
          WriteFilter(json_, xml::MessageFilter());
        }
        break;
      case VarKind::kList:
      case VarKind::kGroup:
        break;
    }
    Tail(s);
  }

  bool Begin(const SettingView& s) override {
    Head(s);
    json_.Key("value").Open(s.Kind() == VarKind::kList ? '[' : '{');
    return true;
  }

  void End(const SettingView& s) override {
    json_.Close(s.Kind() == VarKind::kList ? ']' : '}');
    if (s.Kind() == VarKind::kList) json_.Member("default", "[]");
    Tail(s);
  }

 private:
  void Head(const SettingView& s) {
    if (s.ItemIndex() || (!in_list_.empty() && in_list_.back())) {
      json_.Item();
    } else {
      json_.Key(s.Key());  // a top-level group is a member of "settings"
    }
    in_list_.push_back(s.Kind() == VarKind::kList);
    json_.Open('{');
    const std::string& path = s.Path();
    json_.Text("path", path);
    json_.Text("group", std::string_view(path).substr(0, path.find_first_of(".[")));
    json_.Text("key", s.Key());
    json_.Text("kind", KindName(s.Kind()));
    if (s.ItemIndex()) json_.Number("index", *s.ItemIndex());
    if (const mapping::SettingStatus status = plan_.StatusOf(&s.Setting()); status != mapping::SettingStatus::kNone) {
      json_.Text("status", mapping::SettingStatusName(status));
    }
    if (const std::string_view unit = UnitName(s.GetUnit()); !unit.empty()) json_.Text("unit", unit);
  }

  void Tail(const SettingView& s) {
    if (s.Kind() != VarKind::kGroup) {
      json_.Key("words").Words(words::ValueCell(s));
      json_.Key("default_words").Words(words::DefaultCell(s));
    }
    json_.Close('}');
    in_list_.pop_back();
  }

  Json& json_;
  const mapping::Plan& plan_;
  std::vector<bool> in_list_;  // per open node: whether it is a list
};

// The report's own order of a listener's version 6 values, each named by its version 6 field.
constexpr std::array kReportListenerFields{
    mapping::FieldNamed(mapping::kListenerFields, "port"),
    mapping::FieldNamed(mapping::kListenerFields, "max_msg_len"),
    mapping::FieldNamed(mapping::kListenerFields, "max_session_history"),
    mapping::FieldNamed(mapping::kListenerFields, "socket_buffer_size"),
};
constexpr std::array kReportStreamFields{
    mapping::FieldNamed(mapping::kStreamFields, "disconnect_inactive_sec"),
    mapping::FieldNamed(mapping::kStreamFields, "max_concurrent_sessions"),
    mapping::FieldNamed(mapping::kStreamFields, "disconnect_oldest"),
};

// A version 6 value as the member `key`: a number as a number, a flag as a boolean, a text as a string.
void WriteValue(Json& json, std::string_view key, const mapping::FieldValue& value) {
  if (const bool* flag = std::get_if<bool>(&value)) {
    json.Flag(key, *flag);
  } else if (const std::uint32_t* number = std::get_if<std::uint32_t>(&value)) {
    json.Number(key, *number);
  } else {
    json.Key(key).FileText(std::get<std::u16string_view>(value));
  }
}

// Each of `fields` of `record` as a member named by its version 6 key.
template <typename Record, std::size_t N>
void WriteFields(Json& json, const std::array<mapping::Field<Record>, N>& fields, const Record& record) {
  for (const mapping::Field<Record>& field : fields) WriteValue(json, field.key, field.value(record));
}

void WriteListener(Json& json, const mapping::ListenerConfig& l, mapping::Protocol protocol) {
  json.Item().Open('{');
  json.Text("protocol", mapping::ProtocolName(protocol));
  json.Text("family", mapping::FamilyName(l.family));
  json.Key("address").FileText(l.addr);
  WriteFields(json, kReportListenerFields, l);
}

void WriteCarriedOver(Json& json, const settings::COVSettings& document, const mapping::Plan& plan) {
  json.Key("carried_over").Open('{');
  json.Key("listeners").Open('[');
  for (const mapping::UdpListener& l : plan.network.udp) {
    WriteListener(json, l, mapping::Protocol::kUdp);
    json.Close('}');
  }
  for (const mapping::TcpListener& l : plan.network.tcp) {
    WriteListener(json, l, mapping::Protocol::kTcp);
    WriteFields(json, kReportStreamFields, l);
    WriteFields(json, mapping::kFramingFields, l.framing);
    json.Close('}');
  }
  json.Close(']');
  const mapping::StorageConfig& s = plan.storage;
  const std::string keep_from = plan.keep_period == nullptr ? std::string() : settings::PathOf(document, *plan.keep_period);
  json.Key("storage").Open('[');
  for (const mapping::Field<mapping::StorageConfig>& field : mapping::kStorageFields) {
    json.Item().Open('{');
    json.Text("key", field.key);
    WriteValue(json, "value", field.value(s));
    json.Key("from").Raw("[");
    if (field.key == "keep_days" && !keep_from.empty()) json.String(keep_from);
    json.Raw("]");
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
}

void WriteAdjustments(Json& json, const mapping::Plan& plan) {
  json.Key("adjustments").Open('[');
  for (const mapping::Adjustment& a : plan.adjustments) {
    json.Item().Open('{');
    json.Text("setting", a.path);
    json.Number("before", a.before);
    json.Number("after", a.after);
    json.Text("reason", mapping::AdjustReasonName(a.reason));
    json.Text("words", mapping::AdjustmentText(a));
    json.Text("to_do", WhatToCheck(a));
    json.Close('}');
  }
  json.Close(']');
}

void WriteOutputs(Json& json, const JsonOutputs& outputs) {
  json.Key("outputs").Open('{');
  json.Text("name", outputs.name);
  json.Text("json", outputs.json);
  json.Text("report_html", outputs.report_html);
  json.Text("report_json", outputs.report_json);
  json.Close('}');
}

void WriteNames(Json& json, const FleetView& view, const std::vector<std::uint32_t>& servers) {
  json.Key("servers").Raw("[");
  for (std::size_t i = 0; i < servers.size(); ++i) {
    if (i != 0) json.Raw(", ");
    json.String(view.names()[servers[i]]);
  }
  json.Raw("]");
}

// What the servers share: each setting with its distinct values (a secret only with its count), the
// groups of servers with one configuration to re-create, and the totals.
void WriteView(Json& json, const FleetView& view) {
  json.Open('{');
  json.Key("settings").Open('[');
  for (const FleetView::Setting* setting : view.Settings()) {
    json.Item().Open('{');
    json.Text("setting", setting->path);
    json.Text("to_do", ViewTaskName(setting->task));
    json.Number("servers", setting->servers);
    json.Text("words", ViewLine(view, *setting));
    if (setting->task != ViewTask::kReenter) {
      json.Key("values").Open('[');
      for (const FleetView::Value& value : view.SortedValues(*setting)) {
        json.Item().Open('{');
        json.Text("words", *value.words);
        WriteNames(json, view, value.servers);
        json.Close('}');
      }
      json.Close(']');
    }
    json.Close('}');
  }
  json.Close(']');
  json.Key("groups").Open('[');
  for (const std::vector<std::uint32_t>& group : view.Groups()) {
    json.Item().Open('{');
    WriteNames(json, view, group);
    json.Close('}');
  }
  json.Close(']');
  json.Key("totals").Open('{');
  json.Number("to_recreate", view.to_recreate());
  json.Number("distinct_to_recreate", view.distinct_to_recreate());
  json.Close('}');
  json.Close('}');
}

}  // namespace

JsonReportWriter::JsonReportWriter(std::ostream& out, std::string_view program_version) : out_(out) {
  Json json(out_);
  json.Open('{');
  json.Text("format_version", kJsonFormatVersion);
  json.Key("program").Open('{');
  json.Member("name", "\"recaster\"");
  json.Text("version", program_version);
  json.Close('}');
  json.Key("sources").Open('[');
}

JsonSummaryRow JsonReportWriter::Source(const JsonSource& source) {
  JsonSummaryRow row;
  row.path = std::u16string(source.path);
  Json json(out_, 2);
  if (!first_source_) json.Raw(",");
  first_source_ = false;
  json.Raw("\n    ");
  json.Open('{');
  json.Text("path", source.path);
  json.Text("absolute_path", source.absolute_path);
  const convert::ConversionResult* conversion = source.conversion;
  if (conversion == nullptr || !conversion->ok() || conversion->document == nullptr) {
    row.reason = std::string(source.reason);
    row.exit_code = source.exit_code;
    json.Member("outcome", "\"refused\"");
    json.Text("reason", source.reason);
    json.Number("exit_code", source.exit_code);
    json.Close('}');
    return row;
  }
  const mapping::Plan& plan = conversion->plan;
  row.converted = true;
  row.summary = mapping::Summarize(plan);
  json.Member("outcome", "\"converted\"");
  WriteCarriedOver(json, *conversion->document, plan);
  WriteAdjustments(json, plan);
  json.Key("settings").Open('{');
  SettingsWriter writer(json, plan);
  settings::WalkSettings(*conversion->document, writer);
  json.Close('}');
  json.Number("to_recreate", row.summary.to_recreate);
  json.Number("to_check", row.summary.adjustments);
  if (source.outputs != nullptr) WriteOutputs(json, *source.outputs);
  json.Close('}');
  return row;
}

void JsonReportWriter::End(std::span<const JsonSummaryRow> summary, const FleetView* view) {
  Json json(out_, 1);
  json.Raw("\n  ]");
  if (!summary.empty()) {
    mapping::Totals total;
    json.Raw(",");
    json.Raw("\n  \"summary\": ");
    json.Open('{');
    json.Key("sources").Open('[');
    for (const JsonSummaryRow& row : summary) {
      json.Item().Open('{');
      json.Text("path", row.path);
      json.Member("outcome", row.converted ? "\"converted\"" : "\"refused\"");
      if (row.converted) {
        json.Number("listeners", row.summary.listeners);
        json.Number("keep_days", row.summary.keep_days);
        json.Number("to_recreate", row.summary.to_recreate);
        json.Number("adjustments", row.summary.adjustments);
      } else {
        json.Text("reason", row.reason);
        json.Number("exit_code", row.exit_code);
      }
      json.Close('}');
      total.Add(row.code(), row.summary);
    }
    json.Close(']');
    json.Key("totals").Open('{');
    json.Number("sources", total.sources);
    json.Number("converted", total.converted);
    json.Number("refused", total.NotConverted());
    json.Number("listeners", total.listeners);
    json.Number("to_recreate", total.to_recreate);
    json.Number("adjustments", total.adjustments);
    json.Close('}');
    json.Close('}');
  }
  if (view != nullptr) {
    json.Raw(",\n  \"view\": ");
    WriteView(json, *view);
  }
  json.Raw("\n}\n");
}

}  // namespace recaster::report
