// File: convert/source.h - the one step every command and both programs take with a source: its kind
// told before anything is opened, its bytes read, loaded (memory running out included) and planned,
// or refused with the reason in one set of words.
#pragma once

#include <string>
#include <string_view>

#include "convert/convert.h"
#include "convert/exit_code.h"
#include "platform/platform.h"

namespace recaster::convert {

// The source read from standard input instead of a file.
inline constexpr std::u16string_view kStandardInput = u"-";

// True for the source that stands for standard input.
inline bool IsStandardInput(std::u16string_view source) { return source == kStandardInput; }

// Standard input as a source, read at most once per call by the caller: its bytes (at most the
// loader's limit plus one, so that a longer input is refused as a larger file is), or why it could not
// be read.
struct StandardInput {
  bool read = false;
  platform::OsStatus status;
  std::string bytes;
};

// How far the step goes with a source that loads: the document only, its plan too, or the
// configuration tree as well (ConversionResult then as BuildConfigTree gives it).
enum class SourceStage { kLoad, kPlan, kTree };

// One source to take: a path or kStandardInput (whose bytes `input` holds), and, when the caller has
// looked at the path already, what it found, so that its kind is asked once.
struct SourceRequest {
  std::u16string_view path;
  const StandardInput* input = nullptr;
  const platform::PathInfo* known = nullptr;
  SourceStage until = SourceStage::kTree;
};

// What became of the source: kExitOk with the conversion, or kExitUsage (the path names no file, a
// folder, or no regular file) or kExitUnreadable (the system keeps us from the file, it cannot be read,
// memory ran out, or it is no version 5 configuration), with the reason.
struct [[nodiscard]] SourceOutcome {
  ExitCode code = kExitOk;
  std::string reason;        // UTF-8, in the system's words where the system said why; empty when taken
  bool load_failed = false;  // the file was read, but is no readable version 5 configuration
  platform::PathInfo info;   // what the path named (nothing for standard input)
  ConversionResult conversion;

  bool ok() const { return code == kExitOk; }
  // The reason as a row of a summary or an index tells it: a file that did not load is said to be
  // "not a readable Ornvale 5 server configuration" first.
  std::string RowReason() const;
};

// Takes the source: a FIFO, a device or a folder is refused by its kind before any open that could
// wait; a regular file is read and loaded into a fresh document, then planned and mapped as `until`
// asks. Never throws for want of memory: that is a refusal ("not enough memory").
SourceOutcome TakeSource(const SourceRequest& request);

}  // namespace recaster::convert
