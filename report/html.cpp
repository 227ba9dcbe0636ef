// The report as one self-contained HTML page: every text escaped and its hidden characters made
// visible, values from the file as code, no script and nothing fetched (the page's
// Content-Security-Policy forbids both), a print style sheet; and those pieces for the index page.
#include <algorithm>
#include <memory>
#include <string>

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
th { background: #eee; }
tr.todo td { background: #fff6d5; }
td.check { text-align: center; width: 3.5rem; font-size: 1.1rem; }
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
  .swatch, th, tr.todo td { print-color-adjust: exact; -webkit-print-color-adjust: exact; }
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

void RenderTable(const Table& table, TextOut& out) {
  out += "<table>\n<thead><tr>";
  if (table.checklist) out += "<th>To do</th>";
  for (const std::string& header : table.headers) {
    out += "<th>";
    HtmlText(header, out);
    out += "</th>";
  }
  out += "</tr></thead>\n<tbody>\n";
  for (const Row& row : table.rows) {
    out += row.to_do ? "<tr class=\"todo\">" : "<tr>";
    if (table.checklist) out += row.to_do ? "<td class=\"check\">&#9744;</td>" : "<td class=\"check\"></td>";
    for (const words::Cell& cell : row.cells) RenderCell(cell, out);
    out += "</tr>\n";
  }
  out += "</tbody>\n</table>\n";
}

void RenderBlock(const Block& block, TextOut& out) {
  if (const auto* heading = std::get_if<Heading>(&block)) {
    const std::string level = std::to_string(std::clamp(heading->level, 1, 6));
    out += "<h" + level + ">";
    Inline(heading->text, out);
    out += "</h" + level + ">\n";
  } else if (const auto* paragraph = std::get_if<Paragraph>(&block)) {
    out += "<p>";
    Inline(paragraph->text, out);
    out += "</p>\n";
  } else if (const auto* table = std::get_if<Table>(&block)) {
    RenderTable(*table, out);
  }
}

}  // namespace

namespace {

class HtmlInTurn final : public ReportPieces {
 public:
  explicit HtmlInTurn(text::TextSink& sink) : out_(sink) {}

  bool Begin(std::span<const Report> summaries) override {
    std::string title = "Migration report";
    if (summaries.size() == 1) {
      title += ": " + summaries.front().source;
    } else {
      title += "s: " + std::to_string(summaries.size()) + " sources";
    }
    BeginHtmlPage(title, out_);
    if (summaries.size() > 1) {
      out_ += "<section>\n<h1>Migration summary</h1>\n";
      RenderTable(SummaryTable(summaries), out_);
      out_ += "</section>\n";
    }
    return out_.ok();
  }
  bool Next(const Report& report) override {
    out_ += "<section>\n";
    for (const Block& block : report.blocks) RenderBlock(block, out_);
    out_ += "</section>\n";
    return out_.ok();
  }
  bool End() override {
    EndHtmlPage(out_);
    return out_.Finish();
  }

 private:
  TextOut out_;
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
