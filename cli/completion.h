// File: cli/completion.h - `recaster completion SHELL`: the shell completion script of the program,
// made from its own command-line model (the commands, their options and the values those take), so
// that it never lists an option the program lacks nor misses one it has.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace CLI {
class App;
class Validator;
}

namespace recaster::cli {

// The shells there are scripts for, as the command names them.
inline constexpr std::string_view kShells[] = {"bash", "zsh", "fish", "powershell"};

// What a value of an option or an argument completes to.
enum class ValueKind { kNone, kFile, kFolder, kChoice, kCommand };

// An option, or the arguments of a command (no names), as completion sees it.
struct CompletionOption {
  std::vector<std::string> names;  // "-o", "--out-dir"; empty for the arguments
  std::string description;         // its help's first words
  bool takes_value = false;
  ValueKind kind = ValueKind::kNone;
  std::vector<std::string> choices;  // for kChoice (and kCommand: the commands)
};

struct CompletionCommand {
  std::string name;  // empty for the program itself
  std::string description;
  std::vector<CompletionOption> options;
  CompletionOption arguments;  // takes_value is false when the command takes none
};

// The program and its commands, from the parser that the program runs: an option that takes text is a
// path (option text "DIR": a folder), unless its help lists the values it takes ("{a,b}", as a choice
// validator gives them); an argument COMMAND is one of the commands.
std::vector<CompletionCommand> CompletionModel(const CLI::App& app);

// The script for `shell` (one of kShells) that completes what `model` holds.
std::string CompletionScript(std::string_view shell, std::span<const CompletionCommand> model);

// The values an argument takes, for its help ("{a,b}") and for completion; it refuses none, so that
// the command tells another with the nearest of them.
CLI::Validator Offers(std::span<const std::string_view> values);

struct CompletionOptions {
  std::string shell;
};

// Adds `completion SHELL` to the program.
void setup_completion(CLI::App& app, CompletionOptions& opt);

// Prints the script for the shell on standard output: 0; an unknown shell is a usage error (2), with
// the shell it most likely stands for. `app` is the program's parser, whose model the script completes.
[[nodiscard]] int run_completion(const CompletionOptions& opt, const CLI::App& app, Console& io);

}  // namespace recaster::cli
