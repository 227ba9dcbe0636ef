// File: check/check.h - the check of a version 6 configuration file as an administrator edited it:
// well-formed strict JSON first, then the members, forms and ranges `convert` writes, then what a
// person likely did not mean. Platform-free: the caller reads the bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace recaster::check {

enum class Severity { kError, kWarning };

// One thing found: where (a byte offset into the file, and the JSON pointer of the value) and what.
struct Finding {
  Severity severity = Severity::kError;
  std::size_t offset = 0;
  std::string pointer;  // "/network/interfaces/1/port"; empty for the document as a whole
  std::string message;
};

// The findings a check keeps of one file by default; the rest are counted only.
inline constexpr std::size_t kFindingsKept = 100;

class ObjectVisitor;  // check/rules.h

struct CheckOptions {
  bool strict = false;  // an unknown member is an error, not a warning
  std::size_t most_kept = kFindingsKept;
  ObjectVisitor* visitor = nullptr;  // shown each checked object as it closes
};

// What the check found: the first findings in the order of the file (at most `most_kept`), and the
// count of all of them, which gives the verdict.
struct CheckResult {
  std::vector<Finding> findings;
  std::size_t errors = 0;
  std::size_t warnings = 0;

  bool valid() const { return errors == 0; }
  // The findings counted but not kept.
  std::size_t not_kept() const { return errors + warnings - findings.size(); }
};

// Checks the whole file's bytes. The document is streamed through the parser, never held as a tree: a
// caller that wants values sees them through `options.visitor`.
CheckResult CheckDocument(std::string_view bytes, const CheckOptions& options);

// A place in the file as a person counts it: the line from 1, the column in characters from 1.
struct Position {
  std::size_t line = 1;
  std::size_t column = 1;
};

// The positions of the findings' offsets (in file order, as CheckDocument gives them), worked out in
// one pass over the bytes.
std::vector<Position> PositionsOf(std::string_view bytes, const std::vector<Finding>& findings);

// "FILE:LINE:COLUMN: error: POINTER: MESSAGE", one line per finding, each ending in a line feed.
std::string FindingLines(std::string_view file, std::string_view bytes, const std::vector<Finding>& findings);

}  // namespace recaster::check
