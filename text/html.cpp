// The HTML escaper: a table of the five bytes that need an entity, and runs between them copied whole.
#include "text/html.h"

#include <array>
#include <cstddef>

namespace recaster::text {
namespace {

// The entity of each byte that needs one; empty for every other byte.
constexpr std::array<std::string_view, 256> kEntities = [] {
  std::array<std::string_view, 256> entities{};
  entities['&'] = "&amp;";
  entities['<'] = "&lt;";
  entities['>'] = "&gt;";
  entities['"'] = "&quot;";
  entities['\''] = "&#39;";
  return entities;
}();

}  // namespace

void AppendEscapedHtml(std::string_view text, std::string& out) {
  out.reserve(out.size() + text.size() + text.size() / 4);
  std::size_t kept = 0;  // the start of the run that goes out as it is
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view entity = kEntities[static_cast<unsigned char>(text[i])];
    if (entity.empty()) continue;
    out.append(text, kept, i - kept);
    out += entity;
    kept = i + 1;
  }
  out.append(text, kept, text.size() - kept);
}

}  // namespace recaster::text
