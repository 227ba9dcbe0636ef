// File: check/json_output.h - the findings of a check over several files as one JSON document
// (docs/check.schema.json), written into a sink a file at a time.
#pragma once

#include <string>
#include <string_view>

#include "check/check.h"
#include "text/json_writer.h"
#include "text/sink.h"

namespace recaster::check {

// The document's version: a minor version only adds members.
inline constexpr std::string_view kJsonFormatVersion = "1.0";

// {"format_version", "files": [{"path", "valid", "error_count", "warning_count", "diagnostics": [...]}]}:
// each file as it is checked, the findings kept (CheckResult) as diagnostics with their line and
// column. Text is I-JSON: a hidden character is a \u escape, a lone surrogate of a path U+FFFD.
class JsonOutput {
 public:
  explicit JsonOutput(text::TextSink& sink);

  // A file that was read and checked; `bytes` are what the check saw, for the positions.
  void File(std::u16string_view path, std::string_view bytes, const CheckResult& result);
  // A file that could not be read: not valid, no diagnostics, and the reason as "read_error".
  void Unreadable(std::u16string_view path, std::string_view why);
  // Closes the document; true when the sink took every piece.
  bool Finish();

 private:
  void Head(std::u16string_view path, bool valid, std::size_t errors, std::size_t warnings);

  text::JsonWriter writer_;
};

}  // namespace recaster::check
