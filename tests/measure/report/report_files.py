#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# tallowmere-cli --report on every mode, on the virtual devices: each file is
# parsed by Python's HTML parser and must be well-formed (every element
# closed in order, no stray end tag), reference nothing outside itself, hold
# the sections of the measurements that ran and no other, and carry the very
# JSON document --json printed in the same run. A file name with markup in
# it shows as text. The reports stay in OUT_DIR for the browser check.
#
#   report_files.py TALLOWMERE_CLI OUT_DIR
import html.parser
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

CLI, OUT = sys.argv[1], sys.argv[2]
VOID = {"meta", "br", "hr", "img", "input", "link", "col", "wbr", "source", "area", "base", "embed", "track"}
failures = []


def fail(what):
    failures.append(what)
    print("FAIL: " + what, file=sys.stderr)


class Checker(html.parser.HTMLParser):
    """Well-formedness and self-containment, element by element."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.problems, self.sections, self.scripts = [], [], [], []
        self.data_block = None
        self.in_data = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for name, value in attrs.items():
            value = value or ""
            if name in ("src", "srcset", "action", "formaction", "poster", "data"):
                self.problems.append("<%s %s=%r> refers to something" % (tag, name, value))
            if name in ("href", "xlink:href") and not value.startswith("#"):
                self.problems.append("<%s %s=%r> leaves the file" % (tag, name, value))
            if "url(" in value and not re.fullmatch(r"url\(#[\w-]+\)", value):
                self.problems.append("<%s %s=%r> loads a url" % (tag, name, value))
        if tag in ("link", "iframe", "object", "embed", "img", "base"):
            self.problems.append("<%s> element" % tag)
        if tag == "script":
            self.scripts.append(attrs)
            self.in_data = attrs.get("type") == "application/json" and attrs.get("id") == "tallowmere-data"
            self.data_block = "" if self.in_data else self.data_block
        if tag == "section":
            self.sections.append(attrs.get("id"))
        if tag not in VOID:
            self.stack.append(tag)

    def handle_startendtag(self, tag, attrs):
        # <line .../> and the like inside SVG: opened and closed at once.
        self.handle_starttag(tag, attrs)
        if tag not in VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        if not self.stack or self.stack[-1] != tag:
            self.problems.append("</%s> closes %s" % (tag, self.stack[-1] if self.stack else "nothing"))
            return
        self.stack.pop()
        if tag == "script":
            self.in_data = False

    def handle_data(self, data):
        if self.in_data:
            self.data_block += data


def run(name, arguments, sections, env=None):
    path = os.path.join(OUT, name + ".html")
    if os.path.exists(path):
        os.remove(path)
    environment = dict(os.environ, TALLOWMERE_AUDIO="virtual", **(env or {}))
    result = subprocess.run([CLI] + arguments + ["--json", "--report", path], capture_output=True,
                            env=environment, cwd=OUT, timeout=120)
    if not os.path.exists(path):
        fail("%s: no report (status %d): %s" % (name, result.returncode, result.stderr.decode()))
        return None
    text = open(path, encoding="utf-8").read()
    checker = Checker()
    checker.feed(text)
    checker.close()
    for problem in checker.problems:
        fail("%s: %s" % (name, problem))
    if checker.stack:
        fail("%s: left open: %s" % (name, checker.stack))
    if not text.startswith("<!DOCTYPE html>\n"):
        fail("%s: no doctype" % name)
    if checker.sections != sections:
        fail("%s: sections %s, expected %s" % (name, checker.sections, sections))
    if [s.get("type") for s in checker.scripts] != ["application/json"]:
        fail("%s: scripts %s" % (name, checker.scripts))
    # The parser gives the block's text as it is; its \u escapes are JSON's own.
    stdout = result.stdout.decode()
    if checker.data_block is None or json.loads(checker.data_block) != json.loads(stdout):
        fail("%s: the embedded JSON is not --json's" % name)
    elif json.loads(stdout).get("exitStatus", json.loads(stdout).get("status")) != result.returncode:
        fail("%s: status %d, JSON says otherwise" % (name, result.returncode))
    return text


def main():
    os.makedirs(OUT, exist_ok=True)
    loop = ["--input", "Tallowmere Virtual Loopback In", "--output", "Tallowmere Virtual Loopback Out"]
    run("test-analysis", ["--duration", "1", "--analyze", "--min-snr", "200"], ["system", "test", "analysis"])
    # The loopback's 1 dB tilt fails its limit, its latency meets its own.
    text = run("loopback", loop + ["--loopback", "--channels", "2", "--rate", "48000", "--max-latency", "20",
                                   "--max-response-deviation", "0.5"], ["system", "loopback"],
               {"TALLOWMERE_VIRTUAL_LOOPBACK": "latency=480,gain=-3,noise=-90,harmonic=-40,tilt=-1,dropout=24000+48"})
    if text is not None:
        for check, verdict in (("Latency", "pass"), ("Frequency response", "fail"), ("Dropouts", "warn")):
            if not re.search(r'<th scope="row">%s</th><td><span class="verdict %s">' % (check, verdict), text):
                fail("loopback: the check %s is not marked %s" % (check, verdict))
    # The matrix: its grids, refusals and legend as tables.
    text = run("formats", ["--formats", "--rate", "48000"], ["system", "formats"])
    if text is not None:
        for caption in ("refusals, in the host&#39;s words", "What the marks mean"):
            if caption not in text:
                fail("formats: no table '%s'" % caption)
    for name in ("loopback", "formats"):
        path = os.path.join(OUT, name + ".html")
        if os.path.exists(path) and "<pre" in open(path, encoding="utf-8").read().split("<section id=\"%s\">" % name)[-1]:
            fail("%s: preformatted text where tables belong" % name)
    # A second's soak over the pair with an output underrun: the xrun fails
    # its limit (exit status 3) and is listed in the events table.
    text = run("soak", loop + ["--soak", "1s", "--max-xruns", "0"], ["system", "soak"],
               {"TALLOWMERE_VIRTUAL_LOOPBACK": "latency=480,underrun=24000+1024"})
    if text is not None and not re.search(r"<td>xrun</td><td>output</td>", text):
        fail("soak: the output's xrun is not in the events table")

    # A WAVE file whose name is markup, and the plot as SVG beside it.
    hostile = '<script>&"x\'.wav'
    wave = os.path.join(OUT, hostile)
    subprocess.run(["sox", "-n", "-r", "48000", "-b", "16", "-c", "2", wave, "synth", "2", "sine", "997"],
                   check=True)
    svg = os.path.join(OUT, "analysis-file.svg")
    text = run("analysis-file", ["--analyze-file", hostile, "--plot", svg], ["system", "analysis"])
    if text is not None:
        if "&lt;script&gt;&amp;&quot;x&#39;.wav" not in text or "<script>&" in text:
            fail("analysis-file: the file's name is not shown as text")
    try:
        root = ElementTree.parse(svg).getroot()
        if root.find("{http://www.w3.org/2000/svg}title").text.find(hostile) < 0:
            fail("--plot FILE.svg: the title is not the file's name")
    except (ElementTree.ParseError, OSError, AttributeError) as error:
        fail("--plot FILE.svg: %s" % error)

    # A report that cannot be written: said, and a run that would give 0 gives 1.
    result = subprocess.run([CLI, "--analyze-file", hostile, "--report", OUT], capture_output=True, cwd=OUT,
                            timeout=60)
    os.remove(wave)
    if result.returncode != 1 or ("cannot write '%s'" % OUT) not in result.stderr.decode():
        fail("an unwritable report: status %d, %s" % (result.returncode, result.stderr.decode()))
    return 1 if failures else 0


sys.exit(main())
