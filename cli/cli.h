// File: cli/cli.h - the recaster command line: `show` prints what a version 5 file holds, `convert`
// writes its version 6 configuration.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "convert/exit_code.h"
#include "platform/platform.h"

namespace recaster::cli {

// Where the program reads and writes; the real streams in main, string streams in tests.
struct Console {
  std::istream& in;
  std::ostream& out;  // data only
  std::ostream& err;  // messages, prompts and notes
  bool in_is_terminal = false;
  // The system's reason for the last failed write to `out`, when the streams are the process's own.
  std::string (*describe_out_error)() = nullptr;
  // Standard error is a terminal: the progress of a fleet is shown there.
  bool err_is_terminal = false;
  // Reads the process's standard input in binary mode (platform::ReadStandardInput); null: read `in`.
  platform::OsStatus (*read_in)(std::size_t limit, std::string* bytes) = nullptr;
};

// Writes `data` to standard output and flushes it. A failed write is said on standard error and gives
// kExitWriteFailed; otherwise kExitOk. Every command writes its data through this.
[[nodiscard]] int WriteData(Console& io, std::string_view data);

// Runs the program on its arguments (UTF-8, without the program name) and returns the exit code.
[[nodiscard]] int RunRecaster(const std::vector<std::string>& args, Console& io);

}  // namespace recaster::cli
