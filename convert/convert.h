// File: convert/convert.h - one conversion's platform-free core: the configuration tree's JSON text
// and writing it to the destination file. Re-exports the configuration tree (convert/config_tree.h).
//
// For the command line: TryConfigTreeToJson then WriteTextFile give every failure as a value;
// DescribeWriteError turns a code into a message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/config_tree.h"
#include "platform/platform.h"

namespace recaster::convert {

using platform::SystemError;

// ERROR_WRITE_FAULT: the write ended short and the system named no reason.
inline constexpr SystemError kWriteFault = 29;
// ERROR_FILE_TOO_LARGE: the text is 4 GiB or more and cannot go out in one write; nothing was opened.
inline constexpr SystemError kFileTooLarge = 223;

// Opening a destination that another process holds is tried this often, each failure followed by
// this wait, before the sharing violation is returned.
inline constexpr int kOpenAttempts = 4;
inline constexpr std::uint32_t kOpenRetryWaitMs = 25;

// The JSON text of the tree: pretty, 4-space indentation, every value a string, UTF-8 passed through,
// one line feed after the root's "}". Throws boost::property_tree::json_parser_error: "ptree contains
// data that cannot be represented in JSON format" when the root has a value or a node has both a value
// and children, "write error" when the text stream fails.
std::string ConfigTreeToJson(const ConfigTree& tree);

// The JSON text, or why there is none.
struct JsonResult {
  std::string text;
  std::string error;  // the writer's message; empty on success

  bool ok() const { return error.empty(); }
};

// ConfigTreeToJson with the writer's errors turned into a result; the one place that catches them.
JsonResult TryConfigTreeToJson(const ConfigTree& tree);

// Creates or empties the file, shared with nobody, and writes all bytes in one request. A file held
// by another process is tried kOpenAttempts times, kOpenRetryWaitMs apart (also after the last), then
// 32 is returned. Returns 0, or the Windows system error code (5 denied, 3 missing folder, 112 disk
// full, kWriteFault for a short write, kFileTooLarge for 4 GiB or more). The file is always closed.
SystemError WriteTextFile(const std::u16string& path, std::string_view bytes);

// ConfigTreeToJson, then WriteTextFile; the destination is opened only once the whole text exists,
// so a writer error (thrown as ConfigTreeToJson does) leaves it untouched.
SystemError WriteConfigFile(const ConfigTree& tree, const std::u16string& path);

// A person's text for a code WriteTextFile returned.
std::string DescribeWriteError(SystemError code);

// The source offered first: "ov_server_settings.cfg" in the "Ornvale" folder of the machine-wide
// application data, or the bare file name when the system cannot tell that folder.
std::u16string DefaultInputPath();

// The destination offered first: "converted_ov_config.json" in the user's documents, or the bare file
// name when the system cannot tell that folder.
std::u16string DefaultOutputPath();

}  // namespace recaster::convert
