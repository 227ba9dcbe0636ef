// The check of a version 6 file: one fixture per rule, each mutated from the golden conversion.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "check/check.h"
#include "check/nearest_name.h"

namespace recaster::check {
namespace {

std::string Golden() {
  std::ifstream in(RECASTER_TEST_DATA "/ov_server_settings.json", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The golden text with the first `from` replaced by `to`.
std::string Mutated(std::string_view from, std::string_view to) {
  std::string text = Golden();
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::vector<std::string> Lines(const std::string& text, bool strict = false) {
  const CheckResult result = CheckDocument(text, CheckOptions{strict});
  std::vector<std::string> lines;
  std::istringstream in(FindingLines("f.json", text, result.findings));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(Check, TheGoldenConversionIsValidWithoutAFinding) { EXPECT_TRUE(Lines(Golden()).empty()); }

TEST(Check, EachFaultGivesItsFindingsWithPointerLineAndColumn) {
  const std::string tcp_port = "\"port\": \"1601\"";
  const struct {
    std::string text;
    bool strict;
    std::vector<std::string> lines;
  } cases[] = {
      {Mutated("\"keep_gbs\": \"10000\"", "\"keep_gbs\": 10000"), false,
       {"f.json:51:21: error: /storage/keep_gbs: a number, not a string; write it as \"10000\""}},
      {Mutated(tcp_port, "\"port\": \"70000\""), false,
       {"f.json:22:25: error: /network/interfaces/2/port: \"70000\" is not a port (0 to 65535)"}},
      {Mutated("\"keep_gbs\": \"10000\",", "\"keep_gbs\": \"10000\", \"keep_gbs\": \"1\","), false,
       {"f.json:51:30: error: /storage/keep_gbs: duplicate member \"keep_gbs\"; the first is checked"}},
      {Mutated("\"folder\": \"\"", "\"folder\": \"\x01\""), false,
       {"f.json:49:20: error: a raw control character U+0001; a string holds it as \\u0001"}},
      {"\xEF\xBB\xBF" + Golden(), false, {"f.json:1:1: error: a byte-order mark: a configuration is UTF-8 without one"}},
      {Mutated("\"port\"", "\"prot\""), false,
       {"f.json:6:17: warning: /network/interfaces/0/prot: unknown member \"prot\"; did you mean \"port\"?",
        "f.json:6:17: error: /network/interfaces/0: missing member \"port\" (\"prot\" is unknown: did you mean \"port\"?)"}},
      {Mutated("\"port\"", "\"prot\""), true,
       {"f.json:6:17: error: /network/interfaces/0/prot: unknown member \"prot\"; did you mean \"port\"?",
        "f.json:6:17: error: /network/interfaces/0: missing member \"port\" (\"prot\" is unknown: did you mean \"port\"?)"}},
      {"{}", false, {"f.json:1:1: error: missing member \"network\"", "f.json:1:1: error: missing member \"storage\""}},
      {"", false, {"f.json:1:1: error: an empty document: a configuration is one JSON object"}},
      {Golden() + "{}", false, {"f.json:57:1: error: text after the JSON value: a configuration is one object"}},
      {Mutated("\"192.0.2.10\"", "\"192.0.2.300\""), false,
       {"f.json:5:25: warning: /network/interfaces/0/addr: \"192.0.2.300\" is not an IPv4 or IPv6 address"}},
      {Mutated("\"interfaces\": [", "\"interfaces\": \"\", \"x\": ["), false,
       {"f.json:3:23: warning: /network/interfaces: no listener at all: the server receives nothing",
        "f.json:3:27: warning: /network/x: unknown member \"x\""}},
      {Mutated("\"type\": \"udp\"", "\"type\": \"sctp\""), false,
       {"f.json:10:25: error: /network/interfaces/0/type: \"sctp\" is not a listener type (\"udp\" or \"tcp\")"}},
      {Mutated("\"disconnect_oldest\": \"false\"", "\"disconnect_oldest\": \"no\""), false,
       {"f.json:27:38: error: /network/interfaces/2/disconnect_oldest: \"no\" is not a boolean (\"true\" or \"false\")"}},
      {Mutated("\"folder\": \"\",\n        \"keep_days\": \"365\",", "\"keep_days\": \"365\",\n        \"folder\": \"\","), false,
       {"f.json:50:9: warning: /storage/folder: out of the order convert writes"}},
      {Mutated("\"hours_per_file\": \"24\"", "\"hours_per_file\": \"024\""), false,
       {"f.json:54:27: error: /storage/hours_per_file: \"024\" is not a number of hours (0 to 255)"}},
      {Mutated("\"folder\": \"\"", "\"folder\": \"\xC3(\""), false, {"f.json:49:20: error: byte 0xC3 starts no UTF-8 character"}},
      // A string ends at the first quote that no odd run of backslashes escapes; what follows is placed after it.
      {Mutated("\"folder\": \"\"", "\"folder\": \"\\\\\\\"\\\\\\\\\", \"x\": \"1\""), false,
       {"f.json:49:31: warning: /storage/x: unknown member \"x\""}},
      {Mutated("\"folder\": \"\"", "\"folder\": \"\u00e9\\\\\", \"x\": \"1\""), false,
       {"f.json:49:26: warning: /storage/x: unknown member \"x\""}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.text, c.strict), c.lines) << c.text.substr(0, 200);
}

// The parser's own UTF-8 check is the only one a file it takes gets: whatever the parser refuses for a
// byte that starts no character, that byte is the file's one finding, whatever came before it.
TEST(Check, AByteThatStartsNoCharacterIsTheOneFinding) {
  for (const std::string broken : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                                   "\xF5\x80\x80\x80", "\xE2\x80", "\x80", "\xFF"}) {
    const std::string expected = "error: byte 0x" + std::string(1, "0123456789ABCDEF"[(broken[0] >> 4) & 0xF]) +
                                 "0123456789ABCDEF"[broken[0] & 0xF] + " starts no UTF-8 character";
    for (const std::string& text : {Mutated("\"folder\": \"\"", "\"folder\": \"" + broken + "\""),
                                    Mutated("\"folder\": \"\"", "\"x\": \"1\", \"f" + broken + "\": \"\""),
                                    Golden() + broken}) {
      const std::vector<std::string> lines = Lines(text);
      ASSERT_EQ(lines.size(), 1u) << text.substr(0, 200);
      EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
    }
  }
  for (const char* whole : {"\xC2\x80", "\xE0\xA0\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(Lines(Mutated("\"folder\": \"\"", std::string("\"folder\": \"") + whole + "\"")).empty()) << whole;
  }
}

TEST(Check, KeepsTheFirstFindingsInFileOrderAndCountsThemAll) {
  // The missing members are found when their object closes, after the unknown member inside it.
  const CheckResult result = CheckDocument("{\"storage\": {\"x\": \"1\"}}", CheckOptions{false, 1});
  ASSERT_EQ(result.findings.size(), 1u);
  EXPECT_EQ(result.findings[0].message, "missing member \"network\"");
  EXPECT_EQ(result.errors, 7u);
  EXPECT_EQ(result.warnings, 1u);
}

TEST(Check, AddressesInTheirTextForms) {
  for (const char* address : {"0.0.0.0", "::", "::1", "2001:db8::10", "1:2:3:4:5:6:7:8", "::ffff:192.0.2.1", "fe80::",
                              "ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255"}) {
    EXPECT_TRUE(Lines(Mutated("\"192.0.2.10\"", std::string("\"") + address + "\"")).empty()) << address;
  }
  for (const char* address : {"", "localhost", "1.2.3", "01.2.3.4", "1:2:3:4:5:6:7:8:9", "1::2::3", "::g", "fe80::1%eth0"}) {
    EXPECT_EQ(Lines(Mutated("\"192.0.2.10\"", std::string("\"") + address + "\"")).size(), 1u) << address;
  }
}

TEST(NearestName, ABegunWordOrASlipOrTwoAway) {
  constexpr std::string_view names[] = {"show", "convert", "report", "check", "help"};
  EXPECT_EQ(NearestName("conv", names), "convert");
  EXPECT_EQ(NearestName("chekc", names), "check");
  EXPECT_EQ(NearestName("frobnicate", names), "");
}

}  // namespace
}  // namespace recaster::check
