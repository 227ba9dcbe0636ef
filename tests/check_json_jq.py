#!/usr/bin/env python3
"""Every JSON document the program writes, read by Debian's jq: one that jq refuses fails the test.

Usage: check_json_jq.py RECASTER JQ MAKE_SAMPLE MAKE_HOSTILE WORK_FOLDER
The sources: the sample, make_hostile's file and its benign twin, and the sample with lone surrogates
in its texts (a high one before a character, a low one, a high one before a pair, one last) under a
name holding a byte that is no UTF-8, which the program reads as a lone surrogate too. Each through
show, show --show-secrets and report --format json, then all as one fleet: every .json it writes.
"""
import itertools
import os
import re
import shutil
import subprocess
import sys

program, jq, make_sample, make_hostile, work = sys.argv[1:6]
root = os.path.join(work, "jq_check")
shutil.rmtree(root, ignore_errors=True)
os.makedirs(root)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what)


def jq_reads(document, what):
    r = subprocess.run([jq, "empty"], input=document, capture_output=True)
    check(r.returncode == 0, "%s: jq says %s" % (what, r.stderr.decode(errors="replace").strip()))


sample, hostile, benign = (os.path.join(root, name) for name in ("sample.cfg", "hostile.cfg", "benign.cfg"))
subprocess.run([make_sample, sample], check=True)
subprocess.run([make_hostile, hostile], check=True)
subprocess.run([make_hostile, benign, "--benign"], check=True)
forms = itertools.cycle([("\ud800A", ""), ("", "\udc01"), ("\udbff", "\ud800\udc00"), ("", "\ud800")])
text = open(sample, "rb").read().decode("utf-16")


def poisoned(m):
    before, after = next(forms)
    return 'text="%s%s%s"' % (before, m.group(1), after)


text = re.sub(r'text="([^"]*)"', poisoned, text)
broken = os.path.join(os.fsencode(root), b"broken \xff.cfg")
with open(broken, "wb") as f:
    f.write(b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass"))

sources = [sample, hostile, benign, broken]
for source in sources:
    for args in (["show"], ["show", "--show-secrets"], ["report", "--format", "json"]):
        what = "%s %s" % (" ".join(args), os.fsdecode(source))
        r = subprocess.run([program, *args, source], capture_output=True)
        check(r.returncode == 0, "%s: exit code %d" % (what, r.returncode))
        jq_reads(r.stdout, what)

out = os.path.join(root, "fleet")
r = subprocess.run([program, "convert", "-q", "-o", out, *sources], capture_output=True)
check(r.returncode == 0, "the fleet: exit code %d" % r.returncode)
written = sorted(name for name in os.listdir(os.fsencode(out)) if name.endswith(b".json"))
check(len(written) == 2 * len(sources) + 1, "the fleet wrote %r" % written)
for name in written:
    with open(os.path.join(os.fsencode(out), name), "rb") as f:
        jq_reads(f.read(), "the fleet's " + os.fsdecode(name))

print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
