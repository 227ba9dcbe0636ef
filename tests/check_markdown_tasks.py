#!/usr/bin/env python3
"""The Markdown report read by a GFM renderer (Debian's cmark-gfm): its items are task-list items.

Usage: check_markdown_tasks.py RECASTER CMARK_GFM SAMPLE MAKE_HOSTILE WORK_FOLDER
For the sample and a file whose every text is hostile markup, the rendered page holds one disabled
check box per item of the report (its settings to re-create and its values to check, as the JSON report
counts them), each in a list item that starts with the setting's path, and, with raw HTML let through,
no element from a value.
"""
import html.parser
import json
import os
import subprocess
import sys

program, cmark, sample, make_hostile, work = sys.argv[1:6]
failures = []


class Items(html.parser.HTMLParser):
    """The check boxes of a page, the code span each list item with one starts with, and every tag."""

    def __init__(self):
        super().__init__()
        self.boxes = 0
        self.disabled = 0
        self.paths = []
        self.tags = set()
        self.after_box = False

    def handle_starttag(self, tag, attrs):
        self.tags.add(tag)
        attrs = dict(attrs)
        if tag == "input" and attrs.get("type") == "checkbox":
            self.boxes += 1
            self.disabled += "disabled" in attrs
            self.after_box = True
        elif tag == "code" and self.after_box:
            self.paths.append("")
        elif tag != "code":
            self.after_box = False

    def handle_data(self, data):
        if self.paths and self.after_box and self.lasttag == "code":
            self.paths[-1] += data

    def handle_endtag(self, tag):
        if tag == "code":
            self.after_box = False


def check(ok, what):
    print("ok:" if ok else "FAILED:", what)
    if not ok:
        failures.append(what)


hostile = os.path.join(work, "markdown_tasks_hostile.cfg")
subprocess.run([make_hostile, hostile], check=True)
for source in (sample, hostile):
    markdown = subprocess.run([program, "report", source], capture_output=True).stdout
    rendered = subprocess.run([cmark, "--unsafe", "--extension", "table", "--extension", "tasklist"], input=markdown,
                              capture_output=True, check=True).stdout.decode("utf-8")
    document = json.loads(subprocess.run([program, "report", "--format", "json", source],
                                         capture_output=True).stdout)
    expected = sum(s["to_recreate"] + s["to_check"] for s in document["sources"])
    page = Items()
    page.feed(rendered)
    name = os.path.basename(source)
    check(expected > 0 and page.boxes == expected and page.disabled == expected,
          "%s: %d check boxes, %d items in the report" % (name, page.boxes, expected))
    check(len(page.paths) == expected and all(p and " " not in p for p in page.paths),
          "%s: each item starts with its setting's path" % name)
    ours = {"h1", "h2", "h3", "h4", "p", "ul", "li", "input", "code", "pre", "table", "thead", "tbody", "tr", "th", "td"}
    check(page.tags <= ours, "%s: no element from a value (%s)" % (name, ", ".join(sorted(page.tags - ours))))

print("markdown tasks: %d failed" % len(failures))
sys.exit(1 if failures else 0)
