#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The reports in a real browser: headless Chromium, driven over its DevTools
# pipe (no extra Python modules), opens each report with the network cut
# off and must log no console message, no script error and no request for
# anything outside the file. For each report it then takes a screenshot of
# the whole page and prints it to PDF on A4 and on Letter: the page count
# must be sane, and laid out at each paper's printable width no table,
# picture or text block may stick out of the page (a cut table).
#
#   report_browser.py REPORT_DIR OUT_DIR     (exit 77: no chromium here)
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

REPORTS, OUT = sys.argv[1], sys.argv[2]
# Paper in inches, and its printable width in CSS pixels with the report's 14 mm margins.
PAPERS = {"a4": (8.27, 11.69), "letter": (8.5, 11.0)}
MARGIN_INCHES = 14 / 25.4
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, file=sys.stderr)


class Browser:
    """Chromium with --remote-debugging-pipe: JSON messages ended by a NUL byte on fds 3 and 4."""

    def __init__(self, binary, profile):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        arguments = [binary, "--headless", "--remote-debugging-pipe", "--disable-gpu", "--no-first-run",
                     "--user-data-dir=" + profile, "--disable-extensions", "--hide-scrollbars",
                     "--proxy-server=127.0.0.1:9", "--no-default-browser-check", "--mute-audio"]
        if os.geteuid() == 0:
            arguments.append("--no-sandbox")  # Chromium's sandbox refuses to run as root

        def descriptors():
            # Through fresh copies: a pipe end that already is 3 or 4 would keep its close-on-exec flag.
            reading, writing = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(arguments, close_fds=False, preexec_fn=descriptors,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS="disabled:"))
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer, self.next_id, self.events = b"", 0, []

    def _read(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._read()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def wait_for(self, method, session):
        for i, event in enumerate(self.events):
            if event.get("method") == method and event.get("sessionId") == session:
                return self.events.pop(i)
        while True:
            event = self._read()
            if event.get("method") == method and event.get("sessionId") == session:
                return event
            self.events.append(event)

    def close(self):
        try:
            self.call("Browser.close")
        except (RuntimeError, OSError):
            pass
        self.process.wait(timeout=30)


def evaluate(browser, session, expression):
    result = browser.call("Runtime.evaluate", session, expression=expression, returnByValue=True)
    if "exceptionDetails" in result:
        raise RuntimeError("evaluate: %s" % result["exceptionDetails"])
    return result["result"].get("value")


# What sticks out of the page at the current width: tables, figures, blocks.
OVERFLOW = """(() => {
  const width = document.documentElement.clientWidth;
  const out = [];
  for (const e of document.querySelectorAll('table, figure, svg, pre, dl, section, p')) {
    const r = e.getBoundingClientRect();
    if (r.right > width + 1 || e.scrollWidth > e.clientWidth + 1)
      out.push(e.tagName + (e.id ? '#' + e.id : '') + ' ' + Math.round(r.right) + ' > ' + width);
  }
  return out;
})()"""

# The reader's aids the report promises.
STRUCTURE = """(() => {
  const problems = [];
  for (const t of document.querySelectorAll('table'))
    if (!t.querySelector('caption') || !t.querySelector('thead th')) problems.push('a table without caption or header');
  for (const s of document.querySelectorAll('svg'))
    if (!s.querySelector('title') || !s.querySelector('desc')) problems.push('a picture without its text');
  for (const v of document.querySelectorAll('.verdict'))
    if (!/(pass|warn|fail|note)/.test(v.textContent)) problems.push('a verdict by colour alone');
  return {problems, sections: [...document.querySelectorAll('section')].map(s => s.id),
          data: JSON.parse(document.getElementById('tallowmere-data').textContent) !== null};
})()"""


def check_report(browser, path, name):
    target = browser.call("Target.createTarget", url="about:blank")["targetId"]
    session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page", "Runtime", "Log", "Network"):
        browser.call(domain + ".enable", session)
    browser.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=900, deviceScaleFactor=1,
                 mobile=False)
    url = "file://" + os.path.abspath(path)
    browser.call("Page.navigate", session, url=url)
    browser.wait_for("Page.loadEventFired", session)
    evaluate(browser, session, "new Promise(r => requestAnimationFrame(() => r(1)))")

    for event in [e for e in browser.events if e.get("sessionId") == session]:
        method, params = event.get("method"), event.get("params", {})
        if method in ("Runtime.consoleAPICalled", "Runtime.exceptionThrown"):
            fail("%s: console: %s" % (name, json.dumps(params)[:300]))
        elif method == "Log.entryAdded":
            fail("%s: log: %s" % (name, params["entry"].get("text", "")[:300]))
        elif method == "Network.requestWillBeSent" and params["request"]["url"] != url:
            fail("%s: requested %s" % (name, params["request"]["url"]))
    browser.events = [e for e in browser.events if e.get("sessionId") != session]

    structure = evaluate(browser, session, STRUCTURE)
    for problem in structure["problems"]:
        fail("%s: %s" % (name, problem))
    for problem in evaluate(browser, session, OVERFLOW):
        fail("%s: on screen, %s" % (name, problem))

    height = evaluate(browser, session, "document.documentElement.scrollHeight")
    browser.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=min(int(height), 16000),
                 deviceScaleFactor=1, mobile=False)
    shot = browser.call("Page.captureScreenshot", session, format="png")
    with open(os.path.join(OUT, name + ".png"), "wb") as f:
        f.write(base64.b64decode(shot["data"]))

    browser.call("Emulation.setEmulatedMedia", session, media="print")
    for paper, (width, height) in PAPERS.items():
        printable = int((width - 2 * MARGIN_INCHES) * 96)
        browser.call("Emulation.setDeviceMetricsOverride", session, width=printable, height=900,
                     deviceScaleFactor=1, mobile=False)
        for problem in evaluate(browser, session, OVERFLOW):
            fail("%s: printed on %s, %s" % (name, paper, problem))
        browser.call("Emulation.clearDeviceMetricsOverride", session)
        pdf = base64.b64decode(browser.call("Page.printToPDF", session, paperWidth=width, paperHeight=height,
                                            marginTop=MARGIN_INCHES, marginBottom=MARGIN_INCHES,
                                            marginLeft=MARGIN_INCHES, marginRight=MARGIN_INCHES,
                                            printBackground=True)["data"])
        with open(os.path.join(OUT, "%s-%s.pdf" % (name, paper)), "wb") as f:
            f.write(pdf)
        pages = len(re.findall(rb"/Type\s*/Page[^s]", pdf))
        print("%s: %d section(s), %s %d page(s)" % (name, len(structure["sections"]), paper, pages))
        if not 1 <= pages <= 40:
            fail("%s: %d pages on %s" % (name, pages, paper))
    browser.call("Target.closeTarget", targetId=target)


def main():
    binary = shutil.which("chromium") or shutil.which("chromium-browser")
    if binary is None:
        print("no chromium here; skipped", file=sys.stderr)
        return 77
    reports = sorted(f for f in os.listdir(REPORTS) if f.endswith(".html"))
    if not reports:
        fail("no reports in " + REPORTS)
        return 1
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(binary, profile)
        try:
            for report in reports:
                check_report(browser, os.path.join(REPORTS, report), report[:-5])
        finally:
            browser.close()
    return 1 if failures else 0


sys.exit(main())
