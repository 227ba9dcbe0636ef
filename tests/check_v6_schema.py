#!/usr/bin/env python3
"""`recaster check` against docs/v6.schema.json read by Debian's validator (python3-jsonschema).

Usage: check_v6_schema.py RECASTER SCHEMA GOLDEN CORPUS_FOLDER WORK_FOLDER
Every golden conversion (the golden file, and the conversion of each source of the corpus) passes the
check; on those and on faulty files made from the golden one, `check --strict` says valid exactly when
the validator does, and `check` exits with 0 or 6 as it says. `check --format json` over a few of them,
a missing file, a name that is no UTF-8 and a file of more findings than are shown, gives a document
that docs/check.schema.json (beside SCHEMA) accepts, with the exit code and verdicts of the text.
"""
import glob
import json
import os
import subprocess
import sys

from jsonschema import Draft202012Validator

program, schema_path, golden_path, corpus, work = sys.argv[1:6]
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)
failures = []


def no_duplicates(pairs):
    keys = [k for k, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("duplicate member")
    return dict(pairs)


def schema_says_valid(data):
    """The validator's verdict; a file that is no strict JSON document is not valid either."""
    try:
        document = json.loads(data.decode("utf-8"), object_pairs_hook=no_duplicates)
    except ValueError:
        return False
    return validator.is_valid(document)


def check(path, *options):
    return subprocess.run([program, "check", *options, path], capture_output=True).returncode


golden = open(golden_path, "rb").read()
files = {"golden": golden}
for source in sorted(glob.glob(os.path.join(corpus, "*.cfg"))):
    out = os.path.join(work, "v6-" + os.path.basename(source) + ".json")
    done = subprocess.run([program, "convert", "--force", source, out], capture_output=True)
    if done.returncode == 0:
        files["conversion of " + os.path.basename(source)] = open(out, "rb").read()
conversions = dict(files)


def mutated(old, new):
    assert old in golden, old
    return golden.replace(old, new, 1)


files.update({
    "a number": mutated(b'"keep_gbs": "10000"', b'"keep_gbs": 10000'),
    "a port of 70000": mutated(b'"port": "1601"', b'"port": "70000"'),
    "a leading zero": mutated(b'"keep_days": "365"', b'"keep_days": "0365"'),
    "a line feed after a number": mutated(b'"keep_days": "365"', b'"keep_days": "365\\n"'),
    "a duplicate member": mutated(b'"keep_gbs": "10000",', b'"keep_gbs": "10000", "keep_gbs": "1",'),
    "a raw U+0001": mutated(b'"folder": ""', b'"folder": "\x01"'),
    "a byte-order mark": b"\xef\xbb\xbf" + golden,
    "a mistyped member": mutated(b'"port"', b'"prot"'),
    "an unknown member": mutated(b'"storage": {', b'"storage": {"x": "1",'),
    "a TCP member in a UDP listener": mutated(b'"type": "udp"', b'"disconnect_oldest": "false", "type": "udp"'),
    "no type": mutated(b', "type": "udp"'.replace(b", ", b",\n                "), b""),
    "an unknown type": mutated(b'"type": "udp"', b'"type": "sctp"'),
    "a boolean of its own": mutated(b'"detect_octet_count": "true"', b'"detect_octet_count": "yes"'),
    "no listener": mutated(golden[golden.index(b'"interfaces"'):golden.index(b'"storage"')],
                           b'"interfaces": ""\n    },\n    '),
    "interfaces a word": mutated(golden[golden.index(b'"interfaces"'):golden.index(b'"storage"')],
                                 b'"interfaces": "none"\n    },\n    '),
    "an empty object": b"{}",
    "an empty file": b"",
    "an array": b"[]",
    "text after it": golden + b"{}",
    "no UTF-8": mutated(b'"folder": ""', b'"folder": "\xc3("'),
    "a storage string": mutated(golden[golden.index(b'"storage"'):golden.rindex(b"}")], b'"storage": ""\n'),
})
for name, data in files.items():
    path = os.path.join(work, "v6-case.json")
    with open(path, "wb") as f:
        f.write(data)
    expected = schema_says_valid(data)
    strict = check(path, "--strict")
    plain = check(path)
    if name in conversions and (not expected or plain != 0):
        failures.append(f"{name}: the golden conversion does not pass (schema {expected}, check {plain})")
    if strict != (0 if expected else 6):
        failures.append(f"{name}: the validator says {'valid' if expected else 'not valid'}, check --strict exits {strict}")
    if plain not in (0, 6) or (plain == 6 and expected):
        failures.append(f"{name}: check exits {plain}, the validator says {'valid' if expected else 'not valid'}")


def check_json_output():
    """The JSON output of a few files against its schema, its verdicts and exit code against the text's."""
    with open(os.path.join(os.path.dirname(schema_path), "check.schema.json"), encoding="utf-8") as f:
        output_schema = json.load(f)
    Draft202012Validator.check_schema(output_schema)
    names = ["golden", "a port of 70000", "a mistyped member", "no UTF-8", "an empty file"]
    paths = []
    for number, name in enumerate(names):
        paths.append(os.path.join(work, f"json-{number}.json"))
        open(paths[-1], "wb").write(files[name])
    many = os.fsencode(os.path.join(work, "json-\u202e-")) + b"\xff.json"
    open(many, "wb").write(golden.replace(b'"storage": {', b'"storage": {' + b"".join(b'"x%d": "1", ' % i for i in range(150)), 1))
    paths += [os.fsdecode(many), os.path.join(work, "missing.json")]
    text = subprocess.run([program, "check", *paths], capture_output=True)
    done = subprocess.run([program, "check", "--format", "json", *paths], capture_output=True)
    try:
        document = json.loads(done.stdout.decode("utf-8"))
        json.dumps(document, ensure_ascii=False).encode("utf-8")  # no lone surrogate
    except ValueError as e:
        return [f"check --format json: not strict UTF-8 JSON: {e}"]
    problems = [f"check --format json: {e.message}" for e in Draft202012Validator(output_schema).iter_errors(document)]
    if done.returncode != text.returncode or done.returncode != 6:
        problems.append(f"check --format json exits {done.returncode}, the text {text.returncode}, not 6")
    verdicts = [entry["valid"] for entry in document.get("files", [])]
    if verdicts != [True, False, False, False, False, True, False]:
        problems.append(f"check --format json: verdicts {verdicts}")
    if problems == [] and document["files"][5]["warning_count"] != 150:
        problems.append("check --format json: the findings beyond those shown are not counted")
    return problems


failures += check_json_output()
for failure in failures:
    print("FAILED:", failure)
print(f"{len(files)} files, {len(conversions)} conversions, {len(failures)} disagreements")
sys.exit(1 if failures else 0)
