// `recaster completion SHELL`: the model of the command line (CompletionModel, read from the parser
// the program runs) and the script each shell takes, written from it.
#include "cli/completion.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "check/nearest_name.h"
#include "cli/commands.h"

namespace recaster::cli {
namespace {

constexpr std::size_t kLongestDescription = 72;

// The values a help lists for an option, "TEXT:{a,b}" giving a and b; none when it lists none.
std::vector<std::string> ListedValues(const CLI::Option& option) {
  const std::string type = option.get_type_name();
  const std::size_t open = type.find(":{");
  const std::size_t close = open == std::string::npos ? open : type.find('}', open);
  if (close == std::string::npos) return {};
  std::vector<std::string> values;
  std::string value;
  for (const char c : std::string_view(type).substr(open + 2, close - open - 2)) {
    if (c != ',') {
      value += c;
      continue;
    }
    values.push_back(value);
    value.clear();
  }
  values.push_back(value);
  return values;
}

// The first words of a help text: without what it says in parentheses (the defaults, which differ by
// system, among them), up to its first ";", at most kLongestDescription characters, cut between words.
std::string FirstWords(std::string_view description) {
  std::string text;
  int depth = 0;
  for (const char c : description.substr(0, description.find(';'))) {
    depth += c == '(' ? 1 : c == ')' && depth > 0 ? -1 : 0;
    if (c == ',' && text.ends_with(' ')) text.pop_back();
    if (depth == 0 && c != ')' && !(c == ' ' && text.ends_with(' '))) text += c;
  }
  std::string_view words = text;
  if (words.size() > kLongestDescription) {
    const std::size_t space = words.rfind(' ', kLongestDescription);
    words = words.substr(0, space == std::string_view::npos ? kLongestDescription : space);
  }
  while (!words.empty() && std::string_view(" :,").find(words.back()) != std::string_view::npos) words.remove_suffix(1);
  return std::string(words);
}

CompletionOption Describe(const CLI::Option& option, const std::vector<std::string>& commands) {
  CompletionOption described;
  for (const std::string& name : option.get_snames()) described.names.push_back("-" + name);
  for (const std::string& name : option.get_lnames()) described.names.push_back("--" + name);
  described.description = FirstWords(option.get_description());
  described.takes_value = option.get_items_expected_max() != 0;
  if (!described.takes_value) return described;
  described.choices = ListedValues(option);
  if (!described.choices.empty()) {
    described.kind = ValueKind::kChoice;
  } else if (option.get_positional() && option.get_name() == "COMMAND") {
    described.kind = ValueKind::kCommand;
    described.choices = commands;
  } else if (option.get_option_text() == "DIR") {
    described.kind = ValueKind::kFolder;
  } else if (option.get_type_name().starts_with("TEXT")) {
    described.kind = ValueKind::kFile;
  }
  return described;
}

CompletionCommand DescribeCommand(const CLI::App& command, const std::vector<std::string>& commands) {
  CompletionCommand described{command.get_parent() == nullptr ? "" : command.get_name(),
                              FirstWords(command.get_description()), {}, {}};
  for (const CLI::Option* option : command.get_options()) {
    if (!option->nonpositional()) {
      if (!described.arguments.takes_value) described.arguments = Describe(*option, commands);
      continue;
    }
    described.options.push_back(Describe(*option, commands));
  }
  if (described.name.empty()) {
    described.arguments = CompletionOption{{}, "", true, ValueKind::kCommand, commands};
  }
  return described;
}

}  // namespace

std::vector<CompletionCommand> CompletionModel(const CLI::App& app) {
  std::vector<std::string> commands;
  for (const CLI::App* command : app.get_subcommands({})) commands.push_back(command->get_name());
  std::vector<CompletionCommand> model{DescribeCommand(app, commands)};
  for (const CLI::App* command : app.get_subcommands({})) model.push_back(DescribeCommand(*command, commands));
  return model;
}

namespace {

// ---- the words of the scripts ----

std::string Joined(const std::vector<std::string>& words, std::string_view between = " ") {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : std::string(between)) + word;
  return joined;
}

std::vector<std::string> OptionNames(const CompletionCommand& command) {
  std::vector<std::string> names;
  for (const CompletionOption& option : command.options) names.insert(names.end(), option.names.begin(), option.names.end());
  return names;
}

// `text` between single quotes, for a shell that writes a quote in them as `quote`.
std::string Quoted(std::string_view text, std::string_view quote, std::string_view also = "") {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') {
      quoted += quote;
    } else {
      if (also.find(c) != std::string_view::npos) quoted += '\\';
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string SinglyQuoted(std::string_view text) { return Quoted(text, "'\\''"); }

// ---- bash ----

constexpr std::string_view kBashHead = R"(# bash completion for recaster: its commands, their options, the values of the options, file names.
# Made by "recaster completion bash". bash-completion loads it from
# /usr/share/bash-completion/completions/recaster; without it, source this file from ~/.bashrc.

# File or, with -d, folder names for the word being completed.
_recaster_paths() {
  if declare -F _filedir >/dev/null; then
    _filedir "$@"
    return
  fi
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  if [[ ${1-} == -d ]]; then
    COMPREPLY=($(compgen -d -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_recaster() {
  local cur prev words cword split=false
  if declare -F _init_completion >/dev/null; then
    _init_completion -s || return
  else
    COMPREPLY=()
    words=("${COMP_WORDS[@]}")
    cword=$COMP_CWORD
    cur=${words[cword]}
    prev=${words[cword - 1]}
    # Without bash-completion, "--format=js" comes as "--format" "=" "js".
    if [[ $cur == = ]]; then
      cur=
    elif [[ $prev == = ]] && ((cword > 2)); then
      prev=${words[cword - 2]}
    fi
  fi
  local command= i
  for ((i = 1; i < cword; i++)); do
    if [[ ${words[i]} != -* ]]; then
      command=${words[i]}
      break
    fi
  done
  case $command in
)";

// What bash offers for a value of `kind` (`words` for a choice or a command).
std::string BashValues(const CompletionOption& value) {
  switch (value.kind) {
    case ValueKind::kNone: return ":";
    case ValueKind::kFile: return "_recaster_paths";
    case ValueKind::kFolder: return "_recaster_paths -d";
    case ValueKind::kChoice:
    case ValueKind::kCommand: return "COMPREPLY=($(compgen -W " + SinglyQuoted(Joined(value.choices)) + " -- \"$cur\"))";
  }
  return ":";
}

std::string BashCommand(const CompletionCommand& command) {
  std::string arm = "    " + (command.name.empty() ? std::string("''") : command.name) + ")\n";
  std::string values;
  for (const CompletionOption& option : command.options) {
    if (option.takes_value) values += "        " + Joined(option.names, "|") + ") " + BashValues(option) + "; return ;;\n";
  }
  if (!values.empty()) arm += "      case $prev in\n" + values + "      esac\n";
  arm += "      if [[ $cur == -* ]]; then\n";
  arm += "        COMPREPLY=($(compgen -W " + SinglyQuoted(Joined(OptionNames(command))) + " -- \"$cur\"))\n";
  if (command.arguments.takes_value) arm += "      else\n        " + BashValues(command.arguments) + "\n";
  return arm + "      fi\n      ;;\n";
}

std::string BashScript(std::span<const CompletionCommand> model) {
  std::string script(kBashHead);
  for (const CompletionCommand& command : model) script += BashCommand(command);
  return script + "  esac\n}\n\ncomplete -F _recaster recaster\n";
}

// ---- zsh ----

// `text` in an option's brackets, quoted for zsh: '[Replace ...]'.
std::string ZshDescription(std::string_view text) {
  const std::string quoted = Quoted(text, "'\\''", "[]\\");
  return "'[" + quoted.substr(1, quoted.size() - 2) + "]'";
}

std::string ZshAction(const CompletionOption& value) {
  switch (value.kind) {
    case ValueKind::kNone: return ":value: ";
    case ValueKind::kFile: return ":file:_files";
    case ValueKind::kFolder: return ":folder:_files -/";
    case ValueKind::kChoice: return ":value:(" + Joined(value.choices) + ")";
    case ValueKind::kCommand: return ":command:(" + Joined(value.choices) + ")";
  }
  return ":value: ";
}

// One option as _arguments takes it: '(-f --force)'{-f,--force}'[Replace ...]', a value as -o+ and --out-dir=; the
// options it excludes are its other names, or `excludes`.
std::string ZshOption(const CompletionOption& option, std::string_view excludes = "") {
  std::vector<std::string> names;
  for (const std::string& name : option.names) {
    names.push_back(name + (!option.takes_value ? "" : name.starts_with("--") ? "=" : "+"));
  }
  const std::string excluded = !excludes.empty() ? std::string(excludes) : names.size() > 1 ? Joined(option.names) : "";
  std::string item = excluded.empty() ? "" : "'(" + excluded + ")'";
  item += names.size() == 1 ? "'" + names.front() + "'" : "{" + Joined(names, ",") + "}";
  item += ZshDescription(option.description);
  if (option.takes_value) item += SinglyQuoted(ZshAction(option));
  return item;
}

std::string ZshCommand(const CompletionCommand& command) {
  std::string arm = "        " + command.name + ")\n          _arguments";
  for (const CompletionOption& option : command.options) arm += " \\\n            " + ZshOption(option);
  if (command.arguments.takes_value) {
    const std::string many = command.arguments.kind == ValueKind::kFile ? "*" : "1";
    arm += " \\\n            " + SinglyQuoted(many + ZshAction(command.arguments));
  }
  return arm + " && ret=0\n          ;;\n";
}

std::string ZshScript(std::span<const CompletionCommand> model) {
  std::string script =
      "#compdef recaster\n"
      "# zsh completion for recaster: its commands, their options, the values of the options, file names.\n"
      "# Made by \"recaster completion zsh\". zsh loads it from /usr/share/zsh/vendor-completions/_recaster;\n"
      "# elsewhere, put it as _recaster in a folder of $fpath before compinit runs.\n\n"
      "_recaster() {\n  local curcontext=$curcontext state line ret=1\n  typeset -A opt_args\n  _arguments -C";
  for (const CompletionOption& option : model.front().options) script += " \\\n    " + ZshOption(option, "- *");
  script += " \\\n    '1:command:->command' \\\n    '*::argument:->argument' && ret=0\n";
  script += "  case $state in\n    command)\n      local -a commands\n      commands=(\n";
  for (const CompletionCommand& command : model.subspan(1)) {
    script += "        " + SinglyQuoted(command.name + ":" + command.description) + "\n";
  }
  script += "      )\n      _describe -t commands command commands && ret=0\n      ;;\n";
  script += "    argument)\n      curcontext=${curcontext%:*:*}:recaster-$line[1]:\n      case $line[1] in\n";
  for (const CompletionCommand& command : model.subspan(1)) script += ZshCommand(command);
  return script + "      esac\n      ;;\n  esac\n  return ret\n}\n\n_recaster \"$@\"\n";
}

// ---- fish ----

std::string FishQuoted(std::string_view text) { return Quoted(text, "\\'", "\\"); }

std::string FishValues(const CompletionOption& value) {
  switch (value.kind) {
    case ValueKind::kNone: return " -x";
    case ValueKind::kFile: return " -r -F";
    case ValueKind::kFolder: return " -x -a '(__fish_complete_directories)'";
    case ValueKind::kChoice:
    case ValueKind::kCommand: return " -x -a " + FishQuoted(Joined(value.choices));
  }
  return " -x";
}

std::string FishOption(std::string_view when, const CompletionOption& option) {
  std::string line = "complete -c recaster -n " + std::string(when);
  for (const std::string& name : option.names) line += (name.starts_with("--") ? " -l " : " -s ") + name.substr(name.find_first_not_of('-'));
  if (option.takes_value) line += FishValues(option);
  return line + " -d " + FishQuoted(option.description) + "\n";
}

std::string FishScript(std::span<const CompletionCommand> model) {
  std::string script =
      "# fish completion for recaster: its commands, their options, the values of the options, file names.\n"
      "# Made by \"recaster completion fish\". fish loads it from\n"
      "# /usr/share/fish/vendor_completions.d/recaster.fish; elsewhere, put it in ~/.config/fish/completions.\n\n"
      "complete -c recaster -f\n";
  for (const CompletionOption& option : model.front().options) script += FishOption("__fish_use_subcommand", option);
  for (const CompletionCommand& command : model.subspan(1)) {
    script += "complete -c recaster -n __fish_use_subcommand -a " + command.name + " -d " + FishQuoted(command.description) + "\n";
  }
  for (const CompletionCommand& command : model.subspan(1)) {
    const std::string when = FishQuoted("__fish_seen_subcommand_from " + command.name);
    script += "\n";
    for (const CompletionOption& option : command.options) script += FishOption(when, option);
    if (command.arguments.takes_value && command.arguments.kind != ValueKind::kNone) {
      const std::string values = FishValues(command.arguments);
      script += "complete -c recaster -n " + when + (command.arguments.kind == ValueKind::kFile ? " -F" : values) + "\n";
    }
  }
  return script;
}

// ---- PowerShell ----

std::string PowerShellQuoted(std::string_view text) { return Quoted(text, "''"); }

// What a value completes to, in the script's tables: "<file>", "<folder>", "<none>" or the choices.
std::string PowerShellValues(const CompletionOption& value) {
  switch (value.kind) {
    case ValueKind::kNone: return "'<none>'";
    case ValueKind::kFile: return "'<file>'";
    case ValueKind::kFolder: return "'<folder>'";
    case ValueKind::kChoice:
    case ValueKind::kCommand: return PowerShellQuoted(Joined(value.choices));
  }
  return "'<none>'";
}

constexpr std::string_view kPowerShellBody = R"(    $before = @($commandAst.CommandElements | Where-Object { $_.Extent.EndOffset -lt $cursorPosition } |
        ForEach-Object { $_.ToString() })
    $command = ''
    for ($i = 1; $i -lt $before.Count; $i++) {
        if (-not $before[$i].StartsWith('-')) { $command = $before[$i]; break }
    }
    $named = $options[$command]
    if ($null -eq $named) { return }
    $previous = if ($before.Count -gt 1) { $before[-1] } else { '' }
    $kind = 'ParameterValue'
    if ($previous.StartsWith('-') -and $named[$previous]) {
        $values = $named[$previous]
    } elseif ($wordToComplete.StartsWith('-')) {
        $values = $named.Keys -join ' '
        $kind = 'ParameterName'
    } else {
        $values = $arguments[$command]
    }
    $paths = { [System.Management.Automation.CompletionCompleters]::CompleteFilename($wordToComplete) }
    switch ($values) {
        '<none>' { }
        '<file>' { & $paths }
        '<folder>' { & $paths | Where-Object { $_.ResultType -eq 'ProviderContainer' } }
        default {
            -split $values | Where-Object { $_.StartsWith($wordToComplete, [StringComparison]::OrdinalIgnoreCase) } |
                ForEach-Object { [System.Management.Automation.CompletionResult]::new($_, $_, $kind, $_) }
        }
    }
}
)";

std::string PowerShellScript(std::span<const CompletionCommand> model) {
  std::string script =
      "# PowerShell completion for recaster-cli.exe: its commands, their options, the values of the options,\n"
      "# file names. Made by \"recaster-cli.exe completion powershell\"; load it from your $PROFILE:\n"
      "#   . \"C:\\Program Files\\Recaster\\recaster-cli-completion.ps1\"\n"
      "Register-ArgumentCompleter -Native -CommandName recaster-cli.exe,recaster-cli -ScriptBlock {\n"
      "    param($wordToComplete, $commandAst, $cursorPosition)\n"
      "    # Per command ('' for the program itself): its options, each with what its value completes to\n"
      "    # ('' for none), and what its arguments complete to.\n"
      "    $options = @{\n";
  std::string arguments = "    $arguments = @{\n";
  for (const CompletionCommand& command : model) {
    script += "        " + PowerShellQuoted(command.name) + " = [ordered]@{";
    for (const CompletionOption& option : command.options) {
      for (const std::string& name : option.names) {
        const std::string value = option.takes_value ? PowerShellValues(option) : std::string("''");
        script.append(" ").append(PowerShellQuoted(name)).append(" = ").append(value).append(";");
      }
    }
    script += " }\n";
    arguments += "        " + PowerShellQuoted(command.name) + " = " +
                 (command.arguments.takes_value ? PowerShellValues(command.arguments) : "'<none>'") + "\n";
  }
  return script + "    }\n" + arguments + "    }\n" + std::string(kPowerShellBody);
}

}  // namespace

std::string CompletionScript(std::string_view shell, std::span<const CompletionCommand> model) {
  if (model.empty()) return std::string();
  if (shell == "bash") return BashScript(model);
  if (shell == "zsh") return ZshScript(model);
  if (shell == "fish") return FishScript(model);
  if (shell == "powershell") return PowerShellScript(model);
  return std::string();
}

CLI::Validator Offers(std::span<const std::string_view> values) {
  std::vector<std::string> words(values.begin(), values.end());
  return CLI::Validator([](const std::string&) { return std::string(); }, "{" + Joined(words, ",") + "}", "OFFERS");
}

void setup_completion(CLI::App& app, CompletionOptions& opt) {
  auto* completion = app.add_subcommand("completion", "Print the completion script for SHELL: bash, zsh, fish or powershell");
  completion->add_option("SHELL", opt.shell, "The shell that is to complete the program's commands, options and files")
      ->required()
      ->check(Offers(kShells));
  completion->footer(
      "The Debian package installs the scripts for bash, zsh and fish where those shells find them.\n"
      "Examples:\n"
      "  recaster completion bash > ~/.local/share/bash-completion/completions/recaster\n"
      "  recaster completion zsh > ~/.zfunc/_recaster");
}

int run_completion(const CompletionOptions& opt, const CLI::App& app, Console& io) {
  if (std::find(std::begin(kShells), std::end(kShells), opt.shell) == std::end(kShells)) {
    const std::string_view nearest = check::NearestName(opt.shell, kShells);
    std::string what = "unknown shell \"" + opt.shell + "\"";
    what += nearest.empty() ? "; the shells are bash, zsh, fish and powershell" : "; did you mean \"" + std::string(nearest) + "\"?";
    return CommandUsageError(what, "completion", io);
  }
  return WriteData(io, CompletionScript(opt.shell, CompletionModel(app)));
}

}  // namespace recaster::cli
