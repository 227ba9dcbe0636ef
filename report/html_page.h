// File: report/html_page.h - the pieces every HTML page of the report is made of, the index's too: a
// text made visible and escaped, and the head with the one Content-Security-Policy and the one style sheet.
#pragma once

#include <string_view>

#include "report/text_out.h"

namespace recaster::report {

// The text with its hidden characters made visible (a block's keeps its line feeds and tabs), then
// escaped by text::AppendEscapedHtml, a piece of about kOutPiece bytes at a time.
void HtmlText(std::string_view text, TextOut& out, bool block = false);

// The page up to and with <body>: UTF-8, a Content-Security-Policy under which only the page's own
// style applies and nothing is fetched or run, no referrer, `title` escaped, and the style sheet.
void BeginHtmlPage(std::string_view title, TextOut& out);

// The end of the page after its body's last element.
void EndHtmlPage(TextOut& out);

}  // namespace recaster::report
