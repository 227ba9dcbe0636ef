#!/usr/bin/env python3
"""report --format csv and a fleet's index.csv, read back by the csv module.

Usage: check_csv.py RECASTER SAMPLE WORK_FOLDER
For the sample and a twin with a value above its version 6 maximum and a value that a spreadsheet
would run (=HYPERLINK("x")): the table is UTF-8 without a byte-order mark, CR LF ended, has the
documented columns, one row per setting to re-create and per value to check as the JSON report counts
them, and the formula arrives as text. convert --out-dir on both writes the same rows to index.csv.
"""
import csv
import io
import json
import os
import shutil
import subprocess
import sys

program, sample, work = sys.argv[1:4]
COLUMNS = ["server", "source", "group", "setting", "value", "default", "status"]
FORMULA = '=HYPERLINK("x")'
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def run(*args):
    return subprocess.run([program, *args], capture_output=True)


def rows_of(data, where):
    """The rows after the header, checked for the encoding, the line ends and the columns."""
    check(not data.startswith(b"\xef\xbb\xbf"), where + ": no byte-order mark")
    check(b"\n" not in data.replace(b"\r\n", b""), where + ": every line feed follows a carriage return")
    table = list(csv.reader(io.StringIO(data.decode("utf-8"), newline="")))
    check(table and table[0] == COLUMNS, where + ": the header is " + ",".join(COLUMNS))
    rows = [dict(zip(COLUMNS, row)) for row in table[1:]]
    check(all(len(row) == len(COLUMNS) for row in table), where + ": every row has every column")
    check(all(row["status"] in ("recreate", "check") for row in rows), where + ": statuses")
    return rows


folder = os.path.join(work, "csv_check")
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(os.path.join(folder, "twin"))
with open(sample, "rb") as f:
    text = f.read().decode("utf-16")
twin = text.replace("<UdpPort>1514</UdpPort>", "<UdpPort>70000</UdpPort>")
twin = twin.replace('text="dd.MM.yyyy"', 'text="=HYPERLINK(&quot;x&quot;)"')
check(twin.count("70000") == 1 and "HYPERLINK" in twin, "the twin differs from the sample")
twin_path = os.path.join(folder, "twin", "ov_server_settings.cfg")
with open(twin_path, "wb") as f:
    f.write(twin.encode("utf-16"))
sources = [sample, twin_path]

summary = json.loads(run("report", "--format", "json", *sources).stdout)["summary"]["totals"]
expected = summary["to_recreate"] + summary["adjustments"]
check(summary["adjustments"] >= 1, "the twin has a value to check")

r = run("report", "--format", "csv", *sources)
check(r.returncode == 0, "report --format csv exits 0: %d %r" % (r.returncode, r.stderr))
report_rows = rows_of(r.stdout, "report")
check(len(report_rows) == expected, "report: %d rows for %d to re-create or check" % (len(report_rows), expected))
check(sum(row["status"] == "check" for row in report_rows) == summary["adjustments"], "report: check rows")
formula = [row for row in report_rows if row["setting"] == "Format.DateShortFormat" and row["server"] == "twin"]
check([row["value"] for row in formula] == ["'" + FORMULA], "the formula arrives as text: %r" % formula)
check({row["source"] for row in report_rows} == set(sources), "report: each source as given")

out = os.path.join(folder, "out")
r = run("convert", "-o", out, *sources)
check(r.returncode == 0, "convert -o exits 0: %r" % r.stderr)
with open(os.path.join(out, "index.json"), encoding="utf-8") as f:
    totals = json.load(f)["summary"]["totals"]
with open(os.path.join(out, "index.csv"), "rb") as f:
    index_rows = rows_of(f.read(), "index.csv")
check(len(index_rows) == totals["to_recreate"] + totals["adjustments"], "index.csv: %d rows" % len(index_rows))
check(index_rows == report_rows, "index.csv holds the rows of report --format csv")

if failures:
    sys.exit("%d failures" % len(failures))
print("ok")
