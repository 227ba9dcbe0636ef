// File: convert/convert.h - one conversion's platform-free core: the configuration tree's JSON text
// and writing it to the destination file.
//
// For the command line, one conversion is:
//   ConversionResult built = BuildConfigTree(source);     // stop when !built.ok(): DescribeLoadResult
//   std::string problem = JsonProblem(built.tree);        // stop when not empty
//   SystemError code = WriteConfigFile(built.tree, destination);  // DescribeWriteError(code)
// and ConversionNotes(built), each shown as FormatNote, tell what a person finishes by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "mapping/mapping.h"
#include "platform/platform.h"
#include "settings/ov_settings.h"
#include "text/sink.h"
#include "tree/config_tree.h"
#include "xml/xml_document.h"

namespace recaster::convert {

using platform::SystemError;

// ERROR_WRITE_FAULT: the write ended short and the system named no reason.
inline constexpr SystemError kWriteFault = 29;
// ERROR_FILE_TOO_LARGE: the text is 4 GiB or more and cannot go out in one write; nothing was opened.
inline constexpr SystemError kFileTooLarge = platform::kFileTooLarge;

// Replacing a destination that another process holds is tried this often, each failure followed by
// this wait, before the sharing violation is returned.
inline constexpr int kOpenAttempts = platform::kSharingAttempts;
inline constexpr std::uint32_t kOpenRetryWaitMs = platform::kSharingWaitMs;

// The steps of a conversion after the source is found, in order. The JSON text is made while it is
// written, so kJsonText begins before the first write of kWrite.
enum class ConversionStep { kLoad, kMap, kJsonText, kWrite };

// A test's way into the steps: called as each step begins, when not null (it is null in the program).
// A test throws std::bad_alloc from it to run out of memory in that step.
extern void (*g_before_step)(ConversionStep);
void BeginStep(ConversionStep step);

// A sink over a file open for writing: each piece in one write request; the first failure (the
// system's code, kFileTooLarge for a piece past 4 GiB, kWriteFault for a short write without a reason)
// is kept and refuses the rest.
class HandleSink final : public text::TextSink {
 public:
  HandleSink(platform::FileSystem& files, platform::FileHandle file) : files_(files), file_(file) {}
  bool Write(std::string_view bytes) override;
  platform::SystemError result() const { return result_; }

 private:
  platform::FileSystem& files_;
  platform::FileHandle file_;
  platform::SystemError result_ = platform::kSuccess;
};

// The writer's message when the tree cannot be JSON ("ptree contains data that cannot be represented
// in JSON format": the root has a value, or a node has both a value and children); empty when it can.
std::string JsonProblem(const tree::ConfigTree& tree);

// Writes the JSON text of a tree that JsonProblem passes to the sink in pieces of 64 KiB (the last
// shorter): pretty, 4-space indentation, every value a string, UTF-8 passed through, the escapes of
// Boost's JSON writer (\/ included, \u00XX for other control characters), one line feed after the
// root's "}". False when the sink refused a piece; nothing more was offered to it then.
bool WriteJson(const tree::ConfigTree& tree, text::TextSink& sink);

// The whole JSON text of the tree (WriteJson into a string). Throws
// boost::property_tree::json_parser_error with JsonProblem's message when the tree cannot be JSON.
std::string ConfigTreeToJson(const tree::ConfigTree& tree);

// The JSON text, or why there is none.
struct [[nodiscard]] JsonResult {
  std::string text;
  std::string error;  // the writer's message; empty on success

  bool ok() const { return error.empty(); }
};

// The whole JSON text of the tree, or JsonProblem's message.
JsonResult TryConfigTreeToJson(const tree::ConfigTree& tree);

// Writes the file so that it is never lost nor seen half written: the bytes go, in one request, to a
// new temporary file beside the destination, are flushed to disk, and the temporary then takes the
// destination's place in one step. A symbolic link is followed, and its target replaced; a hard-linked
// destination's name gets the new file while its other names keep the old one. A device or FIFO (such
// as /dev/null) is written as it is. A destination that another process holds is tried kOpenAttempts
// times, kOpenRetryWaitMs apart (also after the last), then 32 is returned. Returns 0, or the Windows
// system error code (5 denied or read-only, 3 missing folder, 112 disk full, kWriteFault for a short
// write, kFileTooLarge for 4 GiB or more). On failure the destination is as it was (or still absent)
// and no temporary file is left, an exception thrown while writing included.
[[nodiscard]] SystemError WriteTextFile(const std::u16string& path, std::string_view bytes);

// The tree's JSON text written as WriteTextFile writes, but made while it is written (WriteJson), a
// piece of 64 KiB per request, so that the whole text never exists at once. A tree that cannot be JSON
// throws as ConfigTreeToJson does, before anything is opened; the caller that must not throw asks
// JsonProblem first.
[[nodiscard]] SystemError WriteConfigFile(const tree::ConfigTree& tree, const std::u16string& path);

// A person's text for a code WriteTextFile returned.
std::string DescribeWriteError(SystemError code);

// The source offered first: "ov_server_settings.cfg" in the "Ornvale" folder of the machine-wide
// application data, or the bare file name when the system cannot tell that folder.
std::u16string DefaultInputPath();

// The destination offered first: "converted_ov_config.json" in the user's documents, or the bare file
// name when the system cannot tell that folder.
std::u16string DefaultOutputPath();

// One thing a person finishes by hand: a value the mapping adjusted, or a version 5 setting that
// differs from its default and is not carried over. `setting` is "Group.Key" (nested:
// "Backup.Schedule.Times"); `text` never holds the value of a secret.
struct ConversionNote {
  std::string setting;
  std::string text;
};

// The outcome of building the tree: the load status and why, the loaded settings, the plan made of
// them and the tree. Movable, not copyable: the plan views the
// document this result owns (a move keeps the document where it is).
struct [[nodiscard]] ConversionResult {
  xml::XmlLoadResult load;
  std::unique_ptr<settings::COVSettings> document;  // the settings read; null when the load failed
  tree::ConfigTree tree;                                  // "network" then "storage"; empty when the load failed
  mapping::Plan plan;                               // of *document; empty when the load failed

  bool ok() const { return load.ok(); }
};

// Loads the version 5 file into a fresh document, makes its plan and builds the tree from it. A
// source that cannot be read or parsed is not converted: the result carries the loader's reason, no
// document and an empty tree, and the caller stops before touching any destination.
ConversionResult BuildConfigTree(const std::u16string& source);

// BuildConfigTree without the tree: the loaded document and its plan, for a reader
// that renders the plan (the migration report) and writes no version 6 file.
ConversionResult PlanConversion(const std::u16string& source);

// The plan of a conversion whose document is loaded, without the tree.
void PlanConversion(ConversionResult& conversion);

// The plan and the tree of a conversion whose document is loaded (the second half of
// BuildConfigTree, for a caller that loads on its own).
void MapConversion(ConversionResult& conversion);

// What a person finishes by hand after the conversion: the mapping's adjustments, then every setting
// the plan leaves behind (NotCarriedOver). Empty for a conversion that did not load.
std::vector<ConversionNote> ConversionNotes(const ConversionResult& conversion);

// The same notes for a plan: its adjustments (mapping::AdjustmentText), then the settings it leaves behind.
std::vector<ConversionNote> ConversionNotes(const mapping::Plan& plan);

// Every setting of the document that differs from a fresh document's and is not carried over, in
// document order, each as "VALUE (default DEFAULT), not carried over" in the words of the migration
// report (words::ValueLine and words::DefaultLine): "yes", "3 days", "2 items", a text in double
// quotes, a long or multi-line text by its length, a password as "set", secrets hidden by the one rule.
std::vector<ConversionNote> NotCarriedOver(const settings::COVSettings& document);

// The same notes, for the settings the plan leaves behind.
std::vector<ConversionNote> NotCarriedOver(const mapping::Plan& plan);

// "setting: text", one line, with every hidden character made visible (AppendVisible).
std::string FormatNote(const ConversionNote& note);

}  // namespace recaster::convert
