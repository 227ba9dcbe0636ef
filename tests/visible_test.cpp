// Runs of hidden characters made visible: each character as its own form, whatever follows it.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "words/words.h"

namespace recaster::words {
namespace {

struct RunCase {
  const char* name;
  std::string utf8;
  bool keep_lines;
  std::string visible;
};

void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }

std::string Repeated(const std::string& piece, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += piece;
  return out;
}

class VisibleRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(VisibleRun, IsEachCharacterAsItsForm) {
  std::string out = "x";
  AppendVisible(GetParam().utf8, GetParam().keep_lines, out);
  EXPECT_EQ(out, "x" + GetParam().visible);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, VisibleRun,
    ::testing::Values(
        RunCase{"Mixed", "a\u202E\u200B\u0085\x7F\xFF\x01" "b", false,
                "a<U+202E><U+200B>\uFFFD\u2421\uFFFD\u2401b"},
        RunCase{"CrLfInARunKeepsTheLineFeed", "\u202E\r\n\u2066\r\u2069", true, "<U+202E>\n<U+2066>\u240D<U+2069>"},
        RunCase{"TabEndsTheRunWhenLinesAreKept", "\u202E\t\u202E", true, "<U+202E>\t<U+202E>"},
        RunCase{"CutCharacterAtTheEnd", "\u202E\xE2\x80", false, "<U+202E>\uFFFD\uFFFD"},
        RunCase{"LongerThanOnePiece", Repeated("\u202E\u200F", 5000) + "z", false,
                Repeated("<U+202E><U+200F>", 5000) + "z"},
        RunCase{"LongerThanOnePieceOfForms", Repeated("\u202E", 9000) + "\r\n", true,
                Repeated("<U+202E>", 9000) + "\n"}),
    [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace recaster::words
