// File: report/fleet_view.h - what the servers of a fleet share: for every setting to re-create or
// value to check (by version 5 path), its distinct values in the report's words, each with the servers
// that hold it; the groups of servers whose whole set of settings to re-create is the same; and the
// totals. Secrets are never compared: a secret setting only counts the servers that re-enter it.
//
//   ViewSource mine = ViewOf(conversion);   // on a worker, as the source's report is made
//   view.Add(name, mine);                   // in argument order; only the words are kept
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/convert.h"
#include "report/html_page.h"

namespace recaster::report {

// What a person does about a setting of the view.
enum class ViewTask : std::uint8_t {
  kRecreate,  // re-create it by hand
  kCheck,     // a value the conversion fitted: check it
  kReenter,   // a secret to re-create: re-enter it, never shown nor compared
};

// "recreate", "check" or "re-enter".
std::string_view ViewTaskName(ViewTask task);

// One setting of one server: its version 5 path, what to do, and its value in the report's words
// (literals in double quotes; a list as its items, in order, each member in words; empty for a secret).
struct ViewSetting {
  std::string path;
  std::string words;
  ViewTask task = ViewTask::kRecreate;
};
using ViewSource = std::vector<ViewSetting>;

// The settings a converted source leaves to re-create, in document order, then its values to check.
ViewSource ViewOf(const convert::ConversionResult& conversion);

// The fleet's view, built a server at a time. Each distinct value of a setting is held once, with the
// indices of the servers that hold it.
class FleetView {
 public:
  struct Value {
    const std::string* words = nullptr;
    std::vector<std::uint32_t> servers;
  };
  struct Setting {
    std::string path;
    ViewTask task = ViewTask::kRecreate;
    std::size_t servers = 0;  // every server that has it (a secret's only figure)
    std::vector<Value> values;
    std::unordered_map<std::string, std::uint32_t> index;  // the words -> values[i]
  };

  void Add(std::u16string_view name, const ViewSource& source);

  std::span<const std::u16string> names() const { return names_; }
  // The settings in the order they were first met, each with its values, the most common first.
  std::vector<const Setting*> Settings() const;
  std::vector<Value> SortedValues(const Setting& setting) const;
  // The groups of servers with the same settings to re-create (secrets left out), largest first.
  std::vector<std::vector<std::uint32_t>> Groups() const;
  // Settings to re-create on all servers, and the distinct values to re-create (each secret once per server).
  std::size_t to_recreate() const { return to_recreate_; }
  std::size_t distinct_to_recreate() const;

 private:
  std::vector<std::u16string> names_;
  std::deque<Setting> settings_;
  std::unordered_map<std::string, std::uint32_t> by_path_;  // task and path -> settings_[i]
  std::map<std::vector<std::uint32_t>, std::vector<std::uint32_t>> groups_;  // (setting, value)... -> servers
  std::size_t to_recreate_ = 0;
};

// The view as a part of the index page: folded by setting, long lists of names folded too.
void WriteViewHtml(const FleetView& view, TextOut& out);

// The line a person reads of one setting, e.g. "EmailAlerts.Alerts: 2 values; 412 servers share one
// (re-create it once), 3 hold another: srv01, srv07, srv09"; a secret: "SMTP.Password: re-enter on 3 servers".
std::string ViewLine(const FleetView& view, const FleetView::Setting& setting);

}  // namespace recaster::report
