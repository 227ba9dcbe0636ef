#!/usr/bin/env python3
"""The JSON report against docs/report.schema.json with a real validator, and against the other outputs.

Usage: check_report_json.py RECASTER SCHEMA SAMPLE MAKE_HOSTILE WORK_FOLDER
For the sample and two generated files (make_hostile's, and its benign twin): the document is valid,
its recreate statuses number what the Markdown report counts, and every value equals `show
--show-secrets` but the secrets. Several sources with an unreadable one, and one unreadable source,
still give valid documents; a document with one value of a wrong type is rejected.
"""
import json
import os
import re
import subprocess
import sys

from jsonschema import Draft202012Validator

program, schema_path, sample, make_hostile, work = sys.argv[1:6]
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
Draft202012Validator.check_schema(schema)
validator = Draft202012Validator(schema)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def run(*args):
    r = subprocess.run([program, *args], capture_output=True)
    return r.returncode, r.stdout.decode("utf-8")


def report(*sources):
    code, text = run("report", "--format", "json", *sources)
    return code, json.loads(text)


def errors(document):
    return [e.message for e in validator.iter_errors(document)]


def snake(key):
    return re.sub(r"([A-Z])", r"_\1", key).lower()


def statuses(node, inside_item, counted, where):
    """Counts the recreate statuses; none may sit on a group, a list item or inside one."""
    status = node.get("status")
    if status is not None:
        check(not inside_item and node["kind"] != "group" and "index" not in node, where + ": status on " + node["path"])
        counted[status] = counted.get(status, 0) + 1
    if node["kind"] == "group":
        for child in node["value"].values():
            statuses(child, inside_item or "index" in node, counted, where)
    elif node["kind"] == "list":
        for item in node["value"]:
            statuses(item, True, counted, where)


def shown_value(node):
    """The node's value in the shape `show` prints it."""
    kind = node["kind"]
    if kind == "group":
        return {key: shown_value(child) for key, child in node["value"].items()}
    if kind == "list":
        return [shown_value(item) for item in node["value"]]
    return node["value"]


def same(mine, shown, path, where):
    if isinstance(mine, dict) and set(mine) == {"set"}:
        check(mine["set"] == (shown != "" and shown != "********"), where + ": password " + path)
    elif isinstance(mine, dict):
        if "words" in mine:  # a filter: its fields as show names them in camelCase, and its words
            shown = {snake(k): v for k, v in shown.items()}
            mine = {k: v for k, v in mine.items() if k != "words"}
        elif set(mine) == {"match_case", "match_whole", "wildcards"}:
            shown = {snake(k): v for k, v in shown.items()}
        check(set(mine) == set(shown), where + ": members of " + path)
        for key in mine:
            same(mine[key], shown.get(key), path + "." + key, where)
    elif isinstance(mine, list):
        check(isinstance(shown, list) and len(mine) == len(shown), where + ": items of " + path)
        for i, (a, b) in enumerate(zip(mine, shown)):
            same(a, b, "%s[%d]" % (path, i), where)
    elif isinstance(mine, str) and "********" in mine:
        pass  # a masked connection string or URL secret
    else:
        check(mine == shown, "%s: %s is %r, show says %r" % (where, path, mine, shown))


def check_source(path):
    code, document = report(path)
    check(code == 0, path + ": exit code %d" % code)
    check(errors(document) == [], path + ": " + "; ".join(errors(document)[:3]))
    source = document["sources"][0]
    counted = {}
    for group in source["settings"].values():
        statuses(group, False, counted, path)
    _, markdown = run("report", path)
    stated = re.search(r"The (\d+) settings? marked", markdown)
    check(stated is not None and int(stated.group(1)) == counted.get("recreate", 0) == source["to_recreate"],
          path + ": %s recreate statuses, to_recreate %d, Markdown %s" %
          (counted.get("recreate", 0), source["to_recreate"], stated and stated.group(1)))
    _, shown = run("show", "--show-secrets", path)
    same({key: shown_value(group) for key, group in source["settings"].items()}, json.loads(shown), "", path)
    return document


hostile = os.path.join(work, "hostile.cfg")
benign = os.path.join(work, "benign.cfg")
subprocess.run([make_hostile, hostile], check=True)
subprocess.run([make_hostile, benign, "--benign"], check=True)
sample_document = check_source(sample)
check_source(hostile)
check_source(benign)

missing = os.path.join(work, "no such file.cfg")
unreadable = os.path.join(work, "unreadable.cfg")
with open(unreadable, "wb") as f:
    f.write(b"not a settings file")
code, several = report(sample, missing, unreadable)
check(code == 3, "several sources: exit code %d" % code)
check(errors(several) == [], "several sources: " + "; ".join(errors(several)[:3]))
check([s["outcome"] for s in several["sources"]] == ["converted", "refused", "refused"], "several sources: outcomes")
check(several["summary"]["totals"]["to_recreate"] == sample_document["sources"][0]["to_recreate"], "several: totals")
code, alone = report(unreadable)
check(code == 3 and errors(alone) == [] and alone["sources"][0]["outcome"] == "refused", "one unreadable source")

# The validator must be able to fail: one boolean setting's value made a string.
wrong = json.loads(json.dumps(sample_document))
first = next(iter(wrong["sources"][0]["settings"].values()))
leaf = next(node for node in first["value"].values() if node["kind"] == "boolean")
leaf["value"] = "yes"
check(errors(wrong) != [], "a boolean setting with a text value is accepted")

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
