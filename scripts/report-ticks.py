#!/usr/bin/env python3
"""Ticks two boxes of an HTML migration report in headless Chromium, as a person would (mouse clicks
through the DevTools protocol over --remote-debugging-pipe: the page itself runs no script), takes a
screenshot of them, then emulates print media and counts what is shown.

    python3 scripts/report-ticks.py PAGE.html SCREENSHOT.png [CHROMIUM_FLAG...]

Prints one JSON object: the boxes on the page, the boxes ticked, the boxes visible and ticked in print,
the <details> and how many are open, and the rows inside them that show.
"""
import base64
import fcntl
import json
import os
import pathlib
import subprocess
import sys

PROBE = """JSON.stringify((() => {
  const boxes = [...document.querySelectorAll('input[type=checkbox]')];
  const shown = e => { const r = e.getBoundingClientRect();
                       return e.checkVisibility({visibilityProperty: true}) && r.width > 0 && r.height > 0; };
  const details = [...document.querySelectorAll('details')];
  return {boxes: boxes.length, ticked: boxes.filter(b => b.checked).length,
          shown: boxes.filter(shown).length, shown_ticked: boxes.filter(b => b.checked && shown(b)).length,
          details: details.length, open: details.filter(d => d.open).length,
          folded_rows_shown: [...document.querySelectorAll('details tr')].filter(shown).length};
})())"""


class Browser:
    """One headless Chromium; commands go to its fd 3, replies and events come from its fd 4."""

    def __init__(self, flags):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def pipes():
            read, write = (fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_browser_r, from_browser_w))
            os.dup2(read, 3)
            os.dup2(write, 4)

        self.process = subprocess.Popen(
            ["chromium", "--headless", "--remote-debugging-pipe", *flags, "about:blank"],
            preexec_fn=pipes, pass_fds=(3, 4), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.pending = b""
        self.events = []

    def message(self):
        while b"\0" not in self.pending:
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                raise SystemExit("report-ticks: the browser closed its pipe")
            self.pending += chunk
        text, self.pending = self.pending.split(b"\0", 1)
        return json.loads(text)

    def send(self, method, params=None, session=None):
        self.next_id += 1
        command = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            command["sessionId"] = session
        os.write(self.to_browser, json.dumps(command).encode() + b"\0")
        while True:
            reply = self.message()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise SystemExit("report-ticks: %s: %s" % (method, reply["error"]))
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self.message())

    def evaluate(self, session, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True}, session)
        return result["result"].get("value")

    def click(self, session, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent",
                      {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1}, session)


def main():
    page, screenshot, flags = sys.argv[1], sys.argv[2], sys.argv[3:]
    browser = Browser(flags)
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        browser.send("Emulation.setDeviceMetricsOverride",
                     {"width": 1100, "height": 1000, "deviceScaleFactor": 1, "mobile": False}, session)
        browser.send("Page.enable", {}, session)
        browser.send("Page.navigate", {"url": pathlib.Path(page).resolve().as_uri()}, session)
        browser.wait_for("Page.loadEventFired")
        # The first two boxes, near the top of the screen, clicked where they are drawn.
        where = json.loads(browser.evaluate(session, """JSON.stringify((() => {
            const boxes = [...document.querySelectorAll('input[type=checkbox]')].slice(0, 2);
            if (boxes.length) boxes[0].closest('table').previousElementSibling.scrollIntoView();
            return boxes.map(b => { const r = b.getBoundingClientRect();
                                    return [r.left + r.width / 2, r.top + r.height / 2]; });
        })())"""))
        for x, y in where:
            browser.click(session, x, y)
        seen = json.loads(browser.evaluate(session, PROBE))
        shot = browser.send("Page.captureScreenshot", {"format": "png"}, session)
        pathlib.Path(screenshot).write_bytes(base64.b64decode(shot["data"]))
        browser.send("Emulation.setEmulatedMedia", {"media": "print"}, session)
        printed = json.loads(browser.evaluate(session, PROBE))
        print(json.dumps({"boxes": seen["boxes"], "ticked": seen["ticked"], "print_shown": printed["shown"],
                          "print_ticked": printed["shown_ticked"], "details": printed["details"],
                          "open": printed["open"], "folded_rows_shown": printed["folded_rows_shown"]}))
        browser.send("Browser.close")
    finally:
        try:
            browser.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            browser.process.kill()


if __name__ == "__main__":
    main()
