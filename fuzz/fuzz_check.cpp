// Fuzz target: any bytes through the check of a version 6 file and the comparison of --verify. Every
// input must keep the check's rules:
// - a document Boost.JSON does not parse is never valid;
// - the findings kept are within the file, in its order, and no more than those counted;
// - a byte that starts no UTF-8 character is the file's one finding (beside a byte-order mark);
// - in each object the check shows as it closes, every key starts at a quote and every value at the
//   first byte of its kind, and a string's text is well-formed UTF-8, a view of the file's own bytes
//   or a text of its own;
// - the comparison with a plan gives a verdict without fault, and passes only a file the check passes.
// Built with RECASTER_FUZZ_LINKMAIN it is a plain program that replays the files and folders given on
// its command line.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include <boost/json/parse.hpp>

#include "check/check.h"
#include "check/rules.h"
#include "convert/verify.h"
#include "mapping/mapping.h"
#include "settings/ov_settings.h"
#include "text/utf8.h"

namespace {

namespace check = recaster::check;

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const recaster::text::Decoded c = recaster::text::DecodeUtf8(text, i);
    if (c.broken) return false;
    i += c.length;
  }
  return true;
}

// Whether the value starts where its offset says: a quote, a bracket, a digit or sign, a literal.
bool StartsAt(const check::Value& value, std::string_view bytes) {
  if (value.offset >= bytes.size()) return false;
  const char c = bytes[value.offset];
  switch (value.kind) {
    case check::Kind::kString: return c == '"';
    case check::Kind::kObject: return c == '{';
    case check::Kind::kArray: return c == '[';
    case check::Kind::kNumber: return c == '-' || (c >= '0' && c <= '9');
    case check::Kind::kBool: return c == (value.text() == "true" ? 't' : 'f');
    case check::Kind::kNull: return c == 'n';
  }
  return false;
}

class Inspector final : public check::ObjectVisitor {
 public:
  explicit Inspector(std::string_view bytes) : bytes_(bytes) {}

  void Closed(check::Shape, const std::string&, const std::vector<check::Member>& members) override {
    const std::less<const char*> before;
    for (const check::Member& member : members) {
      if (member.key_offset >= bytes_.size() || bytes_[member.key_offset] != '"') __builtin_trap();
      if (!StartsAt(member.value, bytes_)) __builtin_trap();
      const std::string_view view = member.value.in_document;
      if (!view.empty() && (before(view.data(), bytes_.data()) || before(bytes_.data() + bytes_.size(), view.data() + view.size()))) {
        __builtin_trap();
      }
      if (member.value.kind == check::Kind::kString && !IsUtf8(member.value.text())) __builtin_trap();
    }
  }

 private:
  std::string_view bytes_;
};

const recaster::mapping::Plan& DefaultPlan() {
  static const recaster::mapping::Plan plan = recaster::mapping::MakePlan(recaster::settings::COVSettings{});
  return plan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Inspector inspector(bytes);
  check::CheckOptions options;
  options.visitor = &inspector;
  const check::CheckResult result = check::CheckDocument(bytes, options);

  if (result.findings.size() > result.errors + result.warnings) __builtin_trap();
  for (std::size_t i = 0; i < result.findings.size(); ++i) {
    if (result.findings[i].offset > size) __builtin_trap();
    if (i > 0 && result.findings[i].offset < result.findings[i - 1].offset) __builtin_trap();
  }
  if (result.valid()) {
    boost::system::error_code error;
    static_cast<void>(boost::json::parse(bytes, error));
    if (error) __builtin_trap();
  }
  const bool mark = bytes.starts_with("\xEF\xBB\xBF");
  if (!IsUtf8(bytes.substr(mark ? 3 : 0)) && result.errors + result.warnings != (mark ? 2u : 1u)) __builtin_trap();
  if (check::FindingLines("f.json", bytes, result.findings).empty() != result.findings.empty()) __builtin_trap();

  const recaster::convert::Verification verified = recaster::convert::VerifyText(bytes, DefaultPlan());
  if (verified.ok() && !result.valid()) __builtin_trap();
  if (!verified.ok() && verified.problem.empty()) __builtin_trap();
  return 0;
}

#ifdef RECASTER_FUZZ_LINKMAIN
#include "fuzz/fuzz_replay.h"

int main(int argc, char** argv) { return recaster::fuzz::ReplayMain("fuzz_check", argc, argv); }
#endif
