// The report as Markdown that reads well in a terminal: padded tables, wrapped paragraphs, values from
// the file in code spans (so that a Markdown viewer shows them as text), long values in fenced blocks,
// and no hidden character raw.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/report.h"
#include "report/text_out.h"

namespace recaster::report {
namespace {

constexpr std::size_t kWrapColumn = 100;
constexpr std::size_t kMaxPaddedWidth = 40;  // wider cells are not padded to by the others

// The text with its hidden characters made visible; a block's keeps its line feeds and tabs.
std::string Visible(std::string_view text, bool block = false) {
  std::string buffer;
  const std::string_view visible = words::VisibleView(text, block, buffer);
  return visible.data() == buffer.data() ? std::move(buffer) : std::string(visible);
}

// A span as it reads: a literal in a code span.
std::string SpanText(const words::Span& span);

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

std::string SpanText(const words::Span& span) {
  std::string buffer;
  const std::string_view visible = words::VisibleView(span.text, false, buffer);
  return span.literal ? CodeSpan(visible) : std::string(visible);
}

std::string Inline(const words::Text& text) {
  std::string out;
  for (const words::Span& span : text) out += SpanText(span);
  return out;
}

// In a table cell a vertical bar would end the cell, inside a code span too.
std::string CellText(const words::Text& text) {
  std::string out;
  for (const char c : Inline(text)) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

// The paragraph wrapped at the blanks between words; a value from the file is never split.
std::string Wrapped(const words::Text& text) {
  std::string line;
  std::vector<bool> breakable;  // per byte of `line`: a blank where the line may break
  for (const words::Span& span : text) {
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

// The text made visible, written piece by piece; in a table cell a vertical bar would end the cell,
// inside a code span too, and is escaped.
void WriteVisible(std::string_view text, bool block, bool in_cell, TextOut& out) {
  ForVisiblePieces(text, block, [&](std::string_view piece) {
    if (!in_cell) {
      out += piece;
      return;
    }
    for (std::size_t bar = piece.find('|'); bar != std::string_view::npos; bar = piece.find('|')) {
      out += piece.substr(0, bar);
      out += "\\|";
      piece.remove_prefix(bar + 1);
    }
    out += piece;
  });
}

// SpanText written as it is made. The fence and the blanks of a code span are chosen on the text
// before it is made visible: that keeps every backtick and blank, and adds neither.
void WriteSpan(const words::Span& span, bool in_cell, TextOut& out) {
  if (!span.literal || span.text.empty()) return WriteVisible(span.text, false, in_cell, out);
  const std::string_view text = span.text;
  const std::size_t fence = LongestRun(text, '`') + 1;
  const bool pad = text.front() == '`' || text.back() == '`' ||
                   (text.front() == ' ' && text.back() == ' ' && text.find_first_not_of(' ') != std::string_view::npos);
  out.Repeat(fence, '`');
  if (pad) out += ' ';
  WriteVisible(text, false, in_cell, out);
  if (pad) out += ' ';
  out.Repeat(fence, '`');
}

void WriteInline(const words::Text& text, bool in_cell, TextOut& out) {
  for (const words::Span& span : text) WriteSpan(span, in_cell, out);
}

// The width of a cell's text up to kMaxPaddedWidth, made only for short spans: every character of a
// longer one shows as one character at least.
std::size_t CellWidth(const words::Text& text) {
  std::size_t width = 0;
  for (const words::Span& span : text) {
    if (span.text.size() > 4 * kMaxPaddedWidth) return kMaxPaddedWidth;
    width += Width(CellText(words::Text{span}));
    if (width >= kMaxPaddedWidth) return kMaxPaddedWidth;
  }
  return width;
}

void WritePadding(std::size_t width, std::size_t column_width, TextOut& out) {
  if (width < column_width) out.Repeat(column_width - width, ' ');
}

constexpr std::string_view kShownBelow = "(shown below the table)";

// A table's headers and the padded width of each column and of each cell, without the cells' text.
struct TableLayout {
  std::vector<std::string> headers;
  std::vector<std::size_t> widths;
  std::vector<std::vector<std::size_t>> cell_widths;

  std::size_t ColumnWidth(std::size_t column) const { return column < widths.size() ? widths[column] : 0; }
};

// True for a row the table shows: in a checklist, its rows to do are items above it instead.
bool InTable(const Table& table, const Row& row) { return !(table.checklist && row.to_do); }

TableLayout LayOutTable(const Table& table) {
  TableLayout layout;
  for (const std::string& header : table.headers) layout.headers.push_back(Visible(header));
  std::vector<std::size_t>& widths = layout.widths;
  widths.assign(layout.headers.size(), 3);
  const auto widen = [&widths](std::size_t column, std::size_t width) {
    if (column < widths.size()) widths[column] = std::max(widths[column], std::min(width, kMaxPaddedWidth));
  };
  for (std::size_t i = 0; i < layout.headers.size(); ++i) widen(i, Width(layout.headers[i]));
  for (const Row& row : table.rows) {
    if (!InTable(table, row)) continue;
    std::vector<std::size_t>& row_widths = layout.cell_widths.emplace_back();
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const words::Cell& cell = row.cells[i];
      row_widths.push_back(cell.block ? Width(kShownBelow) : CellWidth(cell.text));
      widen(i, row_widths.back());
    }
  }
  return layout;
}

void WriteTableHead(const TableLayout& layout, TextOut& out) {
  out += '|';
  for (std::size_t i = 0; i < layout.headers.size(); ++i) {
    out += ' ';
    out += layout.headers[i];
    WritePadding(Width(layout.headers[i]), layout.widths[i], out);
    out += " |";
  }
  out += "\n|";
  for (const std::size_t width : layout.widths) {
    out.Repeat(width + 2, '-');
    out += '|';
  }
  out += '\n';
}

void WriteTableRows(const Table& table, const TableLayout& layout, TextOut& out) {
  std::size_t r = 0;
  for (const Row& row : table.rows) {
    if (!InTable(table, row)) continue;
    out += '|';
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      out += ' ';
      if (row.cells[i].block) {
        out += kShownBelow;
      } else {
        WriteInline(row.cells[i].text, true, out);
      }
      WritePadding(layout.cell_widths[r][i], layout.ColumnWidth(i), out);
      out += " |";
    }
    out += '\n';
    ++r;
  }
  out += '\n';
}

// A cell in a list item: its text, or where a block value stands.
void WriteItemCell(const words::Cell& cell, TextOut& out) {
  if (cell.block) {
    out += "(shown below the list)";
  } else {
    WriteInline(cell.text, false, out);
  }
}

// Each row to do of a checklist as a task-list item of one line: the setting's path in a code span,
// then "VALUE (default DEFAULT)" or "WHAT WAS DONE; WHAT TO DO". Every text of it is made visible, so a
// value holds no line feed, and a value starts no line, so no value can end the item or start another.
void WriteItems(const Table& table, TextOut& out) {
  for (const Row& row : table.rows) {
    if (!row.to_do || row.cells.empty()) continue;
    std::string path;
    for (const words::Span& span : row.cells.front().text) path += span.text;
    out += "- [ ] ";
    WriteSpan(words::Span{std::move(path), true}, false, out);
    for (std::size_t i = 1; i < row.cells.size(); ++i) {
      const bool with_default = table.item_form == ItemForm::kValueAndDefault && i == 2;
      out += i == 1 ? ": " : with_default ? " (default " : "; ";
      WriteItemCell(row.cells[i], out);
      if (with_default) out += ')';
    }
    out += '\n';
  }
  out += '\n';
}

// A block value under the name of its row and column: the text, then a line feed before the closing
// fence, so that a text that ends in a line feed keeps it as an empty last line.
void WriteBlockBelow(const std::string& name, const std::string& column, const words::Cell& cell, TextOut& out) {
  std::size_t longest = 0;
  std::size_t run = 0;  // a run of backticks goes on from one span into the next
  for (const words::Span& span : cell.text) {
    for (const char c : span.text) {
      run = c == '`' ? run + 1 : 0;
      longest = std::max(longest, run);
    }
  }
  const std::size_t fence = std::max<std::size_t>(3, longest + 1);
  out += name + ", " + column + ":\n\n";
  out.Repeat(fence, '`');
  out += '\n';
  for (const words::Span& span : cell.text) WriteVisible(span.text, true, false, out);
  out += '\n';
  out.Repeat(fence, '`');
  out += "\n\n";
}

// A checklist's items come first, then its other rows, the settings at their defaults, as a table.
void RenderTable(const Table& table, TextOut& out) {
  const auto items = static_cast<std::size_t>(
      std::count_if(table.rows.begin(), table.rows.end(), [&table](const Row& row) { return !InTable(table, row); }));
  if (items != 0) WriteItems(table, out);
  if (items != table.rows.size()) {
    if (table.checklist) {
      out += words::Counted(table.rows.size() - items, "setting at its default", "settings at their defaults") + ":\n\n";
    }
    const TableLayout layout = LayOutTable(table);
    WriteTableHead(layout, out);
    WriteTableRows(table, layout, out);
  }
  // Each block value after the list and the table.
  for (const Row& row : table.rows) {
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const words::Cell& cell = row.cells[i];
      if (!cell.block) continue;
      const std::string column = i < table.headers.size() ? Visible(table.headers[i]) : std::string();
      const std::string name = row.cells.empty() ? std::string() : Inline(row.cells.front().text);
      WriteBlockBelow(name, column, cell, out);
    }
  }
}

void RenderBlock(const Block& block, TextOut& out) {
  if (const auto* heading = std::get_if<Heading>(&block)) {
    out.Repeat(static_cast<std::size_t>(std::clamp(heading->level, 1, 6)), '#');
    out += ' ';
    WriteInline(heading->text, false, out);
    out += "\n\n";
  } else if (const auto* paragraph = std::get_if<Paragraph>(&block)) {
    out += Wrapped(paragraph->text) + "\n\n";
  } else if (const auto* table = std::get_if<Table>(&block)) {
    RenderTable(*table, out);
  }
}

// The text ends in one line feed however many the last blocks leave.
class MarkdownInTurn final : public ReportPieces {
 public:
  explicit MarkdownInTurn(text::TextSink& sink) : out_(sink, true) {}

  bool Begin(std::span<const Report> summaries) override {
    if (summaries.size() > 1) {
      out_ += "# Migration summary\n\n";
      RenderTable(SummaryTable(summaries), out_);
    }
    return out_.ok();
  }
  bool Next(const Report& report) override {
    for (const Block& block : report.blocks) RenderBlock(block, out_);
    return out_.ok();
  }
  bool End() override { return out_.Finish(); }

 private:
  TextOut out_;
};

}  // namespace

std::unique_ptr<ReportPieces> MarkdownPieces(text::TextSink& sink) { return std::make_unique<MarkdownInTurn>(sink); }

std::string ToMarkdown(std::span<const Report> reports) {
  text::StringSink sink;
  MarkdownInTurn pieces(sink);
  pieces.Begin(reports);
  for (const Report& report : reports) pieces.Next(report);
  pieces.End();
  return std::move(sink.text);
}

}  // namespace recaster::report
