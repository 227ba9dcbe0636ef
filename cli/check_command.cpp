// The check command: whether version 6 files, as an administrator edited them, are what the server
// reads; a line per finding in the compilers' form and a summary per file on standard output, or one
// JSON document for all the files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <optional>

#include "check/check.h"
#include "check/json_output.h"
#include "cli/commands.h"
#include "platform/platform.h"
#include "text/sink.h"
#include "words/words.h"
#include "xml/xml_document.h"

namespace recaster::cli {
namespace {

// The findings of a file in the compilers' form, the count of those not shown, and its summary.
std::string TextOf(std::string_view file, std::string_view bytes, const check::CheckResult& result) {
  std::string text = check::FindingLines(file, bytes, result.findings);
  if (result.not_kept() != 0) {
    text += std::string(file) + ": " + words::Counted(result.not_kept(), "more finding", "more findings") + " not shown\n";
  }
  const std::string counts =
      words::Counted(result.errors, "error", "errors") + ", " + words::Counted(result.warnings, "warning", "warnings");
  return text + std::string(file) + (result.valid() ? ": valid (" : ": not a valid version 6 configuration (") + counts + ")\n";
}



// What exit 3 means for a check, where the files are version 6 ones.
constexpr std::string_view kUnreadableFile = "a file cannot be read";

std::string Footer() {
  std::string codes = ExitCodesFooter(std::initializer_list<ExitCode>{kExitOk, kExitWriteFailed, kExitUsage});
  codes.pop_back();
  codes += "; " + std::to_string(static_cast<int>(kExitUnreadable)) + " " + std::string(kUnreadableFile) + "; " +
           std::to_string(static_cast<int>(kExitNotValid)) + " " + std::string(ExitCodeText(kExitNotValid)) + ".";
  return "A check reads the file only: it cannot see whether the server can bind the address and port, or whether\n"
         "the storage folder exists and can be written.\n"
         "The first " + std::to_string(check::kFindingsKept) +
         " findings of a file are shown, then \"N more findings not shown\"; all are counted.\n"
         "--format json writes one document for all the files, as docs/check.schema.json says (format_version " +
         std::string(check::kJsonFormatVersion) + ").\n" + codes;
}

}  // namespace

void setup_check(CLI::App& app, CheckOptions& opt) {
  auto* check = app.add_subcommand("check", "Check version 6 configuration files as edited by hand, before importing them");
  check->add_flag("--strict", opt.strict, "An unknown member is an error, not a warning");
  check->add_option("--format", opt.format, "text (the default: a line per finding) or json (one document)")
      ->check(CLI::IsMember({"text", "json"}));
  check->add_option("FILE", opt.files, "The version 6 files, or - for standard input")->required()->check(NotEmpty());
  check->footer(Footer());
}

int run_check(const CheckOptions& opt, Console& io) {
  if (std::count(opt.files.begin(), opt.files.end(), "-") > 1) return StandardInputTwice(io);
  StandardOutput output(io);
  std::optional<check::JsonOutput> json;
  if (opt.format == "json") json.emplace(output);
  int worst = kExitOk;
  for (const std::string& name : opt.files) {
    const std::u16string path = platform::PathFromNative(name);
    std::string bytes;
    std::string why;
    StandardInput input;
    if (const int code = ReadWholeFile(path, io, input, &bytes, &why); code != kExitOk) return code;
    if (!why.empty()) {
      SayAbout(path, why, io);
      if (json) json->Unreadable(path, why);
      worst = std::max(worst, static_cast<int>(kExitUnreadable));
      continue;
    }
    const check::CheckResult result = check::CheckDocument(bytes, check::CheckOptions{opt.strict});
    if (json) json->File(path, bytes, result);
    else output.Write(TextOf(Display(path), bytes, result));
    if (output.code() != kExitOk) return output.code();
    if (!result.valid()) worst = std::max(worst, static_cast<int>(kExitNotValid));
  }
  if (json && !json->Finish()) return output.code();
  return worst;
}

}  // namespace recaster::cli
