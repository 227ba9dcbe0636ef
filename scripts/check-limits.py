#!/usr/bin/env python3
"""Every tracked C++ source and header is 600 lines or fewer and every function in it 60 or fewer.

  python3 scripts/check-limits.py              checks git ls-files '*.cpp' '*.h'; exits 1 on a breach
  python3 scripts/check-limits.py --self-test  checks the checker on small samples

A function runs from the line of its body's opening brace at namespace or class level to the line of
its closing brace; a TEST body is a function and a lambda counts toward the function it is in. The
files listed in scripts/limits-allow.txt (one path a line, # comments) are reported but do not fail.
"""
import re
import subprocess
import sys
from pathlib import Path

MAX_FILE, MAX_FUNCTION = 600, 60
ALLOW = Path(__file__).with_name("limits-allow.txt")
TESTS = ("TEST", "TEST_F", "TEST_P", "TYPED_TEST")
TOKEN_BEFORE = re.compile(r"[\w.]*$")
TRAILER = re.compile(r"(?:\s|const\b|volatile\b|noexcept\b(?:\s*\([^)]*\))?|override\b|final\b|"
                     r"mutable\b|constexpr\b|&)*(?:->.*|:.*)?", re.S)
SCOPE = re.compile(r"(?:template\s*<(?:[^<>]|<[^<>]*>)*>\s*)?(?:(?:inline|export)\s+)?"
                   r"(?:namespace|class|struct|union|enum)\b[^(]*|extern\s*", re.S)
ACCESS = re.compile(r"\s*(?:(?:public|protected|private)\s*:\s*)*")


def literal_end(text, i):
    """Where the comment, string or character literal that starts at text[i] ends, or None."""
    if text.startswith("//", i):
        end = text.find("\n", i)
        return len(text) if end < 0 else end
    if text.startswith("/*", i):
        end = text.find("*/", i + 2)
        return len(text) if end < 0 else end + 2
    quote = text[i]
    if quote not in "'\"":
        return None
    before = TOKEN_BEFORE.search(text, max(0, i - 64), i).group()
    if quote == "'" and before[:1].isdigit():
        return None  # a digit separator: 1'000
    raw = re.match(r'"([^()\\\s]{0,16})\(', text[i:i + 20]) if before in ("R", "u8R", "uR", "UR", "LR") else None
    if raw:
        end = text.find(")" + raw.group(1) + '"', i)
        return len(text) if end < 0 else end + len(raw.group(1)) + 2
    j = i + 1
    while j < len(text) and text[j] != quote and text[j] != "\n":
        j += 2 if text[j] == "\\" else 1
    return min(j + 1, len(text))


def blank(text):
    """The text with its comments, literals and preprocessor lines turned to spaces; line feeds kept."""
    out, i, line_start = [], 0, True
    while i < len(text):
        c = text[i]
        end = None
        if line_start and c == "#":
            end = i
            while end < len(text) and (text[end] != "\n" or text[end - 1] == "\\"):
                end += 1
        elif not c.isspace():
            end = literal_end(text, i)
        if end is None:
            out.append(c)
            line_start = c == "\n" or (line_start and c.isspace())
            i += 1
        else:
            out.append(re.sub(r"[^\n]", " ", text[i:end]))
            i, line_start = end, False
    return "".join(out)


def classify(head):
    """'scope', 'function' or 'data' for a brace at namespace or class level, with the function's name."""
    head = re.sub(r"\boperator\s*\(\s*\)", "operator", head[ACCESS.match(head).end():])
    if SCOPE.fullmatch(head):
        return "scope", ""
    open_ = head.find("(")
    depth, close = 0, -1
    for k in range(max(open_, 0), len(head)):
        depth += {"(": 1, ")": -1}.get(head[k], 0)
        if depth == 0:
            close = k
            break
    if open_ < 0 or close < 0 or not TRAILER.fullmatch(head, close + 1):
        return "data", ""
    names = re.findall(r"[~\w:]+", head[:open_])
    name = names[-1] if names else "lambda"
    if name in TESTS:
        name = ".".join(re.findall(r"\w+", head[open_:close]))
    return "function", name


def functions(clean):
    """Yields (name, first line, last line) of every function body at namespace or class level."""
    stack, head, line = [], 0, 1  # stack: (kind, name, line) of each open brace
    for i, c in enumerate(clean):
        outer = all(kind == "scope" for kind, _, _ in stack)
        if c == "\n":
            line += 1
        elif c == ";" and outer:
            head = i + 1
        elif c == "{":
            kind, name = classify(clean[head:i]) if outer else ("inner", "")
            stack.append((kind, name, line))
            head = i + 1 if kind == "scope" else head
        elif c == "}" and stack:
            kind, name, first = stack.pop()
            if kind not in ("scope", "function") or not all(k == "scope" for k, _, _ in stack):
                continue
            if kind == "function" and clean[i + 1:].lstrip()[:1] in (",", "{"):
                continue  # a member's braced initializer in a constructor's list
            head = i + 1
            if kind == "function":
                yield name, first, line


def breaches(path, text):
    """The lines that say where the text is over a limit."""
    found = []
    lines = len(text.splitlines())
    if lines > MAX_FILE:
        found.append(f"{path}: {lines} lines (at most {MAX_FILE})")
    for name, first, last in functions(blank(text)):
        if last - first + 1 > MAX_FUNCTION:
            found.append(f"{path}:{first}: function {name} is {last - first + 1} lines (at most {MAX_FUNCTION})")
    return found


def self_test():
    body = "  x += 1;\n" * 58
    cases = [
        ("void f() {\n" + body + "}\n", []),
        ("void f() {\n" + body + "  x;\n}\n", ["s.cpp:1: function f is 61 lines (at most 60)"]),
        ("namespace a {\nclass S {\n public:\n  struct In {\n    int operator()() const\n    {\n" + body
         + "  x;\n    }\n  };\n};\n}\n", ["s.cpp:6: function operator is 61 lines (at most 60)"]),
        ("TEST(Suite, Name) {\n  auto l = [] {\n" + body + "  };\n}\n",
         ["s.cpp:1: function Suite.Name is 62 lines (at most 60)"]),
        ("S::S() : a_{1}, b_{'}'} {\n" + body + "  x;\n}\n", ["s.cpp:1: function S::S is 61 lines (at most 60)"]),
        ('const char* k = R"x(" { ")x" "{" /* { */; // {\n#define B {\nint n = 1\'000 + \'{\';\nint t[] = {\n'
         + body + "};\nvoid h() {\n" + body + "  x;\n}\n", ["s.cpp:64: function h is 61 lines (at most 60)"]),
        ("int f() {\n" + "  ;\n" * 600 + "}\n",
         ["s.cpp: 602 lines (at most 600)", "s.cpp:1: function f is 602 lines (at most 60)"]),
    ]
    failed = 0
    for number, (sample, want) in enumerate(cases, 1):
        got = breaches("s.cpp", sample)
        if got != want:
            failed += 1
            print(f"check-limits self-test {number}: got {got}, want {want}")
    print(f"check-limits self-test: {len(cases) - failed} of {len(cases)} samples pass")
    return 1 if failed else 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    root = Path(__file__).resolve().parent.parent
    allowed = set()
    if ALLOW.exists():
        allowed = {line.split("#")[0].strip() for line in ALLOW.read_text().splitlines()} - {""}
    paths = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=root, check=True,
                           capture_output=True, text=True).stdout.split()
    failing, waived = [], []
    for path in paths:
        found = breaches(path, (root / path).read_text(encoding="utf-8", errors="replace"))
        (waived if path in allowed else failing).extend(found)
    for line in waived:
        print(f"allowed for now ({ALLOW.name}): {line}")
    for line in failing:
        print(line)
    print(f"check-limits: {len(paths)} files, {len(failing)} over a limit"
          + (f", {len(waived)} more allowed for now" if waived else ""))
    return 1 if failing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
