// The JSON report: the plan of each source and every version 5 setting with its status, written as it
// is made.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mapping/mapping.h"
#include "report/report.h"
#include "settings/ov_settings.h"
#include "settings/setting_walk.h"

namespace recaster::report {
namespace {

using settings::SettingView;
using settings::VarKind;

constexpr char kHex[] = "0123456789abcdef";

void Escape(char32_t c, std::string& out) {
  const char escape[] = {'\\', 'u', kHex[c >> 12 & 0xFu], kHex[c >> 8 & 0xFu], kHex[c >> 4 & 0xFu], kHex[c & 0xFu]};
  out.append(escape, sizeof escape);
}

// One code point of a JSON string: the JSON escapes, every hidden character and lone surrogate as \u.
void AppendCodePoint(char32_t c, std::string& out) {
  switch (c) {
    case U'"':
      out += "\\\"";
      return;
    case U'\\':
      out += "\\\\";
      return;
    case U'\n':
      out += "\\n";
      return;
    case U'\t':
      out += "\\t";
      return;
    case U'\r':
      out += "\\r";
      return;
    default:
      break;
  }
  if (c < 0x20 || convert::IsHiddenCharacter(c) || (c >= 0xD800 && c <= 0xDFFF)) return Escape(c, out);
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The JSON string of UTF-16 text; a lone surrogate stays as its escape.
std::string Quoted(std::u16string_view text) {
  std::string out(1, '"');
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + (((c & 0x3FF) << 10) | (text[i + 1] & 0x3FF));
      ++i;
    }
    AppendCodePoint(c, out);
  }
  out += '"';
  return out;
}

// The JSON string of UTF-8 text; a byte that starts no UTF-8 character reads as U+FFFD.
std::string Quoted(std::string_view utf8) {
  std::string out(1, '"');
  out.reserve(utf8.size() + 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    std::size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
      if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    AppendCodePoint(length == 0 ? U'\uFFFD' : c, out);
    i += length == 0 ? 1 : length;
  }
  out += '"';
  return out;
}

// A text from the file: the secrets of its URLs masked, as every reader shows it.
std::string FileText(std::u16string_view text) {
  return text.find(u"://") == std::u16string_view::npos ? Quoted(text) : Quoted(MaskUrlSecrets(text));
}

// The words a renderer prints for a cell: its spans joined, hidden characters made visible.
std::string Words(const Cell& cell) {
  std::string joined;
  for (const Span& span : cell.text) convert::AppendVisible(span.text, cell.block, joined);
  return Quoted(joined);
}

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

// A JSON text written as it is made: objects and arrays opened and closed in turn, one member or
// item a line, indented by two blanks per level.
class Json {
 public:
  explicit Json(std::ostream& out, int depth = 0) : out_(out) { first_.assign(static_cast<std::size_t>(depth), false); }

  // A member's key (in an object) or the next item's place (in an array).
  Json& Key(std::string_view key) {
    Next();
    out_ << Quoted(key) << ": ";
    return *this;
  }
  Json& Item() {
    Next();
    return *this;
  }
  // A value already in JSON text.
  void Raw(std::string_view json) { out_ << json; }
  void Member(std::string_view key, std::string_view json) { Key(key).Raw(json); }
  void Flag(std::string_view key, bool value) { Key(key).Raw(value ? "true" : "false"); }
  template <typename N>
  void Number(std::string_view key, N value) {
    Key(key).Raw(std::to_string(value));
  }
  void Open(char bracket) {
    out_ << bracket;
    first_.push_back(true);
  }
  void Close(char bracket) {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) NewLine();
    out_ << bracket;
  }

 private:
  void Next() {
    if (!first_.back()) out_ << ',';
    first_.back() = false;
    NewLine();
  }
  void NewLine() {
    out_ << '\n';
    for (std::size_t i = 0; i < first_.size(); ++i) out_ << "  ";
  }

  std::ostream& out_;
  std::vector<bool> first_;  // per open container: nothing written in it yet
};

std::string TextArray(const std::vector<std::u16string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) out += (i == 0 ? "" : ", ") + FileText(texts[i]);
  return out + "]";
}

std::string MatchObject(const xml::MatchOptions& m) {
  return std::string("{\"match_case\": ") + (m.matchCase ? "true" : "false") +
         ", \"match_whole\": " + (m.matchWhole ? "true" : "false") +
         ", \"wildcards\": " + (m.wildcards ? "true" : "false") + "}";
}

// A filter as its fields, then its words.
void WriteFilter(Json& json, const xml::MessageFilter& f) {
  json.Open('{');
  json.Member("name", FileText(f.name));
  json.Flag("negation", f.negation);
  json.Flag("severity_check", f.severityCheck);
  json.Flag("facility_check", f.facilityCheck);
  json.Flag("source_check", f.sourceCheck);
  json.Flag("origin_check", f.originCheck);
  json.Flag("tag_check", f.tagCheck);
  json.Flag("message_check", f.messageCheck);
  json.Number("severity_mask", f.severityMask);
  json.Number("facility_mask", f.facilityMask);
  json.Member("sources", TextArray(f.sources));
  json.Member("origins", TextArray(f.origins));
  json.Member("origin_match", MatchObject(f.originMatch));
  json.Member("tags", TextArray(f.tags));
  json.Member("tag_match", MatchObject(f.tagMatch));
  json.Member("content", FileText(f.content));
  json.Member("content_match", MatchObject(f.contentMatch));
  json.Number("wildcard_type", f.wildcardType);
  json.Member("words", Words(Cell{DescribeFilter(f), std::nullopt, false}));
  json.Close('}');
}

// A text value: a password only as whether it is set, a connection string masked.
void WriteText(Json& json, std::string_view key, std::u16string_view text, settings::Secrecy secrecy) {
  switch (secrecy) {
    case settings::Secrecy::kSecret:
      json.Member(key, text.empty() ? "{\"set\": false}" : "{\"set\": true}");
      return;
    case settings::Secrecy::kConnectionString:
      json.Member(key, Quoted(MaskConnectionString(text)));
      return;
    case settings::Secrecy::kShown:
      json.Member(key, FileText(text));
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
        json_.Raw(std::to_string(s.Int().Value()));
        if (!s.ItemIndex()) json_.Number("default", s.Int().Default());
        break;
      case VarKind::kBool:
        json_.Raw(s.Bool().Value() ? "true" : "false");
        if (!s.ItemIndex()) json_.Flag("default", s.Bool().Default());
        break;
      case VarKind::kText: {
        WriteTextValue(s.Text().Value(), s.TextSecrecy());
        if (!s.ItemIndex()) WriteText(json_, "default", s.Text().Default(), s.TextSecrecy());
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
    json_.Member("path", Quoted(s.Path()));
    const std::string& path = s.Path();
    json_.Member("group", Quoted(std::string_view(path).substr(0, path.find_first_of(".["))));
    json_.Member("key", Quoted(s.Key()));
    json_.Member("kind", Quoted(KindName(s.Kind())));
    if (s.ItemIndex()) json_.Number("index", *s.ItemIndex());
    if (const mapping::SettingStatus status = plan_.StatusOf(&s.Setting()); status != mapping::SettingStatus::kNone) {
      json_.Member("status", Quoted(mapping::SettingStatusName(status)));
    }
    if (const std::string_view unit = UnitName(s.GetUnit()); !unit.empty()) json_.Member("unit", Quoted(unit));
  }

  void Tail(const SettingView& s) {
    if (s.Kind() != VarKind::kGroup) {
      json_.Member("words", Words(ValueCell(s)));
      json_.Member("default_words", Words(DefaultCell(s)));
    }
    json_.Close('}');
    in_list_.pop_back();
  }

  void WriteTextValue(std::u16string_view text, settings::Secrecy secrecy) {
    switch (secrecy) {
      case settings::Secrecy::kSecret:
        json_.Raw(text.empty() ? "{\"set\": false}" : "{\"set\": true}");
        return;
      case settings::Secrecy::kConnectionString:
        json_.Raw(Quoted(MaskConnectionString(text)));
        return;
      case settings::Secrecy::kShown:
        json_.Raw(FileText(text));
        return;
    }
  }

  Json& json_;
  const mapping::Plan& plan_;
  std::vector<bool> in_list_;  // per open node: whether it is a list
};

void WriteListener(Json& json, const mapping::ListenerConfig& l, mapping::Protocol protocol) {
  json.Item().Open('{');
  json.Member("protocol", Quoted(mapping::ProtocolName(protocol)));
  json.Member("family", Quoted(mapping::FamilyName(l.family)));
  json.Member("address", FileText(l.addr));
  json.Number("port", l.port);
  json.Number("max_msg_len", l.max_msg_len);
  json.Number("max_session_history", l.max_session_history);
  json.Number("socket_buffer_size", l.socket_buffer_size);
}

void WriteStorageItem(Json& json, std::string_view key, const std::string& value, const std::string& from) {
  json.Item().Open('{');
  json.Member("key", Quoted(key));
  json.Member("value", value);
  std::string list(1, '[');
  if (!from.empty()) list += Quoted(from);
  list += ']';
  json.Member("from", list);
  json.Close('}');
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
    json.Number("disconnect_inactive_sec", l.disconnect_inactive_sec);
    json.Number("max_concurrent_sessions", l.max_concurrent_sessions);
    json.Flag("disconnect_oldest", l.disconnect_oldest);
    json.Flag("detect_octet_count", l.framing.detect_octet_count);
    json.Flag("separate_by_cr_lf", l.framing.separate_by_cr_lf);
    json.Close('}');
  }
  json.Close(']');
  const mapping::StorageConfig& s = plan.storage;
  const std::string keep_from = plan.keep_period == nullptr ? std::string() : settings::PathOf(document, *plan.keep_period);
  json.Key("storage").Open('[');
  WriteStorageItem(json, "folder", FileText(s.folder), "");
  WriteStorageItem(json, "keep_days", std::to_string(s.keep_days), keep_from);
  WriteStorageItem(json, "keep_gbs", std::to_string(s.keep_gbs), "");
  WriteStorageItem(json, "check_period", std::to_string(s.check_period), "");
  WriteStorageItem(json, "flush_period", std::to_string(s.flush_period), "");
  WriteStorageItem(json, "hours_per_file", std::to_string(s.hours_per_file), "");
  json.Close(']');
  json.Close('}');
}

void WriteAdjustments(Json& json, const mapping::Plan& plan) {
  json.Key("adjustments").Open('[');
  for (const mapping::Adjustment& a : plan.adjustments) {
    json.Item().Open('{');
    json.Member("setting", Quoted(a.path));
    json.Number("before", a.before);
    json.Number("after", a.after);
    json.Member("reason", Quoted(mapping::AdjustReasonName(a.reason)));
    json.Member("words", Quoted(mapping::AdjustmentText(a)));
    json.Close('}');
  }
  json.Close(']');
}

void WriteOutputs(Json& json, const JsonOutputs& outputs) {
  json.Key("outputs").Open('{');
  json.Member("name", Quoted(outputs.name));
  json.Member("json", Quoted(outputs.json));
  json.Member("report_html", Quoted(outputs.report_html));
  json.Member("report_json", Quoted(outputs.report_json));
  json.Close('}');
}

}  // namespace

JsonReportWriter::JsonReportWriter(std::ostream& out, std::string_view program_version)
    : JsonReportWriter(out, program_version, "1.0") {}

JsonReportWriter::JsonReportWriter(std::ostream& out, std::string_view program_version,
                                   std::string_view format_version)
    : out_(out) {
  Json json(out_);
  json.Open('{');
  json.Member("format_version", Quoted(format_version));
  json.Key("program").Open('{');
  json.Member("name", "\"recaster\"");
  json.Member("version", Quoted(program_version));
  json.Close('}');
  json.Key("sources").Open('[');
}

JsonSummaryRow JsonReportWriter::Source(const JsonSource& source) {
  JsonSummaryRow row;
  row.path = std::u16string(source.path);
  Json json(out_, 2);
  if (!first_source_) out_ << ',';
  first_source_ = false;
  json.Raw("\n    ");
  json.Open('{');
  json.Member("path", Quoted(source.path));
  json.Member("absolute_path", Quoted(source.absolute_path));
  const convert::ConversionResult* conversion = source.conversion;
  if (conversion == nullptr || !conversion->ok() || conversion->document == nullptr) {
    row.reason = std::string(source.reason);
    row.exit_code = source.exit_code;
    json.Member("outcome", "\"refused\"");
    json.Member("reason", Quoted(source.reason));
    json.Number("exit_code", source.exit_code);
    json.Close('}');
    return row;
  }
  const mapping::Plan& plan = conversion->plan;
  row.converted = true;
  row.listeners = plan.network.udp.size() + plan.network.tcp.size();
  row.keep_days = plan.storage.keep_days;
  row.to_recreate = plan.RecreateCount();
  row.adjustments = plan.adjustments.size();
  json.Member("outcome", "\"converted\"");
  WriteCarriedOver(json, *conversion->document, plan);
  WriteAdjustments(json, plan);
  json.Key("settings").Open('{');
  SettingsWriter writer(json, plan);
  settings::WalkSettings(*conversion->document, writer);
  json.Close('}');
  json.Number("to_recreate", row.to_recreate);
  if (source.outputs != nullptr) WriteOutputs(json, *source.outputs);
  json.Close('}');
  return row;
}

void JsonReportWriter::End(std::span<const JsonSummaryRow> summary) {
  Json json(out_, 1);
  out_ << "\n  ]";
  if (!summary.empty()) {
    JsonSummaryRow total;
    std::size_t converted = 0;
    out_ << ",";
    json.Raw("\n  \"summary\": ");
    json.Open('{');
    json.Key("sources").Open('[');
    for (const JsonSummaryRow& row : summary) {
      json.Item().Open('{');
      json.Member("path", Quoted(row.path));
      json.Member("outcome", row.converted ? "\"converted\"" : "\"refused\"");
      if (row.converted) {
        ++converted;
        json.Number("listeners", row.listeners);
        json.Number("keep_days", row.keep_days);
        json.Number("to_recreate", row.to_recreate);
        json.Number("adjustments", row.adjustments);
      } else {
        json.Member("reason", Quoted(row.reason));
        json.Number("exit_code", row.exit_code);
      }
      json.Close('}');
      total.listeners += row.listeners;
      total.to_recreate += row.to_recreate;
      total.adjustments += row.adjustments;
    }
    json.Close(']');
    json.Key("totals").Open('{');
    json.Number("sources", summary.size());
    json.Number("converted", converted);
    json.Number("refused", summary.size() - converted);
    json.Number("listeners", total.listeners);
    json.Number("to_recreate", total.to_recreate);
    json.Number("adjustments", total.adjustments);
    json.Close('}');
    json.Close('}');
  }
  out_ << "\n}\n";
}

}  // namespace recaster::report
