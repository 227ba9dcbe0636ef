// Turns the settings tree into Boost.JSON values and prints them indented, no hidden character raw.
#include "cli/settings_json.h"

#include <boost/json.hpp>
#include <string_view>

#include "convert/convert.h"
#include "settings/setting_walk.h"
#include "words/words.h"
#include "text/utf8.h"

namespace recaster::cli {
namespace {

namespace json = boost::json;
using settings::SettingView;
using settings::VarKind;

json::string Utf8(std::u16string_view text) { return json::string(text::ToUtf8(text)); }

// A text as `show` prints it: as stored with `show_secrets`, else hidden by the one rule for secrets.
json::string Shown(std::u16string_view text, settings::Secrecy secrecy, bool show_secrets) {
  return show_secrets ? Utf8(text) : Utf8(words::MaskSecrets(text, secrecy));
}

json::array TextList(const std::vector<std::u16string>& texts, bool show_secrets) {
  json::array out;
  for (const auto& text : texts) out.emplace_back(Shown(text, settings::Secrecy::kShown, show_secrets));
  return out;
}

json::object MatchJson(const xml::MatchOptions& m) {
  return {{"matchCase", m.matchCase}, {"matchWhole", m.matchWhole}, {"wildcards", m.wildcards}};
}

json::object FilterJson(const xml::MessageFilter& f, bool show_secrets) {
  json::object o;
  o["name"] = Shown(f.name, settings::Secrecy::kShown, show_secrets);
  o["negation"] = f.negation;
  o["severityCheck"] = f.severityCheck;
  o["facilityCheck"] = f.facilityCheck;
  o["sourceCheck"] = f.sourceCheck;
  o["originCheck"] = f.originCheck;
  o["tagCheck"] = f.tagCheck;
  o["messageCheck"] = f.messageCheck;
  o["severityMask"] = f.severityMask;
  o["facilityMask"] = f.facilityMask;
  o["sources"] = TextList(f.sources, show_secrets);
  o["origins"] = TextList(f.origins, show_secrets);
  o["originMatch"] = MatchJson(f.originMatch);
  o["tags"] = TextList(f.tags, show_secrets);
  o["tagMatch"] = MatchJson(f.tagMatch);
  o["content"] = Shown(f.content, settings::Secrecy::kShown, show_secrets);
  o["contentMatch"] = MatchJson(f.contentMatch);
  o["wildcardType"] = f.wildcardType;
  return o;
}

// The document as JSON values: a group is an object of its settings, a list an array of its items.
class JsonBuilder final : public settings::SettingVisitor {
 public:
  explicit JsonBuilder(bool show_secrets) : show_secrets_(show_secrets) { open_.emplace_back(json::object()); }

  json::value& Root() { return open_.front(); }

  void Value(const SettingView& setting) override { Add(setting, LeafJson(setting)); }
  bool Begin(const SettingView& setting) override {
    if (setting.Kind() == VarKind::kList) {
      open_.emplace_back(json::array());
    } else {
      open_.emplace_back(json::object());
    }
    return true;
  }
  void End(const SettingView& setting) override {
    json::value done = std::move(open_.back());
    open_.pop_back();
    Add(setting, std::move(done));
  }

 private:
  json::value LeafJson(const SettingView& setting) const {
    switch (setting.Kind()) {
      case VarKind::kInt:
        return setting.Int().Value();
      case VarKind::kBool:
        return setting.Bool().Value();
      case VarKind::kText:
        return Shown(setting.Text().Value(), setting.TextSecrecy(), show_secrets_);
      case VarKind::kFilter:
        return FilterJson(setting.Filter().Value(), show_secrets_);
      case VarKind::kList:
      case VarKind::kGroup:
        break;  // containers come through Begin and End
    }
    return nullptr;
  }

  void Add(const SettingView& setting, json::value value) {
    json::value& parent = open_.back();
    if (parent.is_array()) {
      parent.get_array().push_back(std::move(value));
    } else {
      parent.get_object()[setting.Key()] = std::move(value);
    }
  }

  bool show_secrets_;
  std::vector<json::value> open_;  // the root object, then each group or list not yet ended
};

// The text handed to a sink in pieces of 64 KiB or more (the last shorter), nothing more once it refused one.
class Out {
 public:
  explicit Out(convert::TextSink& sink) : sink_(sink) {}
  void operator+=(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= kPiece) Flush();
  }
  void operator+=(char c) { *this += std::string_view(&c, 1); }
  bool Flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_.Write(buffer_);
    buffer_.clear();
    return ok_;
  }

 private:
  static constexpr std::size_t kPiece = std::size_t{1} << 16;
  convert::TextSink& sink_;
  std::string buffer_;
  bool ok_ = true;
};

// A text as a JSON string: the escapes of Boost's serializer (\", \\, \b, \t, \n, \f, \r, \u00XX for the
// other C0 controls), and every other hidden character (words::IsHiddenCharacter) as a "\u" escape too:
// DEL, the C1 controls and the characters that reorder or hide text must not reach a terminal raw either.
void WriteString(std::string_view utf8, Out& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  const auto escape = [&out](char32_t c) {
    char text[6] = {'\\', 'u'};
    for (int shift = 12, k = 2; shift >= 0; shift -= 4, ++k) text[k] = kHex[c >> shift & 0xFu];
    out += std::string_view(text, 6);
  };
  out += '"';
  std::size_t kept = 0;  // the start of the run that goes out as it is
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead >= 0x20 && lead < 0x7F && lead != '"' && lead != '\\') {
      ++i;
      continue;
    }
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
      c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
    }
    const std::string_view short_escape = c == '"'    ? "\\\""
                                          : c == '\\' ? "\\\\"
                                          : c == '\b'  ? "\\b"
                                          : c == '\t'  ? "\\t"
                                          : c == '\n'  ? "\\n"
                                          : c == '\f'  ? "\\f"
                                          : c == '\r'  ? "\\r"
                                                       : "";
    if (short_escape.empty() && !(c <= 0xFFFF && words::IsHiddenCharacter(c))) {
      i += length;
      continue;
    }
    out += utf8.substr(kept, i - kept);
    if (short_escape.empty()) {
      escape(c);
    } else {
      out += short_escape;
    }
    i += length;
    kept = std::min(i, utf8.size());
  }
  out += utf8.substr(kept);
  out += '"';
}

void Indent(Out& out, int depth) {
  for (int i = 0; i < depth; ++i) out += "  ";
}

void Print(const json::value& v, Out& out, int depth);

// One member a line between `open` and `close`; an empty container as the two side by side.
template <typename Container, typename PrintItem>
void PrintContainer(const Container& items, char open, char close, Out& out, int depth, PrintItem print_item) {
  out += open;
  if (!items.empty()) {
    out += '\n';
    std::size_t n = 0;
    for (const auto& item : items) {
      Indent(out, depth + 1);
      print_item(item);
      out += ++n < items.size() ? ",\n" : "\n";
    }
    Indent(out, depth);
  }
  out += close;
}

void Print(const json::value& v, Out& out, int depth) {
  if (v.is_object()) {
    PrintContainer(v.get_object(), '{', '}', out, depth, [&](const json::key_value_pair& member) {
      WriteString(member.key(), out);
      out += ": ";
      Print(member.value(), out, depth + 1);
    });
  } else if (v.is_array()) {
    PrintContainer(v.get_array(), '[', ']', out, depth, [&](const json::value& item) { Print(item, out, depth + 1); });
  } else if (v.is_string()) {
    WriteString(v.get_string(), out);
  } else {
    out += json::serialize(v);
  }
}

}  // namespace

bool WriteSettingsJson(const settings::CSTSettings3& document, bool show_secrets, convert::TextSink& sink) {
  JsonBuilder builder(show_secrets);
  settings::WalkSettings(document, builder);
  Out out(sink);
  Print(builder.Root(), out, 0);
  out += '\n';
  return out.Flush();
}

std::string SettingsToJson(const settings::CSTSettings3& document, bool show_secrets) {
  struct Whole final : convert::TextSink {
    bool Write(std::string_view bytes) override {
      text += bytes;
      return true;
    }
    std::string text;
  } whole;
  WriteSettingsJson(document, show_secrets, whole);
  return std::move(whole.text);
}

}  // namespace recaster::cli
