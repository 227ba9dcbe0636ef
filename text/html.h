// File: text/html.h - the program's one HTML escaper: UTF-8 text made safe to stand anywhere in a page,
// in an element or in a quoted attribute. Below everything else; it knows nothing of reports.
#pragma once

#include <string>
#include <string_view>

namespace recaster::text {

// Appends the text with & < > " and ' written as their entities and every other byte as it is. A long
// run with nothing to escape is one copy.
void AppendEscapedHtml(std::string_view text, std::string& out);

}  // namespace recaster::text
