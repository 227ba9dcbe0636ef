// File: text/csv.h - the program's one CSV cell escaper: UTF-8 text made a cell of a comma-separated
// table that a spreadsheet reads as text. Below everything else; it knows nothing of reports.
#pragma once

#include <string>
#include <string_view>

namespace recaster::text {

// The line end of every CSV row.
inline constexpr std::string_view kCsvLineEnd = "\r\n";

// Appends the text as one CSV cell: a text that starts with '=', '+', '-', '@', a tab or a carriage
// return gets a leading '\'', so that a spreadsheet runs no formula; a cell that holds a comma, a
// double quote, a carriage return or a line feed is quoted, its double quotes doubled. A line feed
// inside a cell becomes CR LF.
void AppendCsvCell(std::string_view text, std::string& out);

}  // namespace recaster::text
