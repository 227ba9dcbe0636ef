// File: report/report.h - the migration report of a conversion: what version 6 takes over and every
// setting left to re-create by hand, with its value, its default and its filters in words; built from
// the settings walk and rendered as Markdown text or as one self-contained HTML page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "convert/convert.h"
#include "mapping/summary.h"
#include "words/words.h"
#include "xml/message_filter.h"

namespace recaster::settings {
class COVSettings;
}

namespace recaster::mapping {
struct Adjustment;
}

namespace recaster::report {

// One table row; `to_do` marks one of the settings to re-create by hand.
struct Row {
  std::vector<words::Cell> cells;
  bool to_do = false;
};

// How a checklist's row to do reads as one item: "PATH: VALUE (default DEFAULT)" for a setting to
// re-create, "PATH: WHAT WAS DONE; WHAT TO DO" for a value to check.
enum class ItemForm { kValueAndDefault, kDoneAndToDo };

// A table; in a checklist, each row to do is an item with a box to tick (its first cell, the setting's
// path, names it), and the other rows are the settings at their defaults.
struct Table {
  std::vector<std::string> headers;
  std::vector<Row> rows;
  bool checklist = false;
  ItemForm item_form = ItemForm::kValueAndDefault;
};

// A heading: 1 for a report's title, 2 for its parts, 3 for a group, 4 for a list item.
struct Heading {
  int level = 1;
  words::Text text;
};

struct Paragraph {
  words::Text text;
};

using Block = std::variant<Heading, Paragraph, Table>;

// The report of one source.
struct Report {
  std::string source;  // the source as the person named it (UTF-8, hidden characters made visible)
  bool loaded = false;
  std::string problem;               // why the source was not converted; empty when loaded
  mapping::Summary summary;          // the plan's figures (mapping::Summarize); all 0 when not loaded
  std::vector<Block> blocks;

  // True when the person has anything to finish by hand: a setting to re-create or a value to check.
  bool LeavesAnythingBehind() const { return summary.to_recreate != 0 || summary.adjustments != 0; }
};

// The report of a loaded document and the mapping's plan of it (mapping::MakePlan): the listeners
// and storage it carries over, its adjustments (each an item to check), and every setting it leaves behind. Renders the plan's
// decisions and makes none: what is carried, the rows to do and their count (plan.RecreateCount(), a
// list counting once) are the plan's.
Report BuildReport(const settings::COVSettings& document, const mapping::Plan& plan, std::u16string_view source);

// What a person does about an adjustment: "check the retention you want" for the retention, "check the
// value you want" for a value fitted into its field. Every adjustment is an item to check.
std::string_view WhatToCheck(const mapping::Adjustment& adjustment);

// The report of a conversion; a conversion that did not load gives UnreadReport with the loader's reason.
Report BuildReport(const convert::ConversionResult& conversion, std::u16string_view source);

// The report of a source that was not converted, saying why.
Report UnreadReport(std::u16string_view source, std::string problem);

// The summary of several reports: one row per source with whether it was converted (or why not), its
// listeners, its keep_days, the number of settings to re-create and the number of values to check.
Table SummaryTable(std::span<const Report> reports);

// The reports as Markdown text; with more than one, a summary table (one row per source) comes first.
std::string ToMarkdown(std::span<const Report> reports);

// The reports as one HTML page: no script, no external resource (a Content-Security-Policy forbids
// both), print-friendly, every text escaped; with more than one, the summary table comes first.
std::string ToHtml(std::span<const Report> reports);

// Several reports rendered one at a time, so that only one of them need exist at once, and written to
// a sink as they are made, in pieces of 64 KiB or more (the last shorter), so that no report's text
// exists whole: Begin with the reports of every source stripped of their blocks (all that the summary
// and the page's title read), then Next with each whole report in the same order, then End. The text
// written is ToMarkdown (or ToHtml) of the whole reports. Each returns false once the sink refused a
// piece; nothing more is offered to it then.
class ReportPieces {
 public:
  virtual ~ReportPieces() = default;
  virtual bool Begin(std::span<const Report> summaries) = 0;
  virtual bool Next(const Report& report) = 0;
  virtual bool End() = 0;
};

// The pieces of ToMarkdown, written to `sink` (which must outlive them).
std::unique_ptr<ReportPieces> MarkdownPieces(text::TextSink& sink);
// The pieces of ToHtml, written to `sink` (which must outlive them).
std::unique_ptr<ReportPieces> HtmlPieces(text::TextSink& sink);

// The file the dialog program writes the report to: the destination with its extension (if any)
// replaced by ".report.html".
std::u16string ReportPathBeside(std::u16string_view destination);

// The second paragraph of the dialog program's success message, for a report that leaves anything
// behind: how many settings must be re-created and how many adjusted values are to check, then where the
// report is, or, when `not_written` gives a reason, that it could not be written and why.
std::string LeftBehindMessage(const Report& report, std::u16string_view report_path, std::string_view not_written);

}  // namespace recaster::report

#include <iosfwd>  // the JSON report's stream

namespace recaster::report {

class FleetView;

// ---- the JSON report ----

// The files a converted source made beside the index: its NAME and the names of
// its version 6 file and of its two reports.
struct JsonOutputs {
  std::u16string_view name;
  std::u16string_view json;
  std::u16string_view report_html;
  std::u16string_view report_json;
};

// One source of the JSON report: its path as typed and as an absolute path, and its conversion (loaded),
// or, when it was refused, why and the exit code it earned.
struct JsonSource {
  std::u16string_view path;
  std::u16string_view absolute_path;
  const convert::ConversionResult* conversion = nullptr;  // null: refused
  std::string_view reason;                               // UTF-8, when refused
  int exit_code = 0;                                     // when refused
  const JsonOutputs* outputs = nullptr;                  // when not null and converted: an "outputs" member
};

// What the summary keeps of one source: its outcome, and the plan's figures when it was converted.
struct JsonSummaryRow {
  std::u16string path;
  bool converted = false;
  std::string reason;
  int exit_code = 0;
  mapping::Summary summary;  // all 0 when refused

  // The source's outcome code: 0 when converted, else its exit code.
  int code() const { return converted ? 0 : exit_code; }
};

// The JSON report's format_version: 1.1 added the sources' "outputs" (the index), 1.2 each source's
// "to_check" and each adjustment's "to_do", 1.3 the index's "view" (what the servers share).
inline constexpr std::string_view kJsonFormatVersion = "1.3";

// The JSON report (format_version kJsonFormatVersion), written to `out` as it is made: the head when
// constructed, each source as Source is called, then End. UTF-8, two-blank indentation, every hidden character
// (words::IsHiddenCharacter) and every lone surrogate a "\u" escape; secrets never appear.
class JsonReportWriter {
 public:
  JsonReportWriter(std::ostream& out, std::string_view program_version);
  // Writes one source and returns its summary row.
  JsonSummaryRow Source(const JsonSource& source);
  // Closes the sources; with `summary` not empty, writes a summary (its rows and their totals) after them,
  // then, when given, the fleet's `view` (what the servers share).
  void End(std::span<const JsonSummaryRow> summary, const FleetView* view = nullptr);

 private:
  std::ostream& out_;
  bool first_source_ = true;
};

}  // namespace recaster::report

namespace recaster::report {

// ---- the CSV table ----

// The status of a row for a value adjusted to fit version 6: the report's "To check".
inline constexpr std::string_view kCsvCheck = "check";

// The header row of the CSV table (server, source, group, setting, value, default, status), CR LF ended.
std::string CsvHeader();

// Appends one converted source's rows: one per adjustment ("check", in the order of the report's To
// check part), then one per setting to re-create ("recreate", a list as one row whose value holds its
// items, one a line), each with the server's NAME, the source as given, the setting's group and path,
// its value and default in the report's words (secrets masked as every reader masks them). UTF-8,
// RFC 4180 quoting and CR LF line ends; no cell reads as a formula (text::AppendCsvCell).
void AppendCsvRows(std::u16string_view server, std::u16string_view source, const settings::COVSettings& document,
                   const mapping::Plan& plan, std::string& out);

}  // namespace recaster::report
