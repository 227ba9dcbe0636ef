// The NAME of each source: its output files' common base, unique in the output folder, case ignored.
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/fleet.h"
#include "text/utf8.h"

namespace recaster::fleet {
namespace {

constexpr std::u16string_view kSettingsFile = u"ov_server_settings.cfg";
constexpr std::array<std::u16string_view, 3> kSuffixes = {u".json", u".report.html", u".report.json"};
// Names Windows keeps for devices, compared folded; "INDEX" is the index's own.
constexpr std::array<std::u16string_view, 23> kReserved = {
    u"CON",  u"PRN",  u"AUX",  u"NUL",  u"COM1", u"COM2", u"COM3", u"COM4", u"COM5", u"COM6", u"COM7", u"COM8",
    u"COM9", u"LPT1", u"LPT2", u"LPT3", u"LPT4", u"LPT5", u"LPT6", u"LPT7", u"LPT8", u"LPT9", u"INDEX"};

bool IsSeparator(char16_t c) {
#ifdef _WIN32
  return c == u'/' || c == u'\\';
#else
  return c == u'/';
#endif
}

// The upper case of the letters whose case file systems commonly ignore: ASCII, Latin-1, Greek and
// Cyrillic. Enough to find the names that collide on a case-insensitive folder.
char16_t Upper(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}

std::u16string Folded(std::u16string_view text) {
  std::u16string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Upper);
  return out;
}

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// At most `limit` bytes of UTF-8, never cutting a surrogate pair.
void CutToBytes(std::u16string& name, std::size_t limit) {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < name.size();) {
    const text::Decoded c = text::DecodeUtf16(name, i);
    bytes += text::Utf8Length(c.code_point);
    if (bytes > limit) {
      name.resize(i);
      return;
    }
    i += c.length;
  }
}

// A name every file system takes: no control characters nor <>:"|?*, not empty, at most `limit`
// bytes, no dot or blank at its end, no reserved name.
std::u16string Cleaned(std::u16string name, std::size_t limit = kMaxNameBytes) {
  for (char16_t& c : name) {
    if (IsControl(c) || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos) c = u'_';
  }
  // Windows takes a device's name before any extension ("con.tar.json" is the console): the stem
  // before the first dot, blanks at its end ignored, gets its '_' there.
  if (const std::size_t dot = name.find(u'.'); dot != std::u16string::npos) {
    std::size_t stem = dot;
    while (stem > 0 && name[stem - 1] == u' ') --stem;
    const std::u16string folded = Folded(name.substr(0, stem));
    if (folded != u"INDEX" && std::find(kReserved.begin(), kReserved.end(), folded) != kReserved.end()) {
      name.insert(stem, 1, u'_');
    }
  }
  CutToBytes(name, limit);
  if (name.empty()) name = u"_";
  if (name.back() == u'.' || name.back() == u' ') name.back() = u'_';
  const std::u16string folded = Folded(name);
  if (std::find(kReserved.begin(), kReserved.end(), folded) != kReserved.end()) name += u'_';
  return name;
}

// The components of a path, in order, empty ones left out.
std::vector<std::u16string_view> Components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    if (i > start) parts.push_back(path.substr(start, i - start));
    start = i + 1;
  }
  return parts;
}

// The raw base of the name and how many components from the end it came from (1: the file, 2: its folder).
std::u16string_view RawBase(const std::vector<std::u16string_view>& parts, std::size_t* used) {
  *used = 1;
  if (parts.empty()) return {};
  const std::u16string_view file = parts.back();
  if (Folded(file) == Folded(kSettingsFile) && parts.size() >= 2) {
    *used = 2;
    return parts[parts.size() - 2];
  }
  const std::size_t dot = file.find_last_of(u'.');
  return dot == std::u16string_view::npos || dot == 0 ? file : file.substr(0, dot);
}

}  // namespace

std::u16string BaseName(std::u16string_view absolute_path) {
  if (absolute_path == kStandardInput) return u"stdin";
  std::size_t used = 0;
  return Cleaned(std::u16string(RawBase(Components(absolute_path), &used)));
}

std::vector<std::u16string> AssignNames(std::span<const std::u16string> absolute_paths) {
  std::vector<std::u16string> names;
  for (const std::u16string& path : absolute_paths) names.push_back(BaseName(path));

  // Which names share an output file's name with another source's.
  std::map<std::u16string, std::set<std::size_t>> owners;
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (const std::u16string_view suffix : kSuffixes) owners[Folded(names[i] + std::u16string(suffix))].insert(i);
  }
  std::vector<bool> collides(names.size(), false);
  for (const auto& [file, sources] : owners) {
    if (sources.size() < 2) continue;
    for (const std::size_t i : sources) collides[i] = true;
  }

  // The names that do not collide stay; the others take their parent folder's name before them and,
  // while still taken, a number after them.
  std::set<std::u16string> taken;
  const auto take = [&taken](const std::u16string& name) {
    for (const std::u16string_view suffix : kSuffixes) taken.insert(Folded(name + std::u16string(suffix)));
  };
  const auto free = [&taken](const std::u16string& name) {
    return std::none_of(kSuffixes.begin(), kSuffixes.end(), [&](std::u16string_view suffix) {
      return taken.count(Folded(name + std::u16string(suffix))) != 0;
    });
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!collides[i]) take(names[i]);
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!collides[i]) continue;
    std::u16string joined;
    if (absolute_paths[i] != kStandardInput) {
      const std::vector<std::u16string_view> parts = Components(absolute_paths[i]);
      std::size_t used = 0;
      const std::u16string_view base = RawBase(parts, &used);
      joined = parts.size() > used ? std::u16string(parts[parts.size() - used - 1]) + u"_" : std::u16string();
      joined += base;
    } else {
      joined = names[i];
    }
    std::u16string name = Cleaned(joined);
    for (int n = 2; !free(name); ++n) {
      std::u16string suffix = u"-";
      for (const char digit : std::to_string(n)) suffix += static_cast<char16_t>(digit);
      name = Cleaned(joined, kMaxNameBytes - suffix.size()) + suffix;
    }
    take(name);
    names[i] = name;
  }
  return names;
}

}  // namespace recaster::fleet
