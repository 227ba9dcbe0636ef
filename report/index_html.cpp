// The index page of a folder of converted servers.
#include <string>

#include "report/index.h"
#include "platform/platform.h"
#include "report/fleet_view.h"
#include "report/html_page.h"
#include "report/text_out.h"

namespace recaster::report {
namespace {

constexpr std::string_view kTable = R"(<h1>Converted servers</h1>
<p>A server with anything to finish by hand has a box; ticks in the boxes are not saved: they are gone when the page is closed.</p>
<table>
<thead><tr><th scope="col">Done</th><th scope="col">Server</th><th scope="col">Source</th><th scope="col">Outcome</th><th scope="col">Listeners</th><th scope="col">keep_days</th><th scope="col">To re-create</th><th scope="col">To check</th><th scope="col">Files</th></tr></thead>
<tbody>
)";

// The text made visible and escaped.
void Escape(std::u16string_view text, TextOut& out) { HtmlText(words::VisibleText(text), out); }

void Link(std::u16string_view file, std::string_view label, TextOut& out) {
  out += "<a href=\"";
  out += PercentEncoded(file);
  out += "\">";
  out += label;
  out += "</a>";
}

// A number in a cell of a row, or of the totals.
void Number(std::size_t n, TextOut& out) {
  out += "<td>";
  out += std::to_string(n);
  out += "</td>";
}

}  // namespace

class IndexHtmlWriter::Impl {
 public:
  explicit Impl(text::TextSink& sink) : out(sink) {}
  TextOut out;
  std::size_t boxes = 0;
};

IndexHtmlWriter::IndexHtmlWriter(text::TextSink& sink) : impl_(std::make_unique<Impl>(sink)) {
  BeginHtmlPage("Recaster: converted servers", impl_->out);
  impl_->out += kTable;
}

IndexHtmlWriter::~IndexHtmlWriter() = default;

// A refused source's row is marked as one the person must see to, as the report marks its rows to do;
// a server with anything to finish by hand (or refused) has a box, labelled by its NAME.
bool IndexHtmlWriter::Row(const IndexEntry& entry) {
  TextOut& out = impl_->out;
  const JsonSummaryRow& row = *entry.row;
  out += row.converted ? "<tr>" : "<tr class=\"todo\">";
  if (row.converted && row.summary.to_recreate == 0 && row.summary.adjustments == 0) {
    out += "<td class=\"check\"></td><td>";
    Escape(entry.name, out);
  } else {
    const std::string id = "server-" + std::to_string(++impl_->boxes);
    out += "<td class=\"check\"><input type=\"checkbox\" id=\"" + id + "\"></td><td><label for=\"" + id + "\">";
    Escape(entry.name, out);
    out += "</label>";
  }
  out += "</td><td><code>";
  Escape(entry.source, out);
  out += "</code></td>";
  if (row.converted) {
    out += "<td>converted</td>";
    Number(row.summary.listeners, out);
    Number(row.summary.keep_days, out);
    Number(row.summary.to_recreate, out);
    Number(row.summary.adjustments, out);
    out += "<td>";
    Link(entry.json, "configuration", out);
    out += " &middot; ";
    Link(entry.report_html, "report", out);
    out += " &middot; ";
    Link(entry.report_json, "JSON report", out);
    out += "</td>";
  } else {
    out += "<td>refused: ";
    HtmlText(row.reason, out);
    out += "</td><td></td><td></td><td></td><td></td><td></td>";
  }
  out += "</tr>\n";
  return out.ok();
}

// The totals' row is headed by the number of servers, and set apart from the rows by the style sheet.
bool IndexHtmlWriter::End(const IndexTotals& totals, const FleetView* view) {
  TextOut& out = impl_->out;
  out += "</tbody>\n<tfoot><tr><td></td><th scope=\"row\">";
  out += std::to_string(totals.sources);
  out += totals.sources == 1 ? " server" : " servers";
  out += "</th><td></td><td>";
  out += std::to_string(totals.converted);
  out += " converted, ";
  out += std::to_string(totals.NotConverted());
  out += " refused</td>";
  Number(totals.listeners, out);
  out += "<td></td>";
  Number(totals.to_recreate, out);
  Number(totals.adjustments, out);
  out += "<td></td></tr></tfoot>\n</table>\n";
  if (view != nullptr) WriteViewHtml(*view, out);
  EndHtmlPage(out);
  return out.Finish();
}

std::string PercentEncoded(std::u16string_view name) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : platform::PathToNative(name)) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.' || byte == '_' || byte == '~';
    if (plain) {
      encoded += c;
    } else {
      encoded += {'%', kDigits[byte >> 4], kDigits[byte & 0xF]};
    }
  }
  return encoded;
}

}  // namespace recaster::report
