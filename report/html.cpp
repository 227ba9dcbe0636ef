// The report as one self-contained HTML page: every text escaped and its hidden characters made
// visible, values from the file as code, no script and nothing fetched (the page's
// Content-Security-Policy forbids both), a print style sheet; and those pieces for the index page.
#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "report/html_page.h"
#include "report/report.h"
#include "report/text_out.h"
#include "text/html.h"

namespace recaster::report {
namespace {

// Styles come only from the page itself; nothing else may load or run.
constexpr std::string_view kPolicy =
    "default-src 'none'; script-src 'none'; object-src 'none'; style-src 'unsafe-inline'; img-src 'none'; "
    "base-uri 'none'; form-action 'none'";

constexpr std::string_view kStyle = R"(
:root { color-scheme: light; }
body { font: 14px/1.45 system-ui, "Segoe UI", Roboto, Arial, sans-serif; color: #1a1a1a; background: #fff;
       margin: 2rem auto; max-width: 75rem; padding: 0 1.5rem; }
h1 { font-size: 1.6rem; border-bottom: 2px solid #333; padding-bottom: .3rem; }
h2 { font-size: 1.3rem; margin-top: 2rem; border-bottom: 1px solid #999; }
h3 { font-size: 1.1rem; margin: 1.5rem 0 .4rem; }
h4 { font-size: 1rem; margin: 1.2rem 0 .4rem; color: #333; }
summary { min-height: 24px; }
table { border-collapse: collapse; width: 100%; margin: .4rem 0 1rem; }
th, td { border: 1px solid #bbb; padding: .3rem .5rem; text-align: left; vertical-align: top; }
th, tfoot td { background: #eee; }
tfoot td { font-weight: bold; }
tr.todo td { background: #fff6d5; }
td.check { text-align: center; width: 3.5rem; }
p.item { margin: .3rem 0 0; }
p.item + details { margin: .1rem 0 .5rem 1.6rem; }
p.item input, td.check input { width: 1.1rem; height: 1.1rem; margin: 0; vertical-align: middle; }
label { cursor: pointer; }
tr.todo:has(input:checked) td { background: #e3f4e3; }
nav ul ul { columns: 15rem; margin: .2rem 0 .6rem; }
nav a { display: inline-block; min-height: 24px; line-height: 24px; }
details { margin: .4rem 0 1rem; }
summary { cursor: pointer; color: #333; }
code, pre { font-family: ui-monospace, "Cascadia Mono", Consolas, "DejaVu Sans Mono", monospace; font-size: .92em; }
code { background: #f2f2f2; padding: 0 .2em; border-radius: 3px; overflow-wrap: break-word; }
pre { white-space: pre-wrap; overflow-wrap: anywhere; margin: 0; background: #f7f7f7; padding: .3rem; }
.swatch { display: inline-block; width: 1.1em; height: 1.1em; border: 1px solid #555; vertical-align: -.2em;
          margin-right: .4em; }
@media print {
  body { margin: 0; max-width: none; padding: 0; font-size: 10pt; }
  h1, h2, h3, h4 { break-after: avoid; }
  tr { break-inside: avoid; }
  thead { display: table-header-group; }
  section + section { break-before: page; }
  .swatch, th, tfoot td, tr.todo td, input { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
}
)";

}  // namespace

void HtmlText(std::string_view text, TextOut& out, bool block) {
  std::string escaped;
  ForTextPieces(text, [&out, &escaped, block](std::string_view piece) {
    escaped.clear();
    words::AppendVisible(piece, block, text::AppendEscapedHtml, escaped);
    out += escaped;
  });
}

void BeginHtmlPage(std::string_view title, TextOut& out) {
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  out += "<meta http-equiv=\"Content-Security-Policy\" content=\"" + std::string(kPolicy) + "\">\n";
  out += "<meta name=\"referrer\" content=\"no-referrer\">\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>";
  HtmlText(title, out);
  out += "</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
}

void EndHtmlPage(TextOut& out) { out += "</body>\n</html>\n"; }

namespace {

void Inline(const words::Text& text, TextOut& out) {
  for (const words::Span& span : text) {
    if (span.literal) out += "<code>";
    HtmlText(span.text, out);
    if (span.literal) out += "</code>";
  }
}

void RenderCell(const words::Cell& cell, TextOut& out) {
  out += "<td>";
  if (cell.colour) out += "<span class=\"swatch\" style=\"background:" + words::HexColour(*cell.colour & 0xFFFFFFu) + "\"></span>";
  if (cell.block) {
    out += "<pre>\n";  // a browser drops one line feed right after <pre>; the text's own first one stays
    for (const words::Span& span : cell.text) HtmlText(span.text, out, true);
    out += "</pre>";
  } else {
    Inline(cell.text, out);
  }
  out += "</td>";
}

// The page being written: its text, the number of its boxes so far and the anchors it has given.
struct Page {
  explicit Page(text::TextSink& sink) : out(sink) {}
  TextOut out;
  std::size_t boxes = 0;
  std::set<std::string> anchors;
};

void RenderHead(const Table& table, bool box, TextOut& out) {
  out += "<table>\n<thead><tr>";
  if (box) out += "<th scope=\"col\">Done</th>";
  for (const std::string& header : table.headers) {
    out += "<th scope=\"col\">";
    HtmlText(header, out);
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
}

// The rows of `table` that are to do (`to_do`) or the others, with a box per row to do whose label is
// the row's first cell (the setting's path); the boxes' ids are the page's count of boxes.
void RenderRows(const Table& table, bool to_do, Page& page) {
  TextOut& out = page.out;
  RenderHead(table, to_do, out);
  for (const Row& row : table.rows) {
    if (row.to_do != to_do) continue;
    if (!to_do) {
      out += "<tr>";
    } else {
      const std::string id = "item-" + std::to_string(++page.boxes);
      out += "<tr class=\"todo\"><td class=\"check\"><input type=\"checkbox\" id=\"" + id + "\"></td>";
      out += "<td><label for=\"" + id + "\">";
      if (!row.cells.empty()) Inline(row.cells.front().text, out);
      out += "</label></td>";
    }
    for (std::size_t i = to_do ? 1 : 0; i < row.cells.size(); ++i) RenderCell(row.cells[i], out);
    out += "</tr>\n";
  }
  out += "</tbody>\n</table>\n";
}

// A checklist: its items, each with a box, then the settings at their defaults folded.
void RenderTable(const Table& table, Page& page) {
  if (!table.checklist) return RenderRows(table, false, page);
  const auto items = static_cast<std::size_t>(
      std::count_if(table.rows.begin(), table.rows.end(), [](const Row& row) { return row.to_do; }));
  if (items != 0) RenderRows(table, true, page);
  if (items == table.rows.size()) return;
  page.out += "<details><summary>" +
              words::Counted(table.rows.size() - items, "setting at its default", "settings at their defaults") +
              "</summary>\n";
  RenderRows(table, false, page);
  page.out += "</details>\n";
}

// A heading's anchor: "group-" and the words of its text (never a value from the file), lower case,
// every other character a hyphen; made unique on the page with a number after it.
std::string Anchor(const Heading& heading, std::set<std::string>& anchors) {
  std::string id = "group-";
  for (const words::Span& span : heading.text) {
    if (span.literal) continue;
    for (const char c : span.text) {
      const bool plain = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
      if (plain || lower != c) {
        id += lower;
      } else if (id.back() != '-') {
        id += '-';
      }
    }
  }
  if (id.back() == '-') id.pop_back();
  if (id == "group") id += "-part";
  std::string unique = id;
  for (int n = 2; !anchors.insert(unique).second; ++n) unique = id + "-" + std::to_string(n);
  return unique;
}

bool HasAnchor(const Block& block) {
  const auto* heading = std::get_if<Heading>(&block);
  return heading != nullptr && (heading->level == 2 || heading->level == 3);
}

// The contents of a report: a link to each part and to each group under it, and what the boxes keep.
void RenderContents(const Report& report, const std::vector<std::string>& anchors, TextOut& out) {
  out += "<nav aria-label=\"Contents\">\n<p>Contents</p>\n<ul>\n";
  bool part = false;    // a part's item is open
  bool groups = false;  // the list of its groups is open
  for (std::size_t i = 0; i < report.blocks.size(); ++i) {
    if (anchors[i].empty()) continue;
    const Heading& heading = std::get<Heading>(report.blocks[i]);
    if (heading.level == 2) {
      out += groups ? "</ul>" : "";
      out += part ? "</li>\n" : "";
      groups = false;
      part = true;
    } else if (!groups) {
      out += "\n<ul>\n";
      groups = true;
    }
    out += "<li><a href=\"#" + anchors[i] + "\">";
    Inline(heading.text, out);
    out += heading.level == 2 ? "</a>" : "</a></li>\n";
  }
  out += groups ? "</ul>" : "";
  out += part ? "</li>\n" : "";
  out += "</ul>\n</nav>\n<p>Ticks in the boxes are not saved: they are gone when the page is closed.</p>\n";
}

void RenderBlock(const Block& block, const std::string& anchor, Page& page) {
  TextOut& out = page.out;
  if (const auto* heading = std::get_if<Heading>(&block)) {
    const std::string level = std::to_string(std::clamp(heading->level, 1, 6));
    out += "<h" + level + (anchor.empty() ? ">" : " id=\"" + anchor + "\">");
    Inline(heading->text, out);
    out += "</h" + level + ">\n";
  } else if (const auto* paragraph = std::get_if<Paragraph>(&block)) {
    out += "<p>";
    Inline(paragraph->text, out);
    out += "</p>\n";
  } else if (const auto* table = std::get_if<Table>(&block)) {
    RenderTable(*table, page);
  }
}

}  // namespace

namespace {

class HtmlInTurn final : public ReportPieces {
 public:
  explicit HtmlInTurn(text::TextSink& sink) : page_(sink) {}

  bool Begin(std::span<const Report> summaries) override {
    std::string title = "Migration report";
    if (summaries.size() == 1) {
      title += ": " + summaries.front().source;
    } else {
      title += "s: " + std::to_string(summaries.size()) + " sources";
    }
    BeginHtmlPage(title, page_.out);
    if (summaries.size() > 1) {
      page_.out += "<section>\n<h1>Migration summary</h1>\n";
      RenderTable(SummaryTable(summaries), page_);
      page_.out += "</section>\n";
    }
    return page_.out.ok();
  }
  // The contents come before the report's first part.
  bool Next(const Report& report) override {
    std::vector<std::string> anchors(report.blocks.size());
    for (std::size_t i = 0; i < report.blocks.size(); ++i) {
      if (HasAnchor(report.blocks[i])) anchors[i] = Anchor(std::get<Heading>(report.blocks[i]), page_.anchors);
    }
    const auto first_part = std::find_if(anchors.begin(), anchors.end(), [](const std::string& a) { return !a.empty(); });
    page_.out += "<section>\n";
    for (std::size_t i = 0; i < report.blocks.size(); ++i) {
      if (anchors.begin() + static_cast<std::ptrdiff_t>(i) == first_part) RenderContents(report, anchors, page_.out);
      RenderBlock(report.blocks[i], anchors[i], page_);
    }
    page_.out += "</section>\n";
    return page_.out.ok();
  }
  bool End() override {
    EndHtmlPage(page_.out);
    return page_.out.Finish();
  }

 private:
  Page page_;
};

}  // namespace

std::unique_ptr<ReportPieces> HtmlPieces(text::TextSink& sink) { return std::make_unique<HtmlInTurn>(sink); }

std::string ToHtml(std::span<const Report> reports) {
  text::StringSink sink;
  HtmlInTurn pieces(sink);
  pieces.Begin(reports);
  for (const Report& report : reports) pieces.Next(report);
  pieces.End();
  return std::move(sink.text);
}

}  // namespace recaster::report
