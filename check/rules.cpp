// The rules of a version 6 document: each object's members in the order `convert` writes them, each
// value a string of its form. An object is checked once it closes, since a listener's type comes last.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "check/nearest_name.h"
#include "check/rules.h"
#include "words/words.h"

namespace recaster::check {
namespace {

enum class Form { kObject, kInterfaces, kText, kAddr, kType, kBool, kUint8, kUint16, kUint32 };

struct Rule {
  std::string_view name;
  Form form;
  std::string_view noun = {};  // what a number is, for its message
  bool tcp_only = false;
};

constexpr Rule kRootRules[] = {{"network", Form::kObject}, {"storage", Form::kObject}};
constexpr Rule kNetworkRules[] = {{"interfaces", Form::kInterfaces}};
constexpr Rule kStorageRules[] = {
    {"folder", Form::kText},
    {"keep_days", Form::kUint32, "a number of days"},
    {"keep_gbs", Form::kUint32, "a size in GB"},
    {"check_period", Form::kUint32, "a period"},
    {"flush_period", Form::kUint32, "a period"},
    {"hours_per_file", Form::kUint8, "a number of hours"},
};
constexpr Rule kListenerRules[] = {
    {"addr", Form::kAddr},
    {"port", Form::kUint16, "a port"},
    {"max_msg_len", Form::kUint16, "a message length"},
    {"socket_buffer_size", Form::kUint32, "a buffer size"},
    {"max_session_history", Form::kUint16, "a count"},
    {"disconnect_inactive_sec", Form::kUint32, "a number of seconds", true},
    {"disconnect_oldest", Form::kBool, {}, true},
    {"max_concurrent_sessions", Form::kUint16, "a count", true},
    {"detect_octet_count", Form::kBool, {}, true},
    {"separate_by_cr_lf", Form::kBool, {}, true},
    {"type", Form::kType},
};

std::span<const Rule> RulesOf(Shape shape) {
  switch (shape) {
    case Shape::kRoot: return kRootRules;
    case Shape::kNetwork: return kNetworkRules;
    case Shape::kStorage: return kStorageRules;
    case Shape::kListener: return kListenerRules;
    case Shape::kInterfaces:
    case Shape::kUnchecked: break;
  }
  return {};
}

std::string_view KindName(Kind kind) {
  switch (kind) {
    case Kind::kString: return "a string";
    case Kind::kNumber: return "a number";
    case Kind::kBool: return "a boolean";
    case Kind::kNull: return "null";
    case Kind::kObject: return "an object";
    case Kind::kArray: return "an array";
  }
  return "";
}

// Decimal digits without sign or leading zeros, at most `maximum`.
bool InRange(std::string_view text, std::uint64_t maximum) {
  if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value <= maximum;
}

std::uint64_t MaximumOf(Form form) {
  if (form == Form::kUint8) return 255;
  return form == Form::kUint16 ? 65535 : 4294967295u;
}

// A value that should be a string and is not: the hint says how `convert` writes it.
std::string NotAString(const Value& value) {
  std::string message = std::string(KindName(value.kind)) + ", not a string";
  if (value.kind == Kind::kNumber || value.kind == Kind::kBool) message += "; write it as \"" + std::string(value.text()) + "\"";
  return message;
}

// The pointer of a member, made only when a finding names it.
struct At {
  const std::string& pointer;
  std::string_view name;
  operator std::string() const { return ChildPointer(pointer, name); }
};

void CheckString(const Rule& rule, const Value& value, const At& at, Findings& out) {
  const std::string_view text = value.text();
  switch (rule.form) {
    case Form::kText: return;
    case Form::kAddr:
      if (!IsIpAddress(text)) out.Warning(value.offset, at, Quoted(text) + " is not an IPv4 or IPv6 address");
      return;
    case Form::kType:
      if (text != "udp" && text != "tcp") out.Error(value.offset, at, Quoted(text) + " is not a listener type (\"udp\" or \"tcp\")");
      return;
    case Form::kBool:
      if (text != "true" && text != "false") out.Error(value.offset, at, Quoted(text) + " is not a boolean (\"true\" or \"false\")");
      return;
    case Form::kUint8:
    case Form::kUint16:
    case Form::kUint32:
      if (!InRange(text, MaximumOf(rule.form))) {
        out.Error(value.offset, at, Quoted(text) + " is not " + std::string(rule.noun) + " (0 to " +
                                        std::to_string(MaximumOf(rule.form)) + ")");
      }
      return;
    case Form::kObject:
    case Form::kInterfaces: break;
  }
}

void CheckValue(const Rule& rule, const Value& value, const At& at, Findings& out) {
  ++out.checked;
  if (rule.form == Form::kObject) {
    if (value.kind != Kind::kObject) out.Error(value.offset, at, std::string(KindName(value.kind)) + ", not an object");
    return;
  }
  if (rule.form == Form::kInterfaces) {
    if (value.kind == Kind::kArray) return;  // its elements and its end are checked as they come
    if (value.kind == Kind::kString && value.text().empty()) {
      out.Warning(value.offset, at, "no listener at all: the server receives nothing");
    } else {
      const std::string what = value.kind == Kind::kString ? Quoted(value.text()) : std::string(KindName(value.kind));
      out.Error(value.offset, at, what + " is not a list of listeners (an array, or \"\" for none)");
    }
    return;
  }
  if (value.kind != Kind::kString) return out.Error(value.offset, at, NotAString(value));
  CheckString(rule, value, at, out);
}

// The listener's type, when it names one: the members a TCP listener has are allowed only then.
bool IsTcp(const std::vector<Member>& members) {
  return std::any_of(members.begin(), members.end(), [](const Member& m) {
    return m.name == "type" && m.value.kind == Kind::kString && m.value.text() == "tcp";
  });
}

const Rule* Find(std::span<const Rule> rules, std::string_view name, bool tcp) {
  for (const Rule& rule : rules) {
    if (rule.name == name && (tcp || !rule.tcp_only)) return &rule;
  }
  return nullptr;
}

std::vector<std::string_view> NamesOf(std::span<const Rule> rules, bool tcp) {
  std::vector<std::string_view> names;
  for (const Rule& rule : rules) {
    if (tcp || !rule.tcp_only) names.push_back(rule.name);
  }
  return names;
}

// The members missing from the object, each told at the unknown member that most likely stands for
// it. The nearest names are worked out once, and only when a member is missing.
void TellMissing(std::span<const Rule> rules, const std::vector<bool>& present, bool tcp, std::size_t begin,
                 const std::string& pointer, const std::vector<const Member*>& unknown, Findings& out) {
  std::vector<std::string_view> names;
  std::vector<std::string_view> nearest;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (present[i] || (!tcp && rules[i].tcp_only)) continue;
    if (names.empty()) {
      names = NamesOf(rules, tcp);
      for (const Member* member : unknown) nearest.push_back(NearestName(member->name, names));
    }
    const std::string name(rules[i].name);
    const auto it = std::find(nearest.begin(), nearest.end(), rules[i].name);
    if (it == nearest.end()) {
      out.Error(begin, pointer, "missing member \"" + name + "\"");
      continue;
    }
    const Member& stand_in = *unknown[static_cast<std::size_t>(it - nearest.begin())];
    out.Error(stand_in.key_offset, pointer, "missing member \"" + name + "\" (" + Quoted(stand_in.name) +
                                                " is unknown: did you mean \"" + name + "\"?)");
  }
}

// An unknown member, its message made only when the finding is kept.
void TellUnknown(const Member& member, const At& at, std::span<const Rule> rules,
                 std::span<const std::string_view> names, Findings& out) {
  const Severity severity = out.options.strict ? Severity::kError : Severity::kWarning;
  if (!out.Keeps(member.key_offset)) return out.Add(severity, member.key_offset, std::string(), std::string());
  const std::string_view nearest = NearestName(member.name, names);
  std::string message = "unknown member " + Quoted(member.name);
  if (Find(rules, member.name, true) != nullptr) message += " (a TCP listener's, not a UDP one's)";
  else if (!nearest.empty()) message += "; did you mean \"" + std::string(nearest) + "\"?";
  out.Add(severity, member.key_offset, at, std::move(message));
}

}  // namespace

std::string ChildPointer(const std::string& pointer, std::string_view name) {
  std::string out;
  out.reserve(pointer.size() + 1 + name.size());
  out += pointer;
  out += '/';
  for (std::size_t at; (at = name.find_first_of("~/")) != std::string_view::npos; name.remove_prefix(at + 1)) {
    out += name.substr(0, at);
    out += name[at] == '~' ? "~0" : "~1";
  }
  out += name;
  return out;
}

bool Findings::Earlier(const Kept& a, const Kept& b) {
  return a.finding.offset != b.finding.offset ? a.finding.offset < b.finding.offset : a.order < b.order;
}

bool Findings::Keeps(std::size_t offset) const {
  if (options.most_kept == 0) return false;
  return kept_.size() < options.most_kept || offset < kept_.front().finding.offset;
}

void Findings::Add(Severity severity, std::size_t offset, const std::string& pointer, std::string message) {
  ++(severity == Severity::kError ? errors : warnings);
  if (options.most_kept == 0) return;
  Kept next{{severity, offset, pointer, std::move(message)}, order_++};
  if (kept_.size() == options.most_kept) {
    if (!Earlier(next, kept_.front())) return;
    std::pop_heap(kept_.begin(), kept_.end(), Earlier);
    kept_.back() = std::move(next);
  } else {
    kept_.push_back(std::move(next));
  }
  std::push_heap(kept_.begin(), kept_.end(), Earlier);
}

std::vector<Finding> Findings::TakeInFileOrder() {
  std::sort_heap(kept_.begin(), kept_.end(), Earlier);
  std::vector<Finding> findings;
  findings.reserve(kept_.size());
  for (Kept& kept : kept_) findings.push_back(std::move(kept.finding));
  kept_.clear();
  return findings;
}

std::string Quoted(std::string_view text) {
  constexpr std::size_t kLongest = 60;
  std::string_view shown = text;
  if (shown.size() > kLongest) {
    std::size_t cut = kLongest;
    while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
    shown = shown.substr(0, cut);
  }
  std::string out = "\"";
  words::AppendVisible(shown, false, out);
  return out + (shown.size() < text.size() ? "...\"" : "\"");
}

Shape ShapeOfMember(Shape parent, std::string_view name, Kind kind) {
  if (parent == Shape::kRoot && kind == Kind::kObject) {
    if (name == "network") return Shape::kNetwork;
    if (name == "storage") return Shape::kStorage;
  }
  if (parent == Shape::kNetwork && name == "interfaces" && kind == Kind::kArray) return Shape::kInterfaces;
  return Shape::kUnchecked;
}

Shape ShapeOfElement(Shape parent, Kind kind) {
  return parent == Shape::kInterfaces && kind == Kind::kObject ? Shape::kListener : Shape::kUnchecked;
}

void CheckRoot(const Value& root, Findings& out) {
  if (root.kind != Kind::kObject) out.Error(root.offset, "", "the document is " + std::string(KindName(root.kind)) + ", not an object");
}

void CheckObject(Shape shape, std::size_t begin, const std::string& pointer, const std::vector<Member>& members,
                 Findings& out) {
  const std::span<const Rule> rules = RulesOf(shape);
  if (rules.empty()) return;
  const bool tcp = shape != Shape::kListener || IsTcp(members);
  std::vector<std::string_view> names;  // made for the first unknown member
  std::vector<const Member*> unknown;
  std::vector<bool> present(rules.size());
  std::ptrdiff_t furthest = -1;
  for (const Member& member : members) {
    const At at{pointer, member.name};
    const Rule* rule = Find(rules, member.name, tcp);
    if (rule == nullptr) {
      if (names.empty()) names = NamesOf(rules, tcp);
      TellUnknown(member, at, rules, names, out);
      unknown.push_back(&member);
      continue;
    }
    const std::ptrdiff_t index = rule - rules.data();
    present[static_cast<std::size_t>(index)] = true;
    if (index < furthest) out.Warning(member.key_offset, at, "out of the order convert writes");
    furthest = std::max(furthest, index);
    CheckValue(*rule, member.value, at, out);
  }
  TellMissing(rules, present, tcp, begin, pointer, unknown, out);
}

void CheckElement(Shape shape, const Value& element, const std::string& pointer, Findings& out) {
  if (shape != Shape::kInterfaces || element.kind == Kind::kObject) return;
  out.Error(element.offset, pointer, std::string(KindName(element.kind)) + ", not a listener (an object)");
}

void CheckArrayEnd(Shape shape, std::size_t begin, const std::string& pointer, std::size_t count, Findings& out) {
  if (shape == Shape::kInterfaces && count == 0) out.Warning(begin, pointer, "no listener at all: the server receives nothing");
}

}  // namespace recaster::check
