// The show command: what a version 5 file holds, as JSON on standard output.
#include <CLI/CLI.hpp>
#include <new>

#include "cli/commands.h"
#include "cli/settings_json.h"
#include "convert/convert.h"
#include "platform/platform.h"

namespace recaster::cli {

void setup_show(CLI::App& app, ShowOptions& opt) {
  auto* show = app.add_subcommand("show", "Print the settings a version 5 configuration file holds, as JSON");
  show->add_flag("--show-secrets", opt.show_secrets, "Print secrets (passwords, the database connection string) as stored instead of ********");
  show->add_option("SOURCE", opt.source, "The version 5 file, or - for standard input (default: " +
                                             Display(convert::DefaultInputPath()) + ")")
      ->check(NotEmpty());
}

int run_show(const ShowOptions& opt, Console& io) {
  const std::u16string source = opt.source.empty() ? convert::DefaultInputPath() : platform::PathFromNative(opt.source);
  StandardInput input;
  if (IsStandardInput(source)) {
    if (int code = ReadStandardInputOnce(io, &input); code != kExitOk) return code;
  }
  const convert::SourceOutcome taken = TakeSource(source, input, convert::SourceStage::kLoad);
  if (!taken.ok()) return TellRefusal(source, taken, io);
  // The JSON text goes to standard output as it is made.
  StandardOutput output(io);
  try {
    WriteSettingsJson(*taken.conversion.document, opt.show_secrets, output);
  } catch (const std::bad_alloc&) {
    io.err << "recaster: cannot print the settings: not enough memory\n";
    return kExitWriteFailed;
  }
  return output.code();
}

}  // namespace recaster::cli
