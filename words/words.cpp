// The words for what the file stores: every kind of value in its unit, syslog severities and
// facilities, message filters, and values from the file made inert.
#include <array>
#include <string>
#include <vector>

#include "settings/setting_walk.h"
#include "text/utf8.h"
#include "words/words.h"

namespace recaster::words {
namespace {

using settings::Secrecy;
using settings::SettingView;
using settings::Unit;
using settings::VarKind;
using xml::MatchOptions;
using xml::MessageFilter;

// Syslog severities 0 to 7 and facilities 0 to 23 by their standard names (the table of the syslog
// protocol; facilities 13 to 15 have descriptions there rather than keywords).
constexpr std::array<std::string_view, 8> kSeverities = {"Emergency", "Alert",  "Critical",      "Error",
                                                         "Warning",   "Notice", "Informational", "Debug"};
constexpr std::array<std::string_view, 24> kFacilities = {
    "kern",   "user",   "mail",     "daemon", "auth",   "syslog",    "lpr",       "news",
    "uucp",   "cron",   "authpriv", "ftp",    "ntp",    "log audit", "log alert", "clock daemon",
    "local0", "local1", "local2",   "local3", "local4", "local5",    "local6",    "local7"};

constexpr std::int32_t kAllSeverities = 0xFF;
constexpr std::int32_t kAllFacilities = 0xFFFFFF;

// Texts longer than this, or holding a line break, are shown on lines of their own.
constexpr std::size_t kMaxInlineText = 200;

Span Words(std::string text) { return Span{std::move(text), false}; }
Cell WordsCell(std::string text) { return Cell{{Words(std::move(text))}, std::nullopt, false}; }

void Append(Text& text, const Text& more) { text.insert(text.end(), more.begin(), more.end()); }

// A mask condition in words: "severity Emergency, Alert, Critical (mask 7)" names the set bits, "all
// severities (mask 255)" and "no severity (mask 0)" the two ends; bits beyond the names are said to be set.
template <std::size_t N>
std::string MaskWords(std::int32_t mask, const std::array<std::string_view, N>& names, std::int32_t all,
                      std::string_view what, std::string_view every, std::string_view none) {
  std::string words;
  if (mask == all) {
    words = every;
  } else {
    for (std::size_t bit = 0; bit < N; ++bit) {
      if ((static_cast<std::uint32_t>(mask) >> bit & 1u) == 0) continue;
      words += words.empty() ? std::string(what) + " " : ", ";
      words += names[bit];
    }
    if (words.empty()) words = none;
    if ((static_cast<std::uint32_t>(mask) & ~static_cast<std::uint32_t>(all)) != 0) words += ", and other bits";
  }
  return words + " (mask " + std::to_string(mask) + ")";
}

std::string SeverityMaskWords(std::int32_t mask) {
  return MaskWords(mask, kSeverities, kAllSeverities, "severity", "all severities", "no severity");
}

std::string FacilityMaskWords(std::int32_t mask) {
  return MaskWords(mask, kFacilities, kAllFacilities, "facility", "all facilities", "no facility");
}

std::string_view YesNo(bool value) { return value ? "yes" : "no"; }

std::string MatchWords(const MatchOptions& match) {
  return "match case " + std::string(YesNo(match.matchCase)) + ", whole word " + std::string(YesNo(match.matchWhole)) +
         ", wildcards " + std::string(YesNo(match.wildcards));
}

// "`a` or `b`", each text a literal; "none listed" for an empty list.
Text TextsOr(const std::vector<std::u16string>& texts) {
  if (texts.empty()) return {Words("none listed")};
  Text out;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i != 0) out.push_back(Words(" or "));
    out.push_back(Literal(texts[i]));
  }
  return out;
}

// One condition: the texts, then how they are matched.
Text ListCondition(std::string_view what, const std::vector<std::u16string>& texts, const MatchOptions* match) {
  Text out{Words(std::string(what) + " ")};
  Append(out, TextsOr(texts));
  if (match != nullptr) out.push_back(Words(" (" + MatchWords(*match) + ")"));
  return out;
}

Text MessageCondition(const MessageFilter& f) {
  Text out{Words("message text ")};
  if (f.content.empty()) {
    out.push_back(Words("empty"));
  } else {
    out.push_back(Literal(f.content));
  }
  out.push_back(Words(" (" + MatchWords(f.contentMatch) + "; WildcardType " + std::to_string(f.wildcardType) + ")"));
  return out;
}

// The six conditions, each in force or not, with whether it holds anything beyond its initial state.
struct Condition {
  bool in_force;
  bool holds_values;
  Text words;
};

std::vector<Condition> Conditions(const MessageFilter& f) {
  const MessageFilter initial;
  return {
      {f.severityCheck, f.severityMask != initial.severityMask, {Words(SeverityMaskWords(f.severityMask))}},
      {f.facilityCheck, f.facilityMask != initial.facilityMask, {Words(FacilityMaskWords(f.facilityMask))}},
      {f.sourceCheck, !f.sources.empty(), ListCondition("source", f.sources, nullptr)},
      {f.originCheck, !f.origins.empty() || f.originMatch != initial.originMatch,
       ListCondition("origin", f.origins, &f.originMatch)},
      {f.tagCheck, !f.tags.empty() || f.tagMatch != initial.tagMatch, ListCondition("tag", f.tags, &f.tagMatch)},
      {f.messageCheck,
       !f.content.empty() || f.contentMatch != initial.contentMatch || f.wildcardType != initial.wildcardType,
       MessageCondition(f)},
  };
}

Text JoinClauses(const std::vector<const Text*>& clauses) {
  Text out;
  for (std::size_t i = 0; i < clauses.size(); ++i) {
    if (i != 0) out.push_back(Words("; "));
    Append(out, *clauses[i]);
  }
  return out;
}

// ---- values ----

// A stored colour as 0xRRGGBB: the number holds red in its lowest byte and blue in its third, the
// order of Windows colour values.
std::uint32_t Rgb(std::int32_t stored) {
  const auto v = static_cast<std::uint32_t>(stored);
  return (v & 0xFFu) << 16 | (v & 0xFF00u) | (v >> 16 & 0xFFu);
}

bool Printable(std::int32_t code) {
  return (code > 0x20 && code < 0x7F) || (code > 0xA0 && code < 0xD800) || (code >= 0xE000 && code <= 0xFFFD);
}

bool IsLong(std::u16string_view text) {
  return text.size() > kMaxInlineText || text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// A text from the file in a cell, the secrets of its URLs masked; the renderers make its hidden
// characters visible as they write it (as Literal would), so that a long text is not copied for that.
Cell FileTextCell(std::u16string_view text, bool block) {
  Cell cell{{}, std::nullopt, block};
  const bool url = text.find(u"://") != std::u16string_view::npos;
  cell.text.push_back(Span{text::ToUtf8(url ? std::u16string_view(MaskUrlSecrets(text)) : text), true});
  return cell;
}

// A text that is not a password as it is measured and shown: a connection string masked (into
// `masked`), any other text as it is (the secrets of its URLs are masked as it goes into a cell).
std::u16string_view Shown(std::u16string_view text, Secrecy secrecy, std::u16string& masked) {
  if (secrecy != Secrecy::kConnectionString) return text;
  masked = MaskConnectionString(text);
  return masked;
}

// A text as the report may show it: a password only as set or not, a connection string with its
// passwords replaced; a long text on lines of its own, or by its length where `elide_long`.
Cell TextCell(std::u16string_view text, Secrecy secrecy, bool elide_long, std::string_view elided) {
  if (secrecy == Secrecy::kSecret) return WordsCell(text.empty() ? "not set" : "set");
  std::u16string masked;
  const std::u16string_view shown = Shown(text, secrecy, masked);
  if (shown.empty()) return WordsCell("empty");
  if (!IsLong(shown)) return FileTextCell(shown, false);
  if (elide_long) return WordsCell(std::string(elided) + Counted(shown.size(), "character", "characters") + ")");
  return FileTextCell(shown, true);
}

// A cell on one line: its literals in double quotes, every hidden character made visible.
std::string OneLine(const Cell& cell) {
  std::string line;
  for (const Span& span : cell.text) {
    if (span.literal) line += '"';
    AppendVisible(span.text, false, line);
    if (span.literal) line += '"';
  }
  return line;
}

// A cell on one line, or the length of a text that the report shows on lines of its own (or elides).
std::string Line(const SettingView& s, const Cell& cell, bool value) {
  if (s.Kind() == VarKind::kText && s.TextSecrecy() != Secrecy::kSecret) {
    std::u16string masked;
    const std::u16string_view text = value ? std::u16string_view(s.Text().Value()) : std::u16string_view(s.Text().Default());
    const std::u16string_view shown = Shown(text, s.TextSecrecy(), masked);
    if (IsLong(shown)) return Counted(shown.size(), "character", "characters");
  }
  return OneLine(cell);
}

std::string ItemsText(std::uint32_t count) { return count == 0 ? "empty" : Counted(count, "item", "items"); }

}  // namespace

std::string_view SeverityName(std::int32_t code) {
  return code >= 0 && code < static_cast<std::int32_t>(kSeverities.size()) ? kSeverities[static_cast<std::size_t>(code)]
                                                                           : std::string_view();
}

std::string_view FacilityName(std::int32_t code) {
  return code >= 0 && code < static_cast<std::int32_t>(kFacilities.size()) ? kFacilities[static_cast<std::size_t>(code)]
                                                                           : std::string_view();
}

Text DescribeFilter(const MessageFilter& filter) {
  const std::vector<Condition> conditions = Conditions(filter);
  std::vector<const Text*> in_force;
  std::vector<const Text*> switched_off;
  for (const Condition& condition : conditions) {
    if (condition.in_force) {
      in_force.push_back(&condition.words);
    } else if (condition.holds_values) {
      switched_off.push_back(&condition.words);
    }
  }

  Text out;
  if (!filter.name.empty()) {
    out.push_back(Literal(filter.name));
    out.push_back(Words(": "));
  }
  const Text body = in_force.empty() ? Text{Words("all messages")} : JoinClauses(in_force);
  if (filter.negation) {
    out.push_back(Words("not ("));
    Append(out, body);
    out.push_back(Words(")"));
  } else {
    Append(out, body);
  }
  if (!switched_off.empty()) {
    out.push_back(Words("; switched off: "));
    Append(out, JoinClauses(switched_off));
  }
  return out;
}

Span Literal(std::u16string_view text, bool keep_lines) {
  if (text.find(u"://") == std::u16string_view::npos) return Span{VisibleText(text, keep_lines), true};
  return Span{VisibleText(MaskUrlSecrets(text), keep_lines), true};
}

std::string Counted(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string HexColour(std::uint32_t rgb) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "#";
  for (int shift = 20; shift >= 0; shift -= 4) text += kDigits[rgb >> shift & 0xFu];
  return text;
}

Cell NumberCell(std::int32_t value, Unit unit) {
  const std::string number = std::to_string(value);
  switch (unit) {
    case Unit::kNone:
      break;
    case Unit::kDays:
      return WordsCell(number + (value == 1 ? " day" : " days"));
    case Unit::kKilobytes:
      return WordsCell(number + " kilobytes");
    case Unit::kSeverity: {
      const std::string_view name = SeverityName(value);
      return WordsCell(name.empty() ? number + " (no syslog severity)" : std::string(name) + " (" + number + ")");
    }
    case Unit::kFacility: {
      const std::string_view name = FacilityName(value);
      return WordsCell(name.empty() ? number + " (no syslog facility)" : std::string(name) + " (" + number + ")");
    }
    case Unit::kColour:
      if (value < 0 || value > 0xFFFFFF) return WordsCell(number + " (not a 24-bit colour)");
      return Cell{{Words(HexColour(Rgb(value)) + " (" + number + ")")}, Rgb(value), false};
    case Unit::kCharacter:
      if (value == 0x20) return WordsCell(number + " (space)");
      if (!Printable(value)) break;
      return Cell{{Words(number + " ("), Literal(std::u16string(1, static_cast<char16_t>(value))), Words(")")},
                  std::nullopt, false};
  }
  return WordsCell(number);
}

Cell ValueCell(const SettingView& s) {
  switch (s.Kind()) {
    case VarKind::kInt:
      return NumberCell(s.Int().Value(), s.GetUnit());
    case VarKind::kBool:
      return WordsCell(std::string(YesNo(s.Bool().Value())));
    case VarKind::kText:
      return TextCell(s.Text().Value(), s.TextSecrecy(), s.IsDefault(), "the default (");
    case VarKind::kFilter:
      return Cell{DescribeFilter(s.Filter().Value()), std::nullopt, false};
    case VarKind::kList:
      return WordsCell(ItemsText(s.List().ItemCount()));
    case VarKind::kGroup:
      break;
  }
  return WordsCell("");
}

Cell DefaultCell(const SettingView& s) {
  if (s.ItemIndex().has_value() && s.Kind() != VarKind::kGroup) return WordsCell("none (a list item)");
  switch (s.Kind()) {
    case VarKind::kInt:
      return NumberCell(s.Int().Default(), s.GetUnit());
    case VarKind::kBool:
      return WordsCell(std::string(YesNo(s.Bool().Default())));
    case VarKind::kText:
      return TextCell(s.Text().Default(), s.TextSecrecy(), true, "built-in text (");
    case VarKind::kFilter:
      return Cell{DescribeFilter(xml::MessageFilter()), std::nullopt, false};
    case VarKind::kList:
      return WordsCell("empty");
    case VarKind::kGroup:
      break;
  }
  return WordsCell("");
}

std::string ValueLine(const SettingView& setting) { return Line(setting, ValueCell(setting), true); }

std::string DefaultLine(const SettingView& setting) { return Line(setting, DefaultCell(setting), false); }

}  // namespace recaster::words
