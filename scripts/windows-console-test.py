#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tallowmere-cli.exe under Wine with a pseudo-terminal as its console.

Wine turns a Unix terminal into a Windows console: the keys typed on it
reach ReadConsoleInputA as key events, Ctrl-C reaches the control handler,
and what the program writes through the console API is drawn on it with
terminal sequences. Each session here runs the program on the virtual
devices, types on the terminal as a person would, and reads the screen
through a small terminal model, so what is checked is what a person sees.

Usage: windows-console-test.py CLI.exe [CASE]...   (WINEPREFIX and WINEDEBUG from the
environment; each case prints a line, a failing one its screen as well).
"""
import fcntl
import os
import pty
import re
import select
import struct
import subprocess
import sys
import tempfile
import termios
import time

# Wine starts slowly on a loaded machine; no case should come near these.
START_SECONDS = 120
END_SECONDS = 300
STATUS_ROW = re.compile(r"^\S.{39} \[[#-]")


class Screen:
    """The screen of a terminal of `columns` columns with unbounded
    scroll-back: the sequences Wine's console writes (cursor moves, erasing
    lines), not a whole terminal."""

    def __init__(self, columns, rows):
        self.columns, self.rows = columns, rows
        self.lines = [[]]
        self.line = 0  # absolute index into lines
        self.column = 0
        self.pending = b""

    def feed(self, data):
        data = self.pending + data
        self.pending = b""
        i = 0
        while i < len(data):
            byte = data[i]
            if byte == 0x1B:
                end = self._escape(data, i)
                if end is None:  # cut off: wait for the rest
                    self.pending = data[i:]
                    return
                i = end
                continue
            self._control(byte) if byte < 0x20 else self._put(chr(byte))
            i += 1

    def text_lines(self):
        return ["".join(line).rstrip() for line in self.lines]

    def _top(self):
        return max(0, len(self.lines) - self.rows)

    def _goto(self, line, column):
        self.line = max(0, line)
        while len(self.lines) <= self.line:
            self.lines.append([])
        self.column = min(max(0, column), self.columns - 1)

    def _put(self, character):
        if self.column >= self.columns:
            self._goto(self.line + 1, 0)
        row = self.lines[self.line]
        row.extend(" " * (self.column + 1 - len(row)))
        row[self.column] = character
        self.column += 1

    def _control(self, byte):
        if byte == 0x0D:
            self.column = 0
        elif byte == 0x0A:
            self._goto(self.line + 1, self.column)
        elif byte == 0x08:
            self.column = max(0, self.column - 1)
        elif byte == 0x09:
            self.column = min(self.columns - 1, (self.column // 8 + 1) * 8)

    def _escape(self, data, i):
        if i + 1 >= len(data):
            return None
        kind = data[i + 1]
        if kind == ord("]"):  # a title: up to BEL or ESC backslash
            end = data.find(b"\x07", i)
            stop = data.find(b"\x1b\\", i + 2)
            ends = [e + 1 for e in [end] if e >= 0] + [s + 2 for s in [stop] if s >= 0]
            return min(ends) if ends else None
        if kind != ord("["):
            return i + 2
        match = re.compile(rb"\[([0-9;?]*)([@-~])").match(data, i + 1)
        if not match:
            return None if len(data) - i < 32 else i + 2
        self._csi(match.group(1).decode(), chr(match.group(2)[0]))
        return match.end()

    def _csi(self, parameters, final):
        if parameters.startswith("?"):
            return  # cursor shown or hidden
        numbers = [int(p) if p else 0 for p in parameters.split(";")] if parameters else []
        n = numbers[0] if numbers and numbers[0] > 0 else 1
        if final == "C":
            self.column = min(self.columns - 1, self.column + n)
        elif final == "D":
            self.column = max(0, self.column - n)
        elif final == "A":
            self._goto(max(self._top(), self.line - n), self.column)
        elif final == "B":
            self._goto(self.line + n, self.column)
        elif final == "G":
            self.column = min(self.columns - 1, n - 1)
        elif final in "Hf":
            column = numbers[1] if len(numbers) > 1 and numbers[1] > 0 else 1
            self._goto(self._top() + n - 1, column - 1)
        elif final == "K":
            self._erase_line(numbers[0] if numbers else 0)
        elif final == "J":
            self._erase_screen(numbers[0] if numbers else 0)

    def _erase_line(self, how):
        row = self.lines[self.line]
        if how == 0:
            del row[self.column:]
        elif how == 1:
            row[: self.column + 1] = " " * min(len(row), self.column + 1)
        else:
            row.clear()

    def _erase_screen(self, how):
        self._erase_line(how)
        below = range(self.line + 1, len(self.lines)) if how != 1 else range(self._top(), self.line)
        for line in below:
            self.lines[line] = []
        if how == 2:
            for line in range(self._top(), self.line):
                self.lines[line] = []


def full_pipe():
    """A pipe whose buffer is full: a program writing to it blocks until it
    is read, as behind a pager that is not reading."""
    reader, writer = os.pipe()
    os.set_blocking(writer, False)
    try:
        while True:
            os.write(writer, b"x" * 4096)
    except BlockingIOError:
        pass
    os.set_blocking(writer, True)
    return reader, writer


class Session:
    """One run of the program with a new pseudo-terminal as its console.
    Standard input is the terminal; standard output and error are too unless
    `report_file` takes the output or `blocked` ("out" or "err") names one
    that goes into a full pipe."""

    def __init__(self, cli, arguments, columns=80, report_file=None, blocked=None):
        master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        self.master = master
        self.settings_before = termios.tcgetattr(master)
        self.screen = Screen(columns, 24)
        self.raw = b""
        self.status_lines = {}  # absolute line -> status texts drawn there, in order
        environment = dict(os.environ, TALLOWMERE_AUDIO="virtual")
        streams = {"out": slave, "err": slave}
        if report_file:
            streams["out"] = os.open(report_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
        self.pipe = None
        if blocked:
            self.pipe, streams[blocked] = full_pipe()
        self.process = subprocess.Popen(
            ["wine", cli, *arguments], stdin=slave, stdout=streams["out"], stderr=streams["err"],
            env=environment, start_new_session=True,
            preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        for fd in set(streams.values()) | {slave}:
            os.close(fd)

    def type(self, keys):
        os.write(self.master, keys)
        return time.monotonic()

    def wait_for(self, predicate, seconds=START_SECONDS):
        end = time.monotonic() + seconds
        while not predicate(self):
            if time.monotonic() > end or self._read(0.1) is False:
                return predicate(self)
        return True

    def wait_for_text(self, text, seconds=START_SECONDS):
        return self.wait_for(lambda s: text in s.text(), seconds)

    def finish(self, seconds=END_SECONDS):
        """The exit status, after Wine's console has drawn all it had; a
        program still running after `seconds` is killed (status None)."""
        # Read on while it runs: a terminal nobody reads blocks the console.
        end = time.monotonic() + seconds
        while self.running() and time.monotonic() < end:
            if self._read(0.1) is False:
                time.sleep(0.1)  # closed: nothing more to read, only to wait
        status = self.process.poll()
        if status is None:
            self.process.kill()
            self.process.wait()
        # Wine's console may still be drawing; done when it has been quiet
        # for a second, or has closed the terminal.
        last = time.monotonic()
        while time.monotonic() - last < 1.0:
            got = self._read(0.1)
            if got is False:
                break
            if got:
                last = time.monotonic()
        self.settings_after = termios.tcgetattr(self.master)
        os.close(self.master)
        if self.pipe is not None:
            os.close(self.pipe)
        return status

    def running(self):
        return self.process.poll() is None

    def text(self):
        return "\n".join(self.screen.text_lines())

    def status_line(self):
        """The last status line drawn, or ''."""
        drawn = [t for texts in self.status_lines.values() for t in texts]
        return drawn[-1] if drawn else ""

    # Reads what the console drew within `seconds`: True when something came,
    # None when nothing did, False once the terminal is closed.
    def _read(self, seconds):
        ready, _, _ = select.select([self.master], [], [], seconds)
        if not ready:
            return None
        try:
            data = os.read(self.master, 65536)
        except OSError:
            return False
        if not data:
            return False
        self.raw += data
        self.screen.feed(data)
        for number, line in enumerate(self.screen.text_lines()):
            if STATUS_ROW.search(line):
                texts = self.status_lines.setdefault(number, [])
                if not texts or texts[-1] != line:
                    texts.append(line)
        return True


class Cases:
    def __init__(self, cli):
        self.cli = cli
        self.failures = 0

    def check(self, name, session, status, expectations):
        failed = [what for what, ok in expectations if not ok]
        if not failed:
            print(f"windows-console-test: ok: {name}")
            return
        self.failures += 1
        print(f"windows-console-test: FAILED: {name} (exit status {status}): {'; '.join(failed)}")
        print("---- screen ----\n" + session.text() + "\n---- raw, last 1500 bytes ----")
        print(repr(session.raw[-1500:]))


def terminal_restored(session):
    lflag = 3
    mask = termios.ICANON | termios.ECHO | termios.ISIG
    return session.settings_after[lflag] & mask == session.settings_before[lflag] & mask


def recording(session):
    return "Recording..." in session.status_line()


def played_back(session):
    drawn = [t for texts in session.status_lines.values() for t in texts]
    playing = [i for i, t in enumerate(drawn) if "Playing..." in t]
    return bool(playing) and any(t.startswith("Ready") for t in drawn[playing[0]:])


def redraw_in_place(cases):
    """A short run with everything on the console: the status line is drawn
    on one line and redrawn there, at every width, and erased before the
    report takes its place."""
    for columns in (80, 50):
        session = Session(cases.cli, ["--duration", "2"], columns=columns)
        status = session.finish()
        lines = session.screen.text_lines()
        where = list(session.status_lines)
        drawn = session.status_lines.get(0, [])
        percentages = {m.group(1) for t in drawn if "Recording..." in t for m in [re.search(r"(\d+)%", t)] if m}
        cases.check(f"status line redrawn in place, {columns} columns", session, status, [
            ("exit status 0", status == 0),
            (f"status lines drawn on lines {where}, not on line 0 alone", where == [0]),
            # Narrower, the percentage is cut off.
            (f"recording progress drawn at {sorted(percentages)}, not at three values or more",
             columns < 70 or len(percentages) >= 3),
            ("a status line wider than the terminal",
             all(len(t) < columns for t in drawn)),
            ("the report does not start on the status line's line",
             bool(lines) and lines[0].startswith("Operating System:")),
            ("a status line left on the screen", not any(STATUS_ROW.search(l) for l in lines)),
            ("not four successful calls on the screen", session.text().count("Called sucessfully") == 4),
            ("terminal modes not restored", terminal_restored(session)),
        ])


def esc_cancels(cases, work):
    """Keys that are not Esc (arrows, function keys) leave the recording
    running; Esc cancels it as soon as the next poll sees it."""
    report = os.path.join(work, "esc.txt")
    session = Session(cases.cli, ["--duration", "100"], report_file=report)
    started = session.wait_for(recording)
    not_esc = []
    for name, keys in (("Up", b"\x1b[A"), ("F1", b"\x1bOP"), ("F5", b"\x1b[15~"), ("Delete", b"\x1b[3~")):
        session.type(keys)
        session.wait_for(lambda s: not s.running(), 1.5)
        if not (session.running() and recording(session)):
            not_esc.append(name)
    typed = session.type(b"\x1b")
    seen = session.wait_for(lambda s: "Recording Cancelled" in s.status_line(), 60)
    latency = time.monotonic() - typed
    status = session.finish()
    text = open(report, "rb").read()
    print(f"windows-console-test: Esc to \"Recording Cancelled\" on the screen: {latency * 1000:.0f} ms")
    cases.check("Esc cancels the recording, other keys do not", session, status, [
        ("the recording did not start", started),
        (f"{', '.join(not_esc)} cancelled the recording", not not_esc),
        ("Esc did not show \"Recording Cancelled\"", seen),
        ("exit status 130", status == 130),
        ("report does not say the recording was cancelled", b"   Record\tRecording cancelled\r\n" in text),
        ("terminal modes not restored", terminal_restored(session)),
    ])


def ctrl_c(cases, work):
    """Ctrl-C once cancels the recording like Esc, with the report. In a
    step that never polls (here: output into a pipe nobody reads) the first
    press changes nothing and the second ends the program at once."""
    report = os.path.join(work, "ctrl-c.txt")
    session = Session(cases.cli, ["--duration", "100"], report_file=report)
    started = session.wait_for(recording)
    session.type(b"\x03")
    status = session.finish()
    text = open(report, "rb").read()
    cases.check("Ctrl-C cancels the recording", session, status, [
        ("the recording did not start", started),
        ("exit status 130", status == 130),
        ("report does not say the recording was cancelled", b"   Record\tRecording cancelled\r\n" in text),
        ("terminal modes not restored", terminal_restored(session)),
    ])

    rows = (
        # The report, written once the test is over ("Ready" after playing).
        ("report", "out", played_back, 2),
        # The status lines, one per change when they do not go to a console:
        # the first already blocks, and nothing shows.
        ("status lines", "err", lambda s: True, 8),
    )
    for name, blocked, reached, settle in rows:
        session = Session(cases.cli, ["--duration", "1"], blocked=blocked)
        started = session.wait_for(reached)
        # Time for the program to come to the write that blocks.
        session.wait_for(lambda s: not s.running(), settle)
        blocked_before = session.running()
        session.type(b"\x03")
        session.wait_for(lambda s: not s.running(), 3)
        after_one = session.running()
        session.type(b"\x03")
        # It should end at once; a minute is plenty even for Wine.
        status = session.finish(60)
        cases.check(f"Ctrl-C twice while the {name} cannot be written", session, status, [
            ("the run did not start", started),
            ("the program did not block", blocked_before),
            ("the first Ctrl-C ended the program", after_one),
            ("exit status 130 after the second", status == 130),
            ("terminal modes not restored", terminal_restored(session)),
        ])


def tone_question(cases, work):
    """A recording the device refuses (3 channels) asks whether to play the
    tone; the answer is a key on the console."""
    rows = (
        ("y plays the tone", b"y", "yes", True, 1),
        ("n declines it", b"n", "no", False, 1),
        ("Esc declines it", b"\x1b", "no", False, 1),
        ("Ctrl-C declines it and cancels", b"\x03", "no", False, 130),
    )
    for name, key, answer, played, expected in rows:
        report = os.path.join(work, "tone.txt")
        session = Session(cases.cli, ["--channels", "3", "--duration", "1", "--tone", "ask"],
                          report_file=report)
        # The question is wider than the terminal: the screen wraps it.
        asked = session.wait_for(lambda s: s.text().endswith("tone? [y/N]"))
        session.type(key)
        answered = session.wait_for_text(f"[y/N] {answer}", 60)
        status = session.finish()
        text = open(report, "rb").read()
        cases.check(f"tone question: {name}", session, status, [
            ("the question was not asked", asked),
            (f"the answer \"{answer}\" was not shown", answered),
            (f"exit status {expected}", status == expected),
            ("the output device section is " + ("missing" if played else "there"),
             (b"Output Device:\tTallowmere Virtual Output\r\n" in text) == played),
            ("terminal modes not restored", terminal_restored(session)),
        ])


CASES = {
    "redraw": lambda cases, work: redraw_in_place(cases),
    "esc": esc_cancels,
    "ctrl-c": ctrl_c,
    "tone": tone_question,
}


def main():
    if len(sys.argv) < 2 or any(name not in CASES for name in sys.argv[2:]):
        sys.exit(f"usage: windows-console-test.py CLI.exe [{'|'.join(CASES)}]...")
    cases = Cases(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        for name in sys.argv[2:] or CASES:
            CASES[name](cases, work)
    sys.exit(1 if cases.failures else 0)


if __name__ == "__main__":
    main()
