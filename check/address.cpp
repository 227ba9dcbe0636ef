// The text forms of an address a listener can bind: IPv4 dotted decimal, IPv6 with "::" and a dotted
// IPv4 tail. No zone and no host name: the server binds addresses, it does not look names up.
#include <cstddef>
#include <string_view>

#include "check/rules.h"

namespace recaster::check {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Four parts of 0 to 255, without leading zeros.
bool IsIpv4(std::string_view text) {
  int parts = 0;
  while (true) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && IsDigit(text[digits])) value = value * 10 + static_cast<unsigned>(text[digits++] - '0');
    if (digits == 0 || digits > 3 || value > 255 || (digits > 1 && text[0] == '0')) return false;
    text.remove_prefix(digits);
    if (++parts == 4) return text.empty();
    if (text.empty() || text[0] != '.') return false;
    text.remove_prefix(1);
  }
}

// The number of 16-bit groups in a run of groups without "::"; -1 when it is no such run. An IPv4
// tail counts two groups when `tail` allows it.
int Groups(std::string_view text, bool tail) {
  if (text.empty()) return 0;
  int groups = 0;
  while (true) {
    const std::size_t end = text.find(':');
    const std::string_view group = text.substr(0, end);
    if (end == std::string_view::npos && tail && group.find('.') != std::string_view::npos) {
      return IsIpv4(group) ? groups + 2 : -1;
    }
    if (group.empty() || group.size() > 4) return -1;
    for (const char c : group) {
      if (!IsHex(c)) return -1;
    }
    ++groups;
    if (end == std::string_view::npos) return groups;
    text.remove_prefix(end + 1);
  }
}

bool IsIpv6(std::string_view text) {
  const std::size_t gap = text.find("::");
  if (gap == std::string_view::npos) return Groups(text, true) == 8;
  const std::string_view before = text.substr(0, gap);
  const std::string_view after = text.substr(gap + 2);
  if (after.find("::") != std::string_view::npos) return false;
  const int head = Groups(before, false);
  const int rest = Groups(after, true);
  return head >= 0 && rest >= 0 && head + rest <= 7;
}

}  // namespace

bool IsIpAddress(std::string_view text) {
  // The longest form is six full groups and an IPv4 tail: a longer text, which may be megabytes, is none.
  constexpr std::size_t kLongest = std::string_view("ffff:ffff:ffff:ffff:ffff:ffff:255.255.255.255").size();
  return text.size() <= kLongest && (IsIpv4(text) || IsIpv6(text));
}

}  // namespace recaster::check
