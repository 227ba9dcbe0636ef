// The check command: whether version 6 files, as an administrator edited them, are what the server
// reads; a line per finding in the compilers' form and a summary per file on standard output.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>

#include "check/check.h"
#include "cli/commands.h"
#include "platform/platform.h"
#include "words/words.h"
#include "xml/xml_document.h"

namespace recaster::cli {
namespace {

// The most a file may hold; a larger one is refused as the other commands refuse one.
constexpr std::size_t kLimit = xml::kMaxFileSize;

// Reads the whole file into `bytes`; the reason when it cannot be read.
std::string ReadWhole(const std::u16string& path, std::string* bytes) {
  platform::FileSystem& files = platform::Files();
  platform::PathInfo info;
  if (const platform::OsStatus found = files.Inspect(path, &info); !found.ok()) return found.message;
  if (info.kind == platform::PathKind::kMissing) return platform::DescribeSystemError(platform::kFileNotFound);
  if (info.kind == platform::PathKind::kDirectory) return "is a folder, not a file";
  if (info.kind != platform::PathKind::kRegularFile) return "not a regular file";
  platform::FileHandle handle = platform::kNoFile;
  if (const platform::OsStatus opened = files.OpenForReading(path, &handle); !opened.ok()) return opened.message;
  const platform::ScopedFile file(files, handle);
  std::string chunk(std::size_t{1} << 16, '\0');
  for (;;) {
    std::uint32_t read = 0;
    if (const platform::OsStatus status = files.Read(handle, chunk.data(), static_cast<std::uint32_t>(chunk.size()), &read);
        !status.ok()) {
      return status.message;
    }
    if (read == 0) return std::string();
    bytes->append(chunk.data(), read);
    if (bytes->size() > kLimit) return "larger than 64 MiB, the most a configuration file may hold";
  }
}

std::string Summary(std::string_view file, const check::CheckResult& result) {
  const std::string counts =
      words::Counted(result.errors, "error", "errors") + ", " + words::Counted(result.warnings, "warning", "warnings");
  return std::string(file) + (result.valid() ? ": valid (" : ": not a valid version 6 configuration (") + counts + ")\n";
}

}  // namespace

void setup_check(CLI::App& app, CheckOptions& opt) {
  auto* check = app.add_subcommand("check", "Check version 6 configuration files as edited by hand, before importing them");
  check->add_flag("--strict", opt.strict, "An unknown member is an error, not a warning");
  check->add_option("FILE", opt.files, "The version 6 files, or - for standard input")->required()->check(NotEmpty());
  check->footer(
      "A check reads the file only: it cannot see whether the server can bind an address or port, or whether the\n"
      "storage folder exists and can be written. Output in JSON (--format json) is not available yet.\n" +
      ExitCodesFooter(std::initializer_list<ExitCode>{kExitOk, kExitWriteFailed, kExitUsage, kExitUnreadable, kExitNotValid}));
}

int run_check(const CheckOptions& opt, Console& io) {
  if (std::count(opt.files.begin(), opt.files.end(), "-") > 1) return StandardInputTwice(io);
  int worst = kExitOk;
  for (const std::string& name : opt.files) {
    const std::u16string path = platform::PathFromNative(name);
    std::string bytes;
    std::string why;
    if (IsStandardInput(path)) {
      StandardInput input;
      if (const int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
      why = !input.status.ok() ? input.status.message
            : input.bytes.size() > kLimit ? "larger than 64 MiB, the most a configuration file may hold" : std::string();
      bytes = std::move(input.bytes);
    } else {
      why = ReadWhole(path, &bytes);
    }
    if (!why.empty()) {
      SayAbout(path, why, io);
      worst = std::max(worst, static_cast<int>(kExitUnreadable));
      continue;
    }
    const check::CheckResult result = check::CheckDocument(bytes, check::CheckOptions{opt.strict});
    const std::string shown = Display(path);
    if (const int code = WriteData(io, check::FindingLines(shown, bytes, result.findings) + Summary(shown, result));
        code != kExitOk) {
      return code;
    }
    if (!result.valid()) worst = std::max(worst, static_cast<int>(kExitNotValid));
  }
  return worst;
}

}  // namespace recaster::cli
