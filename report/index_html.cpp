// The index page of a folder of converted servers.
#include <string>

#include "report/index.h"
#include "platform/platform.h"
#include "report/text_out.h"

namespace recaster::report {
namespace {

constexpr std::string_view kPolicy =
    "default-src 'none'; script-src 'none'; object-src 'none'; style-src 'unsafe-inline'; img-src 'none'; "
    "base-uri 'none'; form-action 'none'";

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content=")";

constexpr std::string_view kStyle = R"(">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Recaster: converted servers</title>
<style>
body { font: 14px/1.45 system-ui, "Segoe UI", Roboto, Arial, sans-serif; color: #1a1a1a; background: #fff;
       margin: 2rem auto; max-width: 75rem; padding: 0 1.5rem; }
h1 { font-size: 1.6rem; border-bottom: 2px solid #333; padding-bottom: .3rem; }
table { border-collapse: collapse; width: 100%; }
th, td { border: 1px solid #bbb; padding: .3rem .5rem; text-align: left; vertical-align: top; }
th { background: #eee; }
td.n { text-align: right; }
tr.refused td { background: #fde8e8; }
tfoot td { font-weight: bold; background: #f4f4f4; }
code { font-family: ui-monospace, "Cascadia Mono", Consolas, "DejaVu Sans Mono", monospace; font-size: .92em;
       overflow-wrap: anywhere; }
@media print { body { margin: 0; max-width: none; padding: 0; font-size: 10pt; } tr { break-inside: avoid; } }
</style>
</head>
<body>
<h1>Converted servers</h1>
<table>
<thead><tr><th>Server</th><th>Source</th><th>Outcome</th><th>Listeners</th><th>keep_days</th><th>To re-create</th><th>Files</th></tr></thead>
<tbody>
)";

void Escape(std::string_view utf8, TextOut& out) {
  std::string buffer;
  for (const char c : convert::VisibleView(utf8, false, buffer)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}

void Escape(std::u16string_view text, TextOut& out) { Escape(convert::VisibleText(text), out); }

void Link(std::u16string_view file, std::string_view label, TextOut& out) {
  out += "<a href=\"";
  out += PercentEncoded(file);
  out += "\">";
  out += label;
  out += "</a>";
}

void Number(std::size_t n, TextOut& out) {
  out += "<td class=\"n\">";
  out += std::to_string(n);
  out += "</td>";
}

}  // namespace

class IndexHtmlWriter::Impl {
 public:
  explicit Impl(convert::TextSink& sink) : out(sink) {}
  TextOut out;
};

IndexHtmlWriter::IndexHtmlWriter(convert::TextSink& sink) : impl_(std::make_unique<Impl>(sink)) {
  impl_->out += kHead;
  impl_->out += kPolicy;
  impl_->out += kStyle;
}

IndexHtmlWriter::~IndexHtmlWriter() = default;

bool IndexHtmlWriter::Row(const IndexEntry& entry) {
  TextOut& out = impl_->out;
  const JsonSummaryRow& row = *entry.row;
  out += row.converted ? "<tr>" : "<tr class=\"refused\">";
  out += "<td>";
  Escape(entry.name, out);
  out += "</td><td><code>";
  Escape(entry.source, out);
  out += "</code></td>";
  if (row.converted) {
    out += "<td>converted</td>";
    Number(row.summary.listeners, out);
    Number(row.summary.keep_days, out);
    Number(row.summary.to_recreate, out);
    out += "<td>";
    Link(entry.json, "configuration", out);
    out += " &middot; ";
    Link(entry.report_html, "report", out);
    out += " &middot; ";
    Link(entry.report_json, "JSON report", out);
    out += "</td>";
  } else {
    out += "<td>refused: ";
    Escape(row.reason, out);
    out += "</td><td></td><td></td><td></td><td></td>";
  }
  out += "</tr>\n";
  return out.ok();
}

bool IndexHtmlWriter::End(const IndexTotals& totals) {
  TextOut& out = impl_->out;
  out += "</tbody>\n<tfoot><tr><td>";
  out += std::to_string(totals.sources);
  out += totals.sources == 1 ? " server" : " servers";
  out += "</td><td></td><td>";
  out += std::to_string(totals.converted);
  out += " converted, ";
  out += std::to_string(totals.NotConverted());
  out += " refused</td>";
  Number(totals.listeners, out);
  out += "<td></td>";
  Number(totals.to_recreate, out);
  out += "<td></td></tr></tfoot>\n</table>\n</body>\n</html>\n";
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
