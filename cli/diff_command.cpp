// The diff command: what differs between two configurations, each a version 5 or a version 6 file as
// its bytes tell. Two version 5 files are compared setting by setting in the report's words; any other
// pair as two version 6 documents, member by member (a version 5 side by its conversion). Secrets are
// told as "differs (secret)", never by their values.
#include <CLI/CLI.hpp>
#include <boost/json.hpp>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "check/check.h"
#include "cli/commands.h"
#include "convert/convert.h"
#include "platform/platform.h"
#include "settings/setting_walk.h"
#include "text/json_writer.h"
#include "text/utf8.h"
#include "words/words.h"
#include "xml/xml_document.h"

namespace recaster::cli {
namespace {

using settings::SettingView;
using settings::VarKind;


// One difference: where, what became of it, and each side in words (empty for a secret, and for the
// side an added or removed entry lacks).
struct Difference {
  std::string path;
  enum class Change { kChanged, kAdded, kRemoved } change = Change::kChanged;
  bool secret = false;
  std::string a;
  std::string b;
};

// A side as it was read: a loaded version 5 document, or a parsed version 6 document.
struct Side {
  std::u16string path;
  std::string bytes;
  convert::SourceOutcome source;
  boost::json::value json;
  bool v5 = false;
};

bool IsVersion5(std::string_view bytes) { return bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE"; }

// Reads the side and tells its kind by its bytes; kExitOk, or the code with its reason told.
int ReadSide(Side& side, StandardInput& input, Console& io) {
  std::string why;
  if (const int code = ReadWholeFile(side.path, io, input, &side.bytes, &why); code != kExitOk) return code;
  if (!why.empty()) {
    SayAbout(side.path, why, io);
    return kExitUnreadable;
  }
  if (IsVersion5(side.bytes)) {
    // The bytes go through the one source step, as standard input's do.
    StandardInput read{true, platform::Ok(), std::move(side.bytes)};
    side.source = convert::TakeSource({convert::kStandardInput, &read, nullptr, convert::SourceStage::kLoad});
    side.bytes = std::move(read.bytes);
    if (!side.source.ok()) return TellRefusal(side.path, side.source, io);
    side.v5 = true;
    return kExitOk;
  }
  // A byte-order mark leaves the text JSON, and the check tells it.
  std::string_view body = side.bytes;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  boost::system::error_code error;
  side.json = boost::json::parse(body, error);
  if (error) {
    SayAbout(side.path, "neither a version 5 configuration nor JSON", io);
    return kExitUnreadable;
  }
  const check::CheckResult checked = check::CheckDocument(side.bytes, check::CheckOptions{});
  if (!checked.valid()) {
    const std::string shown = Display(side.path);
    const std::string counts = words::Counted(checked.errors, "error", "errors") + ", " +
                               words::Counted(checked.warnings, "warning", "warnings");
    const int code = WriteData(io, check::FindingLines(shown, side.bytes, checked.findings) + shown +
                                       ": not a valid version 6 configuration (" + counts + ")\n");
    return code != kExitOk ? code : kExitNotValid;
  }
  return kExitOk;
}

// ---- two version 5 documents ----

// Every value and every list item of a document, by path, in document order.
class Collector final : public settings::SettingVisitor {
 public:
  void Value(const SettingView& setting) override { Keep(setting); }
  bool Begin(const SettingView& setting) override {
    if (setting.ItemIndex()) Keep(setting);
    return true;
  }
  void End(const SettingView&) override {}

  std::vector<SettingView> entries;
  std::unordered_map<std::string_view, std::size_t> index;

 private:
  void Keep(const SettingView& setting) {
    entries.push_back(setting);
    entries.back().Path();
  }
};

void Index(Collector& c) {
  c.index.reserve(c.entries.size());
  for (std::size_t i = 0; i < c.entries.size(); ++i) c.index.emplace(c.entries[i].Path(), i);
}

bool SameValue(const SettingView& a, const SettingView& b) {
  if (a.Kind() != b.Kind()) return false;
  switch (a.Kind()) {
    case VarKind::kInt: return a.Int().Value() == b.Int().Value();
    case VarKind::kBool: return a.Bool().Value() == b.Bool().Value();
    case VarKind::kText: return a.Text().Value() == b.Text().Value();
    case VarKind::kFilter: return a.Filter().Value() == b.Filter().Value();
    case VarKind::kList:
    case VarKind::kGroup: break;
  }
  return true;  // an item's own settings are compared one by one
}

// A text whose words would hide what differs: a secret, or a text with a secret in a URL.
bool HidesSecret(const SettingView& s) {
  if (s.IsSecret()) return true;
  if (s.Kind() != VarKind::kText) return false;
  const std::u16string& text = s.Text().Value();
  return words::MaskSecrets(text, settings::Secrecy::kShown) != text;
}

// True when `path` lies inside the item `item`.
bool Inside(std::string_view path, std::string_view item) {
  return path.size() > item.size() && path.starts_with(item) && (path[item.size()] == '.' || path[item.size()] == '[');
}

// The entries of `from` that `other` lacks, each item named once (not what it holds).
void OneSided(const Collector& from, const Collector& other, Difference::Change change, std::vector<Difference>& out) {
  std::string_view skipped;
  for (const SettingView& entry : from.entries) {
    const std::string& path = entry.Path();
    if (!skipped.empty() && Inside(path, skipped)) continue;
    if (other.index.contains(path)) continue;
    skipped = path;
    Difference d{path, change, entry.IsSecret(), {}, {}};
    if (!d.secret) (change == Difference::Change::kAdded ? d.b : d.a) = entry.Kind() == VarKind::kGroup ? "" : words::ValueLine(entry);
    out.push_back(std::move(d));
  }
}

std::vector<Difference> DiffSettings(const settings::COVSettings& a, const settings::COVSettings& b) {
  Collector left;
  Collector right;
  settings::WalkSettings(a, left);
  settings::WalkSettings(b, right);
  Index(left);
  Index(right);
  std::vector<Difference> out;
  for (const SettingView& entry : left.entries) {
    const auto found = right.index.find(entry.Path());
    if (found == right.index.end()) continue;
    const SettingView& other = right.entries[found->second];
    if (SameValue(entry, other)) continue;
    Difference d{entry.Path(), Difference::Change::kChanged, HidesSecret(entry) || HidesSecret(other), {}, {}};
    if (!d.secret) {
      d.a = words::ValueLine(entry);
      d.b = words::ValueLine(other);
    }
    out.push_back(std::move(d));
  }
  OneSided(left, right, Difference::Change::kRemoved, out);
  OneSided(right, left, Difference::Change::kAdded, out);
  return out;
}

// ---- two version 6 documents ----

const text::JsonEscaping& PersonEscaping() {
  static const text::JsonEscaping escaping = text::CharacterEscaping(&words::IsHiddenCharacter);
  return escaping;
}

// A value as JSON for a person: a string quoted and escaped, a number or literal as written, a
// container by its kind.
std::string Shown(const boost::json::value& v) {
  if (v.is_object()) return "an object";
  if (v.is_array()) return "an array";
  if (!v.is_string()) return boost::json::serialize(v);
  text::StringSink sink;
  text::JsonWriter json(sink, text::JsonLayout{0, false}, PersonEscaping());
  json.String(std::string_view(v.get_string()));
  json.Finish();
  return std::move(sink.text);
}

std::u16string Utf16(std::string_view utf8) {
  std::u16string out;
  for (std::size_t at = 0; at < utf8.size();) {
    const text::Decoded c = text::DecodeUtf8(utf8, at);
    text::AppendUtf16(c.code_point, out);
    at += c.length;
  }
  return out;
}

// A member whose key names a secret, or a string that holds one, by the one rule for secrets.
bool SecretKey(std::string_view key) { return words::NamesSecret(Utf16(key)); }
bool SecretValue(const boost::json::value& v) {
  if (!v.is_string()) return false;
  const std::u16string text = Utf16(v.get_string());
  return words::MaskConnectionString(text) != text;
}

// "/a/b~1c": the pointer one step further.
std::string Pointer(const std::string& at, std::string_view step) {
  std::string out = at + '/';
  for (const char c : step) {
    if (c == '~') {
      out += "~0";
    } else if (c == '/') {
      out += "~1";
    } else {
      out += c;
    }
  }
  return out;
}

void DiffJson(const boost::json::value& a, const boost::json::value& b, const std::string& at, bool secret,
              std::vector<Difference>& out);

void OneSidedJson(const boost::json::value& v, const std::string& at, bool secret, Difference::Change change,
                  std::vector<Difference>& out) {
  Difference d{at, change, secret || SecretValue(v), {}, {}};
  if (!d.secret) (change == Difference::Change::kAdded ? d.b : d.a) = Shown(v);
  out.push_back(std::move(d));
}

void DiffObjects(const boost::json::object& a, const boost::json::object& b, const std::string& at, bool secret,
                 std::vector<Difference>& out) {
  for (const auto& member : a) {
    const std::string path = Pointer(at, member.key());
    const bool hidden = secret || SecretKey(member.key());
    if (const boost::json::value* other = b.if_contains(member.key())) {
      DiffJson(member.value(), *other, path, hidden, out);
    } else {
      OneSidedJson(member.value(), path, hidden, Difference::Change::kRemoved, out);
    }
  }
  for (const auto& member : b) {
    if (a.contains(member.key())) continue;
    OneSidedJson(member.value(), Pointer(at, member.key()), secret || SecretKey(member.key()),
                 Difference::Change::kAdded, out);
  }
}

void DiffArrays(const boost::json::array& a, const boost::json::array& b, const std::string& at, bool secret,
                std::vector<Difference>& out) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) DiffJson(a[i], b[i], Pointer(at, std::to_string(i)), secret, out);
  for (std::size_t i = common; i < a.size(); ++i) {
    OneSidedJson(a[i], Pointer(at, std::to_string(i)), secret, Difference::Change::kRemoved, out);
  }
  for (std::size_t i = common; i < b.size(); ++i) {
    OneSidedJson(b[i], Pointer(at, std::to_string(i)), secret, Difference::Change::kAdded, out);
  }
}

void DiffJson(const boost::json::value& a, const boost::json::value& b, const std::string& at, bool secret,
              std::vector<Difference>& out) {
  if (a.is_object() && b.is_object()) return DiffObjects(a.get_object(), b.get_object(), at, secret, out);
  if (a.is_array() && b.is_array()) return DiffArrays(a.get_array(), b.get_array(), at, secret, out);
  if (a == b) return;
  Difference d{at, Difference::Change::kChanged, secret || SecretValue(a) || SecretValue(b), {}, {}};
  if (!d.secret) {
    d.a = Shown(a);
    d.b = Shown(b);
  }
  out.push_back(std::move(d));
}

// The version 6 document of a side: as read, or the conversion of a version 5 side.
int AsVersion6(Side& side, Console& io) {
  if (!side.v5) return kExitOk;
  convert::MapConversion(side.source.conversion);
  const convert::JsonResult text = convert::TryConfigTreeToJson(side.source.conversion.tree);
  if (!text.ok()) {
    SayAbout(side.path, text.error, io);
    return kExitUnreadable;
  }
  boost::system::error_code error;
  side.json = boost::json::parse(text.text, error);
  if (error) {
    SayAbout(side.path, "its conversion is no JSON: " + error.message(), io);
    return kExitUnreadable;
  }
  return kExitOk;
}

// ---- output ----

std::string_view ChangeName(Difference::Change change) {
  switch (change) {
    case Difference::Change::kChanged: return "changed";
    case Difference::Change::kAdded: return "added";
    case Difference::Change::kRemoved: return "removed";
  }
  return "";
}

std::string Summary(std::size_t n) {
  return n == 0 ? std::string("no differences\n") : words::Counted(n, "difference", "differences") + "\n";
}

std::string TextLines(const std::vector<Difference>& diffs) {
  std::string out;
  for (const Difference& d : diffs) {
    words::AppendVisible(d.path, false, out);
    out += ": ";
    if (d.secret) {
      out += d.change == Difference::Change::kChanged ? "differs (secret)" : std::string(ChangeName(d.change)) + " (secret)";
    } else if (d.change == Difference::Change::kChanged) {
      out += d.a + " -> " + d.b;
    } else {
      out += std::string(ChangeName(d.change));
      const std::string& value = d.change == Difference::Change::kAdded ? d.b : d.a;
      if (!value.empty()) out += ": " + value;
    }
    out += '\n';
  }
  return out + Summary(diffs.size());
}

void SideJson(text::JsonWriter& json, std::string_view key, const Side& side) {
  json.Key(key).Open('{');
  json.Key("file").String(Display(side.path));
  json.Key("kind").String(side.v5 ? "version 5" : "version 6");
  json.Close('}');
}

std::string JsonReport(const Side& a, const Side& b, bool as_settings, const std::vector<Difference>& diffs) {
  text::StringSink sink;
  text::JsonWriter json(sink, text::JsonLayout{2, false}, PersonEscaping());
  json.Open('{');
  SideJson(json, "a", a);
  SideJson(json, "b", b);
  json.Key("compared_as").String(as_settings ? "version 5 settings" : "version 6 members");
  json.Key("same").Bool(diffs.empty());
  json.Key("differences").Open('[');
  for (const Difference& d : diffs) {
    json.Item().Open('{');
    json.Key("path").String(d.path);
    json.Key("change").String(ChangeName(d.change));
    json.Key("secret").Bool(d.secret);
    if (!d.a.empty()) json.Key("a").String(d.a);
    if (!d.b.empty()) json.Key("b").String(d.b);
    json.Close('}');
  }
  json.Close(']');
  json.Close('}');
  json.Raw('\n');
  json.Finish();
  return std::move(sink.text);
}

}  // namespace

void setup_diff(CLI::App& app, DiffOptions& opt) {
  auto* diff = app.add_subcommand("diff", "Tell what differs between two configurations, version 5 or version 6");
  diff->add_option("--format", opt.format, "text (one line per difference) or json")
      ->check(CLI::IsMember({"text", "json"}));
  diff->add_option("A", opt.a, "The first file (version 5 or version 6), or - for standard input")->required()->check(NotEmpty());
  diff->add_option("B", opt.b, "The second file (version 5 or version 6), or - for standard input")->required()->check(NotEmpty());
  diff->footer("Each file's kind is told by its bytes: a version 5 file against a version 6 file is compared by its\n"
               "conversion. Secrets are told as \"differs (secret)\", never by their values.\n" +
               ExitCodesFooter(std::initializer_list<ExitCode>{kExitOk, kExitWriteFailed, kExitUsage, kExitUnreadable,
                                                               kExitNotValid, kExitDiffers}));
}

int run_diff(const DiffOptions& opt, Console& io) {
  if (opt.a == "-" && opt.b == "-") return StandardInputTwice(io);
  StandardInput input;
  Side a{platform::PathFromNative(opt.a), {}, {}, {}, false};
  Side b{platform::PathFromNative(opt.b), {}, {}, {}, false};
  if (const int code = ReadSide(a, input, io); code != kExitOk) return code;
  if (const int code = ReadSide(b, input, io); code != kExitOk) return code;
  const bool as_settings = a.v5 && b.v5;
  std::vector<Difference> diffs;
  if (as_settings) {
    diffs = DiffSettings(*a.source.conversion.document, *b.source.conversion.document);
  } else {
    for (Side* side : {&a, &b}) {
      if (const int code = AsVersion6(*side, io); code != kExitOk) return code;
    }
    DiffJson(a.json, b.json, "", false, diffs);
  }
  const std::string report = opt.format == "json" ? JsonReport(a, b, as_settings, diffs) : TextLines(diffs);
  if (const int code = WriteData(io, report); code != kExitOk) return code;
  return diffs.empty() ? kExitOk : kExitDiffers;
}

}  // namespace recaster::cli
