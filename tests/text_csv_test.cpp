// The CSV cell escaper: quoting and the formula guard.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "text/csv.h"

namespace recaster::text {
namespace {

TEST(AppendCsvCell, QuotesWhatNeedsItAndGuardsFormulas) {
  const struct {
    std::string_view text;
    std::string_view cell;
  } cases[] = {
      {"", ""},
      {"plain words", "plain words"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"one\ntwo", "\"one\r\ntwo\""},
      {"one\r\ntwo", "\"one\r\ntwo\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "'+1"},
      {"-5", "'-5"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"a=b", "a=b"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},
  };
  for (const auto& c : cases) {
    std::string out = "x,";
    AppendCsvCell(c.text, out);
    EXPECT_EQ(out, "x," + std::string(c.cell)) << c.text;
  }
}

}  // namespace
}  // namespace recaster::text
