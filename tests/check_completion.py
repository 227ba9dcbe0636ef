#!/usr/bin/env python3
"""The completion scripts against the program's help: each script of `recaster completion SHELL` names
every command and, where it completes that command, every long option its help lists; and zsh -n and
fish -n read the zsh and fish scripts without a syntax error, when those shells are installed.

Usage: check_completion.py RECASTER
"""
import re
import shutil
import subprocess
import sys
import tempfile

from check_docs import commands, help_text, options


def block(script, start, end):
    """The text of `script` from the line `start` to the first `end` after it; empty when none."""
    at = script.find(start)
    return "" if at < 0 else script[at:script.find(end, at + len(start))]


# Where each script completes COMMAND ("" for the program itself), and how it writes a long option.
WHERE = {
    "bash": lambda s, c: block(s, f"\n    {c or repr('')})\n", "\n      ;;"),
    "zsh": lambda s, c: block(s, f"\n        {c})\n", "\n          ;;") if c else block(s, "_arguments -C", "->command"),
    "fish": lambda s, c: "\n".join(l for l in s.splitlines()
                                   if f"__fish_seen_subcommand_from {c}'" in l or (not c and "__fish_use_subcommand" in l)),
    "powershell": lambda s, c: block(s, f"\n        '{c}' = [ordered]@{{", "\n"),
}
WRITTEN = {
    "bash": lambda name: name, "zsh": lambda name: name, "powershell": lambda name: f"'{name}'",
    "fish": lambda name: "-l " + name[2:],
}
SYNTAX = {"zsh": ["zsh", "-n"], "fish": ["fish", "--no-execute"]}


def check_shell(program, shell, listed):
    script = help_text(program, "completion", shell)
    faults = []
    for command, names in listed.items():
        where = WHERE[shell](script, command)
        if not where or (command and not re.search(rf"(?<![\w-]){re.escape(command)}(?![\w-])", script)):
            faults.append(f"{shell}: command {command or 'recaster'} is not completed")
            continue
        faults += [f"{shell}: {command or 'recaster'} {name} is not completed" for name in names
                   if not re.search(rf"(?<![\w-]){re.escape(WRITTEN[shell](name))}(?![\w-])", where)]
    tool = SYNTAX.get(shell)
    if tool and shutil.which(tool[0]):
        with tempfile.NamedTemporaryFile("w", suffix="." + shell) as f:
            f.write(script)
            f.flush()
            done = subprocess.run([*tool, f.name], capture_output=True, text=True)
        if done.returncode != 0:
            faults.append(f"{shell}: {tool[0]} reads a syntax error: {done.stderr.strip()}")
    elif tool:
        print(f"{shell}: {tool[0]} is not installed; its syntax is not checked")
    return faults


def main(program):
    top = help_text(program, "--help")
    long_only = lambda names: [name for name in names if name.startswith("--")]
    listed = {"": long_only(options(top))}
    for command in commands(top):
        listed[command] = long_only(options(help_text(program, "help", command)))
    faults = [fault for shell in WHERE for fault in check_shell(program, shell, listed)]
    for fault in faults:
        print("FAILED: " + fault)
    count = sum(len(names) for names in listed.values())
    print(f"{len(WHERE)} shells, {len(listed) - 1} commands, {count} long options; {len(faults)} faults")
    return not faults


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(0 if main(sys.argv[1]) else 1)
