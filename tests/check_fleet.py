#!/usr/bin/env python3
"""convert --out-dir on a generated fleet, against the single-file conversion and the schema.

Usage: check_fleet.py RECASTER SCHEMA SAMPLE WORK_FOLDER
200 sources in nested folders (repeated file and folder names, case included) of which 3 are bad:
every output equals the single-file conversion and reports byte for byte, index.json lists every
source with its files and validates, index.html links every file, and a rerun without --force
refuses with exit 4 and changes nothing. Then the view of 5 servers, 4 alike in everything to re-create:
2 groups, the outlier's setting with both values, and no password in any file.
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys

from jsonschema import Draft202012Validator

program, schema_path, sample, work = sys.argv[1:5]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def run(*args):
    return subprocess.run([program, *args], capture_output=True)


root = os.path.join(work, "fleet_check")
shutil.rmtree(root, ignore_errors=True)
text = open(sample, "rb").read().decode("utf-16")
sources = []
for i in range(197):
    site = ["east", "East", "west"][i % 3]
    if i % 2 == 0:  # the usual name in a folder per server; folder names repeat across sites
        folder = os.path.join(root, "sites", site, "srv%02d" % (i // 6))
        name = ["ov_server_settings.cfg", "OV_Server_Settings.CFG"][i % 4 // 2]
    else:  # a file per server in one folder per site; file names repeat across sites
        folder = os.path.join(root, "sites", site, "flat")
        name = "Srv%02d.cfg" % (i // 6) if i % 4 == 1 else "srv%02d.xml" % (i // 6)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    check(not os.path.exists(path), "generated twice: " + path)
    with open(path, "wb") as f:
        f.write(text.replace("<Port>1514<", "<Port>%d<" % (2000 + i)).encode("utf-16"))
    sources.append(path)
bad = os.path.join(root, "bad")
os.makedirs(bad)
with open(os.path.join(bad, "notes.cfg"), "w") as f:
    f.write("just some notes")
with open(os.path.join(bad, "cut.cfg"), "wb") as f:
    f.write(open(sample, "rb").read()[:4000])
sources[50:50] = [os.path.join(bad, "notes.cfg")]
sources[120:120] = [os.path.join(bad, "cut.cfg")]
sources.append(os.path.join(bad, "missing.cfg"))

out = os.path.join(root, "out")
first = run("convert", "--out-dir", out, *sources)
check(first.returncode == 3, "the worst code of a fleet with unreadable sources is 3, not %d" % first.returncode)
err = first.stderr.decode()
check(err.count("\n") == 3 + 2, "one line per refused source, the totals and the index:\n" + err)
check("converted 197 of 200 sources, 3 refused" in err, "the totals: " + err)

index = json.load(open(os.path.join(out, "index.json"), encoding="utf-8"))
validator = Draft202012Validator(json.load(open(schema_path, encoding="utf-8")))
check([e.message for e in validator.iter_errors(index)] == [], "index.json follows the schema")
check(index["format_version"] == "1.3", "index.json is format_version 1.3")
check([s["path"] for s in index["sources"]] == sources, "index.json lists every source in argument order")
check(index["summary"]["totals"]["refused"] == 3, "three refused in the totals")
page = open(os.path.join(out, "index.html"), encoding="utf-8").read()

names = set()
for source in index["sources"]:
    if source["outcome"] != "converted":
        check("outputs" not in source and source["exit_code"] in (2, 3), "a refused source makes nothing")
        continue
    outputs = source["outputs"]
    names.add(outputs["name"].lower())
    path = source["path"]
    expected = {
        outputs["json"]: run("convert", "-q", path, "-").stdout,
        outputs["report_html"]: run("report", "--html", path).stdout,
        outputs["report_json"]: run("report", "--format", "json", path).stdout,
    }
    for name, single in expected.items():
        check(open(os.path.join(out, name), "rb").read() == single, name + " equals the single-file output of " + path)
        check('href="%s"' % name in page, "index.html links " + name)
check(len(names) == 197, "197 names, distinct with case ignored")
check(sorted(os.listdir(out)) == sorted([n for s in index["sources"] if "outputs" in s
                                         for n in (s["outputs"]["json"], s["outputs"]["report_html"],
                                                   s["outputs"]["report_json"])] + ["index.csv", "index.html", "index.json", ".recaster.lock"]),
      "the folder holds the outputs, the index and the lock file, and nothing else")


def snapshot():
    return {n: (os.stat(os.path.join(out, n)).st_mtime_ns, hashlib.sha256(open(os.path.join(out, n), "rb").read()).hexdigest())
            for n in os.listdir(out)}


before = snapshot()
again = run("convert", "--out-dir", out, *sources)
check(again.returncode == 4, "a rerun without --force exits 4, not %d" % again.returncode)
lines = again.stderr.decode().splitlines()
check(lines[0].endswith("594 outputs exist already (pass --force to replace them):") and len(lines) == 12
      and lines[-1] == "  and 584 more", "the first ten outputs and the count:\n" + "\n".join(lines))
check(snapshot() == before, "a refused rerun changes nothing")
forced = run("convert", "--force", "-q", "--out-dir", out, *sources)
check(forced.returncode == 3 and snapshot().keys() == before.keys(), "--force replaces the outputs")

# The view: 5 servers, each with passwords of its own; the last has another mail server.
view_sources = []
for i in range(5):
    folder = os.path.join(root, "view", "srv%d" % i)
    os.makedirs(folder)
    body = text.replace("mail-pass", "mail-pass-%d" % i).replace("viewer-pass", "viewer-pass-%d" % i)
    if i == 4:
        body = body.replace('<Server text="smtp.example.com"/>', '<Server text="smtp.outlier.example"/>')
    view_sources.append(os.path.join(folder, "ov_server_settings.cfg"))
    with open(view_sources[-1], "wb") as f:
        f.write(body.encode("utf-16"))
view_out = os.path.join(root, "view_out")
check(run("convert", "-q", "--out-dir", view_out, *view_sources).returncode == 0, "the view's fleet converts")
view = json.load(open(os.path.join(view_out, "index.json"), encoding="utf-8"))["view"]
check([sorted(g["servers"]) for g in view["groups"]] == [["srv0", "srv1", "srv2", "srv3"], ["srv4"]],
      "4 alike and the outlier: %s" % view["groups"])
differing = [s for s in view["settings"] if len(s.get("values", [])) > 1]
check([(s["setting"], [v["servers"] for v in s["values"]]) for s in differing] ==
      [("Emailer.Server", [["srv0", "srv1", "srv2", "srv3"], ["srv4"]])] and
      "smtp.outlier.example" in differing[0]["values"][1]["words"], "the outlier's setting with its values: %s" % differing)
check(all("values" not in s and s["servers"] == 5 for s in view["settings"] if s["to_do"] == "re-enter")
      and any(s["to_do"] == "re-enter" for s in view["settings"]), "each secret only re-entered, on 5 servers")
page = open(os.path.join(view_out, "index.html"), encoding="utf-8").read()
check("4 servers share one configuration to re-create" in page, "index.html gives the groups")
for name in os.listdir(view_out):
    content = open(os.path.join(view_out, name), "rb").read()
    check(b"-pass" not in content and "-pass".encode("utf-16-le") not in content, "no password in " + name)

shutil.rmtree(root, ignore_errors=True)
print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
