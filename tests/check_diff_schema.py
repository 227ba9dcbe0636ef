#!/usr/bin/env python3
"""`recaster diff --format json` against docs/diff.schema.json read by Debian's validator.

Usage: check_diff_schema.py RECASTER SCHEMA SAMPLE WORK_FOLDER
Two version 5 files (a port and a password changed), two version 6 files, a version 5 file against a
version 6 one, and a file against itself: each document is valid, its `same` agrees with the exit code
(0 or 7), and the secret's difference carries no value.
"""
import json
import os
import subprocess
import sys

from jsonschema import Draft202012Validator

program, schema_path, sample, work = sys.argv[1:5]
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)

text = open(sample, "rb").read().decode("utf-16")
changed = os.path.join(work, "diff-changed.cfg")
edited = text.replace("<TcpPort>1601</TcpPort>", "<TcpPort>1602</TcpPort>").replace("viewer-pass", "other-pass")
assert edited != text
open(changed, "wb").write(edited.encode("utf-16"))
v6 = {}
for name, source in (("a", sample), ("b", changed)):
    v6[name] = os.path.join(work, f"diff-{name}.json")
    subprocess.run([program, "convert", "--force", "--quiet", source, v6[name]], check=True)

failures = []
for a, b, expected in ((sample, changed, 7), (v6["a"], v6["b"], 7), (sample, v6["b"], 7), (sample, v6["a"], 0)):
    done = subprocess.run([program, "diff", "--format", "json", a, b], capture_output=True)
    label = f"diff {os.path.basename(a)} {os.path.basename(b)}"
    try:
        document = json.loads(done.stdout.decode("utf-8"))
    except ValueError as e:
        failures.append(f"{label}: not JSON ({e}); exit {done.returncode}")
        continue
    failures += [f"{label}: {e.message}" for e in validator.iter_errors(document)]
    if done.returncode != expected or document.get("same") != (expected == 0):
        failures.append(f"{label}: exit {done.returncode}, same {document.get('same')}; expected exit {expected}")
    for entry in document.get("differences", []):
        if entry.get("secret") and ("a" in entry or "b" in entry):
            failures.append(f"{label}: the secret {entry['path']} carries a value")
    if b"other-pass" in done.stdout or b"viewer-pass" in done.stdout:
        failures.append(f"{label}: a password is in the output")

for failure in failures:
    print("FAILED:", failure)
sys.exit(1 if failures else 0)
