// File: convert/exit_code.h - the program's outcomes: the exit codes of the command line, the code of
// each source of a fleet (its row and index.json's exit_code), and one text for each.
#pragma once

#include <string_view>

namespace recaster {

// The exit codes, and a source's outcome code (0 to 3) in a call over many sources.
enum ExitCode : int {
  kExitOk = 0,           // done
  kExitWriteFailed = 1,  // an output, or standard output, could not be written
  kExitUsage = 2,        // bad arguments, or a source or destination that cannot be one
  kExitUnreadable = 3,   // a source cannot be read, or is not a readable version 5 configuration
  kExitNotReplaced = 4,  // an output exists and was not to be replaced
  kExitLeftBehind = 5,   // with --detailed-exitcode: done, and settings remain to re-create or to check
  kExitNotValid = 6,     // check: a file was read and is not a valid version 6 configuration
  kExitDiffers = 7,      // diff: the two sides differ
};

inline constexpr ExitCode kExitCodes[] = {kExitOk,         kExitWriteFailed, kExitUsage,
                                          kExitUnreadable, kExitNotReplaced, kExitLeftBehind,
                                          kExitNotValid,   kExitDiffers};

// What the code means, in a few words (the help's footer, the man page and the guide start with these).
constexpr std::string_view ExitCodeText(ExitCode code) {
  switch (code) {
    case kExitOk: return "done";
    case kExitWriteFailed: return "an output, or standard output, could not be written";
    case kExitUsage: return "usage error, or a source or destination that cannot be one";
    case kExitUnreadable: return "a source cannot be read, or is not a readable Ornvale 5 server configuration";
    case kExitNotReplaced: return "an output exists and was not replaced";
    case kExitLeftBehind: return "with --detailed-exitcode: done, and settings remain to re-create or to check";
    case kExitNotValid: return "check: a file is not a valid version 6 configuration";
    case kExitDiffers: return "diff: the two sides differ";
  }
  return "";
}

}  // namespace recaster
