#!/usr/bin/env python3
"""Text is encoded, decoded and escaped in text/ alone.

Usage: check_text_room.py SOURCE_ROOT
Lists the product's C++ sources outside text/ and tests/ and fails on any of: UTF-8 lead-byte
arithmetic (0xC0 |, 0xE0 |, 0xF0 |), a table of JSON escapes (\\u00XX, the backspace letter), or the
HTML entity for <.
"""
import pathlib
import re
import sys

SKIPPED = {"text", "tests", "build", ".git"}
PATTERNS = [
    ("UTF-8 lead-byte arithmetic", re.compile(r"0x[CEF]0\s*\|", re.I)),
    ("a JSON \\u00 escape", re.compile(r"\\\\u00")),
    ("a JSON escape table (the backspace escape)", re.compile(r"'\\b'")),
    ("an HTML escape of <", re.compile(r"&lt;")),
]


def sources(root):
    for path in sorted(root.rglob("*")):
        relative = path.relative_to(root)
        if relative.parts[0] in SKIPPED or relative.parts[0].startswith("build"):
            continue
        if path.suffix in {".cpp", ".h", ".hpp", ".cc"} and path.is_file():
            yield relative, path


def main(root):
    found = 0
    listed = 0
    for relative, path in sources(root):
        listed += 1
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            for what, pattern in PATTERNS:
                if pattern.search(line):
                    found += 1
                    print(f"FAILED: {relative}:{number}: {what} outside text/: {line.strip()}")
    print(f"{listed} sources outside text/ and tests/, {found} findings")
    return listed > 0 and found == 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(0 if main(pathlib.Path(sys.argv[1])) else 1)
