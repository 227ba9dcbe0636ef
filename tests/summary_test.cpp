// The totals of many sources, and the index page: the report's own head and style sheet, every text
// escaped and every link encoded, and the totals under its rows.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "mapping/summary.h"
#include "report/index.h"
#include "report/report.h"
#include "report/text_out.h"

namespace recaster::report {
namespace {

TEST(Totals, OnlyConvertedSourcesAddTheirFigures) {
  // A source whose files could not be written keeps the figures of its plan; they are not counted.
  const mapping::Summary figures{4, 365, 47, 1};
  mapping::Totals totals;
  for (const int code : {0, 1, 2, 3, 0}) totals.Add(code, figures);
  EXPECT_EQ(totals.sources, 5u);
  EXPECT_EQ(totals.converted, 2u);
  EXPECT_EQ(totals.write_failed, 1u);
  EXPECT_EQ(totals.refused, 2u);
  EXPECT_EQ(totals.NotConverted(), 3u);
  EXPECT_EQ(totals.listeners, 8u);
  EXPECT_EQ(totals.to_recreate, 94u);
  EXPECT_EQ(totals.adjustments, 2u);
}

TEST(JsonReport, SummaryTotalsCountASourceNotWrittenAsRefused) {
  std::ostringstream out;
  JsonReportWriter writer(out, "0.0");
  const JsonSummaryRow rows[] = {{u"a.cfg", true, "", 0, {4, 365, 47, 1}},
                                 {u"b.cfg", false, "disk full", 1, {}},
                                 {u"c.cfg", false, "no such file", 2, {}}};
  writer.End(rows);
  EXPECT_NE(out.str().find("\"totals\": {\n      \"sources\": 3,\n      \"converted\": 1,\n      \"refused\": 2,\n"
                           "      \"listeners\": 4,\n      \"to_recreate\": 47,\n      \"adjustments\": 1\n    }"),
            std::string::npos)
      << out.str();
}

// The index of one converted source with hostile names and one source not written.
std::string IndexPage() {
  text::StringSink sink;
  IndexHtmlWriter writer(sink);
  const JsonSummaryRow converted{u"x", true, "", 0, {4, 365, 47, 1}};
  const JsonSummaryRow failed{u"y", false, "<b>disk</b> & 'full'", 1, {}};
  EXPECT_TRUE(writer.Row({&converted, u"a<b>&\"x\u202E", u"/srv/</code><script>", u"a b&.json", u"\u00E9.report.html",
                          u"a#.report.json"}));
  EXPECT_TRUE(writer.Row({&failed, u"y", u"/srv/y.cfg", u"", u"", u""}));
  mapping::Totals totals;
  totals.Add(0, converted.summary);
  totals.Add(1, failed.summary);
  EXPECT_TRUE(writer.End(totals));
  return sink.text;
}

TEST(IndexPage, EveryTextIsEscapedAndEveryLinkEncoded) {
  const std::string page = IndexPage();
  for (const char* expected : {
           "<td class=\"check\"><input type=\"checkbox\" id=\"server-1\"></td><td><label for=\"server-1\">"
           "a&lt;b&gt;&amp;&quot;x&lt;U+202E&gt;</label></td>",
           "<td><code>/srv/&lt;/code&gt;&lt;script&gt;</code></td>",
           "<td>converted</td><td>4</td><td>365</td><td>47</td>",
           "<a href=\"a%20b%26.json\">configuration</a>",
           "<a href=\"%C3%A9.report.html\">report</a>",
           "<a href=\"a%23.report.json\">JSON report</a>",
           "<td>refused: &lt;b&gt;disk&lt;/b&gt; &amp; &#39;full&#39;</td>",
           "<tfoot><tr><td></td><th scope=\"row\">2 servers</th><td></td><td>1 converted, 1 refused</td><td>4</td><td></td>"
           "<td>47</td>",
       }) {
    EXPECT_NE(page.find(expected), std::string::npos) << expected << "\n" << page;
  }
}

TEST(IndexPage, HasTheReportsPolicyAndStyleSheet) {
  const std::string page = IndexPage();
  const Report report = UnreadReport(u"gone.cfg", "no such file");
  const std::string html = ToHtml({&report, 1});
  EXPECT_EQ(page.substr(0, page.find("<title>")), html.substr(0, html.find("<title>")));
  const auto sheet = [](const std::string& text) {
    return text.substr(text.find("<style>"), text.find("</style>") - text.find("<style>"));
  };
  EXPECT_EQ(sheet(page), sheet(html));
}

}  // namespace
}  // namespace recaster::report
