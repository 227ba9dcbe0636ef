// What the servers of a fleet share: collected a server at a time, rendered for the index page.
#include "report/fleet_view.h"

#include <algorithm>

#include "mapping/mapping.h"
#include "settings/setting_walk.h"
#include "words/words.h"

namespace recaster::report {
namespace {

using settings::SettingView;
using settings::VarKind;

// A names list longer than this is folded.
constexpr std::size_t kShownNames = 10;
// A setting's line names the servers of a value held by at most this many, for at most this many values.
constexpr std::size_t kNamesInLine = 5;
constexpr std::size_t kValuesInLine = 3;

// A cell as one line, its hidden characters made visible, each literal in double quotes.
void AppendCell(const words::Cell& cell, std::string& out) {
  for (const words::Span& span : cell.text) {
    if (span.literal) out += '"';
    words::AppendVisible(span.text, false, out);
    if (span.literal) out += '"';
  }
}

// A list or group as its members in order, each by its path below it and its value in words.
class MemberWords final : public settings::SettingVisitor {
 public:
  explicit MemberWords(std::size_t prefix) : prefix_(prefix) {}
  std::string words;

  void Value(const SettingView& s) override {
    words += words.empty() ? ": " : "; ";
    words += std::string_view(s.Path()).substr(std::min(prefix_, s.Path().size()));
    words += ' ';
    AppendCell(words::ValueCell(s), words);
  }
  bool Begin(const SettingView&) override { return true; }
  void End(const SettingView&) override {}

 private:
  std::size_t prefix_;
};

std::string WordsOf(const SettingView& s) {
  std::string out;
  AppendCell(words::ValueCell(s), out);
  if (s.Kind() == VarKind::kList || s.Kind() == VarKind::kGroup) {
    MemberWords members(s.Path().size());
    settings::WalkSetting(s.Setting(), s.Path(), s.Depth(), members);
    out += members.words;
  }
  return out;
}

std::string Servers(std::size_t n) { return words::Counted(n, "server", "servers"); }

std::string NameList(const FleetView& view, const std::vector<std::uint32_t>& servers) {
  std::string out;
  for (const std::uint32_t i : servers) {
    if (!out.empty()) out += ", ";
    out += words::VisibleText(view.names()[i]);
  }
  return out;
}

// The names, folded when there are many.
void WriteNames(const FleetView& view, const std::vector<std::uint32_t>& servers, TextOut& out) {
  const bool fold = servers.size() > kShownNames;
  if (fold) out += "<details><summary>" + Servers(servers.size()) + "</summary>";
  HtmlText(NameList(view, servers), out);
  if (fold) out += "</details>";
}

// A setting as an item with a box labelled by its line, then its values and their servers folded.
void WriteSetting(const FleetView& view, const FleetView::Setting& setting, std::size_t box, TextOut& out) {
  const std::string id = "shared-" + std::to_string(box);
  out += "<p class=\"item\"><input type=\"checkbox\" id=\"" + id + "\"> <label for=\"" + id + "\">";
  HtmlText(ViewLine(view, setting), out);
  out += "</label></p>\n";
  if (setting.task == ViewTask::kReenter) return;
  out += "<details><summary>Values and their servers</summary>\n";
  out += "<table>\n<thead><tr><th scope=\"col\">Value</th><th scope=\"col\">Servers</th></tr></thead>\n<tbody>\n";
  for (const FleetView::Value& value : view.SortedValues(setting)) {
    out += "<tr><td>";
    HtmlText(*value.words, out);
    out += "</td><td>";
    WriteNames(view, value.servers, out);
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n</details>\n";
}

}  // namespace

std::string_view ViewTaskName(ViewTask task) {
  switch (task) {
    case ViewTask::kRecreate:
      return "recreate";
    case ViewTask::kCheck:
      return "check";
    case ViewTask::kReenter:
      return "re-enter";
  }
  return "";
}

ViewSource ViewOf(const convert::ConversionResult& conversion) {
  ViewSource out;
  if (!conversion.ok() || conversion.document == nullptr) return out;
  const mapping::Plan& plan = conversion.plan;
  out.reserve(plan.left_behind.size() + plan.adjustments.size());
  for (const SettingView& s : plan.left_behind) {
    if (s.IsSecret()) {
      out.push_back({s.Path(), {}, ViewTask::kReenter});
    } else {
      out.push_back({s.Path(), WordsOf(s), ViewTask::kRecreate});
    }
  }
  for (const mapping::Adjustment& a : plan.adjustments) {
    out.push_back({a.path, mapping::AdjustmentText(a), ViewTask::kCheck});
  }
  return out;
}

void FleetView::Add(std::u16string_view name, const ViewSource& source) {
  const auto server = static_cast<std::uint32_t>(names_.size());
  names_.emplace_back(name);
  std::vector<std::uint32_t> signature;
  for (const ViewSetting& item : source) {
    std::string key(ViewTaskName(item.task));
    key += ' ';
    key += item.path;
    const auto [found, added] = by_path_.try_emplace(std::move(key), static_cast<std::uint32_t>(settings_.size()));
    if (added) settings_.push_back({item.path, item.task, 0, {}, {}});
    Setting& setting = settings_[found->second];
    ++setting.servers;
    if (item.task != ViewTask::kCheck) ++to_recreate_;
    if (item.task == ViewTask::kReenter) continue;  // never compared
    const auto [value, fresh] = setting.index.try_emplace(item.words, static_cast<std::uint32_t>(setting.values.size()));
    if (fresh) setting.values.push_back({&value->first, {}});
    setting.values[value->second].servers.push_back(server);
    if (item.task == ViewTask::kRecreate) {
      signature.push_back(found->second);
      signature.push_back(value->second);
    }
  }
  groups_[std::move(signature)].push_back(server);
}

std::vector<const FleetView::Setting*> FleetView::Settings() const {
  std::vector<const Setting*> out;
  for (const Setting& setting : settings_) out.push_back(&setting);
  return out;
}

std::vector<FleetView::Value> FleetView::SortedValues(const Setting& setting) const {
  std::vector<Value> values = setting.values;
  std::stable_sort(values.begin(), values.end(),
                   [](const Value& a, const Value& b) { return a.servers.size() > b.servers.size(); });
  return values;
}

std::vector<std::vector<std::uint32_t>> FleetView::Groups() const {
  std::vector<std::vector<std::uint32_t>> out;
  for (const auto& [signature, servers] : groups_) out.push_back(servers);
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return a.size() != b.size() ? a.size() > b.size() : a.front() < b.front();
  });
  return out;
}

std::size_t FleetView::distinct_to_recreate() const {
  std::size_t n = 0;
  for (const Setting& setting : settings_) {
    if (setting.task == ViewTask::kRecreate) n += setting.values.size();
    if (setting.task == ViewTask::kReenter) n += setting.servers;
  }
  return n;
}

std::string ViewLine(const FleetView& view, const FleetView::Setting& setting) {
  std::string line = setting.path + ": ";
  if (setting.task == ViewTask::kReenter) return line + "re-enter on " + Servers(setting.servers);
  const std::vector<FleetView::Value> values = view.SortedValues(setting);
  const std::string once = setting.task == ViewTask::kCheck ? " (check it once)" : " (re-create it once)";
  line += words::Counted(values.size(), "value", "values");
  const std::size_t first = values.front().servers.size();
  if (values.size() == 1) {
    return line + (first == 1 ? "; on 1 server: " + NameList(view, values.front().servers)
                              : "; " + Servers(first) + " share it" + once);
  }
  line += first == 1 ? "; 1 server holds one" : "; " + Servers(first) + " share one" + once;
  for (std::size_t i = 1; i < values.size() && i < kValuesInLine; ++i) {
    const std::vector<std::uint32_t>& servers = values[i].servers;
    line += ", " + std::to_string(servers.size()) + (servers.size() == 1 ? " holds" : " hold") + " another";
    if (servers.size() <= kNamesInLine) line += ": " + NameList(view, servers);
  }
  if (values.size() > kValuesInLine) line += ", and " + words::Counted(values.size() - kValuesInLine, "more value", "more values");
  return line;
}

void WriteViewHtml(const FleetView& view, TextOut& out) {
  out += "<h2>What the servers share</h2>\n<p>Settings to re-create on all servers: ";
  out += std::to_string(view.to_recreate());
  out += "; distinct values to re-create: ";
  out += std::to_string(view.distinct_to_recreate());
  out += " (each secret once per server).</p>\n<h3>Configurations to re-create</h3>\n<ul>\n";
  for (const std::vector<std::uint32_t>& group : view.Groups()) {
    out += "<li>";
    out += group.size() == 1 ? std::string("1 server has a configuration to re-create of its own: ")
                             : Servers(group.size()) + " share one configuration to re-create: ";
    WriteNames(view, group, out);
    out += "</li>\n";
  }
  out += "</ul>\n<h3>Settings to re-create and values to check</h3>\n";
  std::size_t box = 0;
  for (const FleetView::Setting* setting : view.Settings()) WriteSetting(view, *setting, ++box, out);
}

}  // namespace recaster::report
