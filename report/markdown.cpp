// The report as Markdown that reads well in a terminal: padded tables, wrapped paragraphs, values from
// the file in code spans (so that a Markdown viewer shows them as text), long values in fenced blocks,
// and no hidden character raw.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/report.h"

namespace recaster::report {
namespace {

constexpr std::size_t kWrapColumn = 100;
constexpr std::size_t kMaxPaddedWidth = 40;  // wider cells are not padded to by the others

// The text with its hidden characters made visible; a block's keeps its line feeds and tabs.
std::string Visible(std::string_view text, bool block = false) {
  std::string buffer;
  const std::string_view visible = convert::VisibleView(text, block, buffer);
  return visible.data() == buffer.data() ? std::move(buffer) : std::string(visible);
}

// A span as it reads: a literal in a code span.
std::string SpanText(const Span& span);

// The number of characters (not bytes) of UTF-8 text.
std::size_t Width(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::size_t LongestRun(std::string_view text, char c) {
  std::size_t longest = 0;
  std::size_t run = 0;
  for (const char ch : text) {
    run = ch == c ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

// A code span that holds the text exactly: a fence longer than any run of backticks in it, padded
// with a blank where the text starts or ends with a backtick.
std::string CodeSpan(std::string_view text) {
  if (text.empty()) return std::string();
  const std::string fence(LongestRun(text, '`') + 1, '`');
  const bool pad = text.front() == '`' || text.back() == '`' ||
                   (text.front() == ' ' && text.back() == ' ' && text.find_first_not_of(' ') != std::string_view::npos);
  const std::string space = pad ? " " : "";
  return fence + space + std::string(text) + space + fence;
}

std::string SpanText(const Span& span) {
  std::string buffer;
  const std::string_view visible = convert::VisibleView(span.text, false, buffer);
  return span.literal ? CodeSpan(visible) : std::string(visible);
}

std::string Inline(const Text& text) {
  std::string out;
  for (const Span& span : text) out += SpanText(span);
  return out;
}

// In a table cell a vertical bar would end the cell, inside a code span too.
std::string CellText(const Text& text) {
  std::string out;
  for (const char c : Inline(text)) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

// The paragraph wrapped at the blanks between words; a value from the file is never split.
std::string Wrapped(const Text& text) {
  std::string line;
  std::vector<bool> breakable;  // per byte of `line`: a blank where the line may break
  for (const Span& span : text) {
    const std::string piece = SpanText(span);
    line += piece;
    for (const char c : piece) breakable.push_back(!span.literal && c == ' ');
  }
  std::string out;
  std::size_t column = 0;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = start;
    while (end < line.size() && !breakable[end]) ++end;
    const std::string_view word(line.data() + start, end - start);
    if (column != 0 && column + 1 + Width(word) > kWrapColumn) {
      out += '\n';
      column = 0;
    } else if (column != 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += Width(word);
    start = end + 1;
  }
  return out;
}

std::string Padded(const std::string& text, std::size_t width) {
  const std::size_t w = Width(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

void RenderRow(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths, std::string& out) {
  out += '|';
  for (std::size_t i = 0; i < cells.size(); ++i) out += ' ' + Padded(cells[i], widths[i]) + " |";
  out += '\n';
}

// A block value shown after its table, under the name of its row and column.
struct Shown {
  std::string label;
  std::string text;
};

void RenderTable(const Table& table, std::string& out) {
  std::vector<std::string> headers;
  if (table.checklist) headers.emplace_back("To do");
  for (const std::string& header : table.headers) headers.push_back(Visible(header));
  std::vector<std::vector<std::string>> rows;
  std::vector<Shown> below;
  for (const Row& row : table.rows) {
    std::vector<std::string> cells;
    if (table.checklist) cells.emplace_back(row.to_do ? "[ ]" : "");
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const Cell& cell = row.cells[i];
      if (!cell.block) {
        cells.push_back(CellText(cell.text));
        continue;
      }
      cells.emplace_back("(shown below the table)");
      const std::string column = i < table.headers.size() ? Visible(table.headers[i]) : std::string();
      const std::string name = row.cells.empty() ? std::string() : Inline(row.cells.front().text);
      std::string text;
      for (const Span& span : cell.text) text += Visible(span.text, true);
      below.push_back(Shown{name + ", " + column, std::move(text)});
    }
    rows.push_back(std::move(cells));
  }

  std::vector<std::size_t> widths(headers.size(), 3);
  const auto widen = [&widths](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], std::min(Width(cells[i]), kMaxPaddedWidth));
    }
  };
  widen(headers);
  for (const auto& cells : rows) widen(cells);

  RenderRow(headers, widths, out);
  out += '|';
  for (const std::size_t width : widths) out += std::string(width + 2, '-') + '|';
  out += '\n';
  for (const auto& cells : rows) RenderRow(cells, widths, out);
  out += '\n';

  // The text, then a line feed before the closing fence: a text that ends in a line feed keeps it as
  // an empty last line.
  for (const Shown& shown : below) {
    const std::string fence(std::max<std::size_t>(3, LongestRun(shown.text, '`') + 1), '`');
    out += shown.label + ":\n\n" + fence + '\n' + shown.text + '\n' + fence + "\n\n";
  }
}

void RenderBlock(const Block& block, std::string& out) {
  if (const auto* heading = std::get_if<Heading>(&block)) {
    out += std::string(static_cast<std::size_t>(std::clamp(heading->level, 1, 6)), '#') + ' ' + Inline(heading->text) +
           "\n\n";
  } else if (const auto* paragraph = std::get_if<Paragraph>(&block)) {
    out += Wrapped(paragraph->text) + "\n\n";
  } else if (const auto* table = std::get_if<Table>(&block)) {
    RenderTable(*table, out);
  }
}

}  // namespace

namespace {

// The text ends in one line feed however many the last blocks leave, so the line feeds at the end of
// each piece wait until more text follows.
class MarkdownInTurn final : public ReportPieces {
 public:
  std::string Begin(std::span<const Report> summaries) override {
    std::string out;
    if (summaries.size() > 1) {
      out += "# Migration summary\n\n";
      RenderTable(SummaryTable(summaries), out);
    }
    return Held(std::move(out));
  }
  std::string Next(const Report& report) override {
    std::string out;
    for (const Block& block : report.blocks) RenderBlock(block, out);
    return Held(std::move(out));
  }
  std::string End() override { return line_feeds_ == 0 ? std::string() : "\n"; }

 private:
  std::size_t line_feeds_ = 0;  // at the end of the text so far, not yet given out

  std::string Held(std::string piece) {
    const std::size_t text_end = piece.find_last_not_of('\n') + 1;  // 0 when all line feeds
    const std::size_t trailing = piece.size() - text_end;
    if (text_end == 0) {
      line_feeds_ += trailing;
      return std::string();
    }
    piece.resize(text_end);
    piece.insert(0, line_feeds_, '\n');
    line_feeds_ = trailing;
    return piece;
  }
};

}  // namespace

std::unique_ptr<ReportPieces> MarkdownPieces() { return std::make_unique<MarkdownInTurn>(); }

std::string ToMarkdown(std::span<const Report> reports) {
  MarkdownInTurn pieces;
  std::string out = pieces.Begin(reports);
  for (const Report& report : reports) out += pieces.Next(report);
  return out + pieces.End();
}

}  // namespace recaster::report
