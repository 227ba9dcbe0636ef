#!/usr/bin/env python3
"""The user documents against the program.

Usage: check_docs.py readme-size README LIMIT_BYTES
       check_docs.py man-options RECASTER MAN_PAGE
readme-size: the README stays a door, LIMIT_BYTES or fewer (the guide holds the rest).
man-options: every option that `recaster --help` and `recaster help COMMAND` list, for every command
they list, is described under OPTIONS in the manual page.
"""
import os
import re
import subprocess
import sys


def help_text(program, *args):
    done = subprocess.run([program, *args], capture_output=True, text=True, check=True)
    return done.stdout


def section(text, heading):
    """The indented lines under a help heading such as "Options:", up to the next blank line."""
    lines = text.splitlines()
    if heading not in lines:
        return []
    body = []
    for line in lines[lines.index(heading) + 1:]:
        if not line.strip():
            break
        body.append(line)
    return body


def options(text):
    """The option names of a help text: "-f,--force" gives -f and --force."""
    names = []
    for line in section(text, "Options:"):
        words = line.split()
        if words and words[0].startswith("-"):
            names += [name for name in words[0].split(",") if name.startswith("-")]
    return names


def commands(text):
    return [line.split()[0] for line in section(text, "Subcommands:")]


def man_options_section(page):
    """The OPTIONS section of a roff page, with roff's \\- read as -."""
    text = page.replace("\\-", "-")
    match = re.search(r"^\.SH OPTIONS\n(.*?)^\.SH ", text, re.M | re.S)
    return match.group(1) if match else ""


def check_man_options(program, man_path):
    with open(man_path, encoding="utf-8") as f:
        described = man_options_section(f.read())
    top = help_text(program, "--help")
    listed = {("recaster", name) for name in options(top)}
    names = commands(top)
    if not names:
        print("FAILED: `recaster --help` lists no commands")
        return False
    for command in names:
        listed |= {(command, name) for name in options(help_text(program, "help", command))}
    missing = sorted((command, name) for command, name in listed
                     if not re.search(r"(?<![\w-])" + re.escape(name) + r"(?![\w-])", described))
    for command, name in missing:
        print(f"FAILED: {command} {name} is not described under OPTIONS in {man_path}")
    print(f"{len(listed)} options of {len(names)} commands and the program, {len(missing)} missing")
    return not missing


def check_readme_size(path, limit):
    size = os.path.getsize(path)
    print(f"{path}: {size} bytes, at most {limit}")
    if size > limit:
        print("FAILED: the README is over its size; move the detail to docs/guide.md")
    return size <= limit


if __name__ == "__main__":
    if sys.argv[1:2] == ["readme-size"]:
        ok = check_readme_size(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1:2] == ["man-options"]:
        ok = check_man_options(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
    sys.exit(0 if ok else 1)
