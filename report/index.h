// File: report/index.h - the index page of a folder of converted servers: one row per server with its
// outcome and figures (settings to re-create, values to check) and links to its files, then the totals;
// written as it is made.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "mapping/summary.h"
#include "report/report.h"

namespace recaster::report {
class FleetView;
}

namespace recaster::report {

// One server of the index: its summary row (its outcome and figures), its NAME, its source's absolute
// path, and the names of its files beside the index (empty for a source that made none).
struct IndexEntry {
  const JsonSummaryRow* row = nullptr;
  std::u16string_view name;
  std::u16string_view source;
  std::u16string_view json;
  std::u16string_view report_html;
  std::u16string_view report_json;
};

// The totals under the index's rows; its sources not written count as refused there.
using IndexTotals = mapping::Totals;

// The index as one self-contained HTML page (no script, nothing fetched, every text escaped and its
// hidden characters made visible, each link percent-encoded), written to `sink` in pieces: the head at
// construction, a row per Row, the totals, what the servers share (`view`, when given) and the end at
// End. Each returns false once the sink refused.
class IndexHtmlWriter {
 public:
  explicit IndexHtmlWriter(text::TextSink& sink);
  ~IndexHtmlWriter();
  bool Row(const IndexEntry& entry);
  bool End(const IndexTotals& totals, const FleetView* view = nullptr);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// A file name as a relative link: every byte of its name on the system (UTF-8) but A-Z a-z 0-9 - . _ ~ as %XX.
std::string PercentEncoded(std::u16string_view name);

}  // namespace recaster::report
