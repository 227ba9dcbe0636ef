// The nearest name: a begun word, or the fewest single-character edits.
#include "check/nearest_name.h"

#include <algorithm>
#include <vector>

namespace recaster::check {

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string_view NearestName(std::string_view word, std::span<const std::string_view> names) {
  std::string_view nearest;
  std::size_t best = 3;
  for (const std::string_view name : names) {
    const std::size_t distance = name.starts_with(word) && word.size() >= 2 ? 0 : EditDistance(word, name);
    if (distance < best) best = distance, nearest = name;
  }
  return nearest;
}

}  // namespace recaster::check
