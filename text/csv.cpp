// The CSV cell escaper: a formula guard, then the cell quoted when it must be.
#include "text/csv.h"

namespace recaster::text {
namespace {

// True for a cell a spreadsheet would read as a formula or a command.
bool StartsLikeFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
}

}  // namespace

void AppendCsvCell(std::string_view text, std::string& out) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos;
  if (quoted) out += '"';
  if (StartsLikeFormula(text)) out += '\'';
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      out += "\"\"";
    } else if (c == '\n' && (i == 0 || text[i - 1] != '\r')) {
      out += kCsvLineEnd;
    } else {
      out += c;
    }
  }
  if (quoted) out += '"';
}

}  // namespace recaster::text
