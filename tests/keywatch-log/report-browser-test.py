#!/usr/bin/env python3
"""keywatch-log report's pages as a browser shows them, in headless Chromium.

    report-browser-test.py TOOL CHROMIUM FIXTURES WORK

Two pages, one Chromium each, both at once: the demo flight's report in light
mode, and in dark mode the report of a log of seven sessions (sessions.log,
quiet.log, repeats.log and startup.log one after another: a Reset, bursts,
an empty session, a steady repeat, a tug-of-war, add-on names, the module
started before any flight, then aircraft changes: 12 sessions, more than the
page shows in full). Each Chromium has a
home folder of its own in WORK (it writes there even with a profile
folder). For each page it checks:

- Chromium loaded the page without a console message: the page has no
  script, so any message is the browser's own complaint (a blocked fetch,
  a resource that is not there);
- the rendered page (--dump-dom) has a section for each of the last 10
  sessions summary counts, and a row for each before them (the page's
  bound), and one timeline in each section but a one-line session (the
  module started before any flight), whose bars add up to the events
  summary counts; the busiest-events rows of each session carry the counts,
  numbers and names of summary --top 15, in its order; and the events in
  order are the log's event lines, every one, in the log's order (for the
  demo flight read from the log itself, all 48 of them; for the other page
  as csv gives them, session by session);
- the screenshot is not blank: the background is light or dark as the mode
  asks, much of it is drawn on, and the bars' blue and the logging strip's
  green (the gauge's ON) are there in the mode's shades.

Prints what it found; exits 1 on any problem.
"""
import collections
import html.parser
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

WIDTH, HEIGHT = 1200, 1100
# The shades the page's style gives the bars and logging on, per mode.
COLOURS = {
    "light": {"bar": (0x2F, 0x67, 0xA6), "on": (0x00, 0x7A, 0x00)},
    "dark": {"bar": (0x73, 0xA9, 0xE6), "on": (0x00, 0xFF, 0x00)},
}
problems = []


def problem(text):
    problems.append(text)
    print("FAIL: " + text)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, timeout=120, **kwargs)


# ---- What summary says ------------------------------------------------------------


def summary_of(tool, log, options):
    """Per session: the events written, and the busiest (count, id, name)."""
    result = run([tool, "summary", "--top", "15"] + options + [log])
    if result.returncode != 0:
        problem(f"summary of {log}: exit status {result.returncode}")
    sessions = []
    in_busiest = False
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if re.match(r"Session \d+ ", line):
            one_line = "before any aircraft was loaded" in line
            sessions.append({"events": 0, "busiest": [], "one_line": one_line, "sequence": []})
            in_busiest = False
        elif m := re.match(r"  Events: +(\d+) written", line):
            sessions[-1]["events"] = int(m.group(1))
        elif line.startswith("  Busiest events"):
            in_busiest = True
        elif in_busiest and (m := re.match(r" +(\d+) +[\d.]+% +(-?\d+)  (.*)$", line)):
            sessions[-1]["busiest"].append((int(m.group(1)), int(m.group(2)), m.group(3)))
        elif not line.startswith("    "):
            in_busiest = False
    csv = run([tool, "csv"] + options + [log])
    for row in csv.stdout.decode("utf-8", "replace").splitlines()[1:]:
        m = re.match(r'(\d+),([\d.]+),(?:key|user),(-?\d+),"?(.*?)"?,(-?\d+)$', row)
        if not m:
            problem(f"csv of {log}: a row not understood: {row}")
            continue
        session, time, number, name, data = m.groups()
        sessions[int(session) - 1]["sequence"].append((time, name.replace('""', '"'), number, data))
    return sessions


def events_of(log):
    """The event lines of a log of one session, read here, in order: (time,
    name, id, data)."""
    key = re.compile(rb" Time=(\d+\.\d{6}); id=(-?\d+); event_in=(.*); evdata=(-?\d+)\r?$")
    user = re.compile(rb" Time= (\d+\.\d{6}) id= (-?\d+) event_in= (.*) evdata= (-?\d+)\r?$")
    rows = []
    with open(log, "rb") as f:
        for line in f:
            if m := key.match(line.rstrip(b"\n")) or user.match(line.rstrip(b"\n")):
                time, number, name, data = (g.decode() for g in m.groups())
                rows.append((time, name, number, data))
    return rows


# ---- What the browser shows -------------------------------------------------------


class Page(html.parser.HTMLParser):
    """The sessions of a rendered page: timelines, their bars' counts, the
    busiest-events rows and the events in order (cells of each row)."""

    VOID = {"meta", "link", "br", "img", "input", "hr", "col", "area", "base", "wbr"}

    def __init__(self):
        super().__init__()
        self.sessions = []
        self.stack = []  # (tag, classes)
        self.title = None
        self.row = None  # the cells of a table row being read
        self.cell = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        classes = (attrs.get("class") or "").split()
        if tag == "section" and (attrs.get("id") or "").startswith("session-"):
            self.sessions.append({"number": int(attrs["id"][len("session-"):]), "timelines": 0,
                                  "bars": [], "busiest": [], "sequence": [], "gaps": [],
                                  "changes": 0})
        if tag == "svg" and "timeline" in classes and self.sessions:
            self.sessions[-1]["timelines"] += 1
        if tag == "title" and self.inside("svg"):
            self.title = ""
        if tag == "tr" and self.sessions and (self.inside("table", "busiest") or
                                              self.inside("table", "sequence")):
            self.row = {"classes": classes, "cells": []}
        if tag == "td" and self.row is not None:
            self.cell = ""
        if tag not in self.VOID:
            self.stack.append((tag, classes))

    def handle_startendtag(self, tag, attrs):
        pass

    def handle_data(self, data):
        if self.title is not None:
            self.title += data
        if self.cell is not None:
            self.cell += data

    def handle_endtag(self, tag):
        if tag == "title" and self.title is not None:
            if self.inside("g", "bars"):
                m = re.search(r": (\d+) events?$", self.title)
                self.sessions[-1]["bars"].append(int(m.group(1)) if m else self.title)
            self.title = None
        if tag == "td" and self.cell is not None:
            self.row["cells"].append(self.cell)
            self.cell = None
        if tag == "tr" and self.row is not None:
            self.end_row(self.row)
            self.row = None
        while self.stack:
            if self.stack.pop()[0] == tag:
                break

    def end_row(self, row):
        session, cells = self.sessions[-1], row["cells"]
        if not cells:  # the head
            return
        if self.inside("table", "busiest"):
            # count, share, bar, id, event, data
            session["busiest"].append((int(cells[0]), int(cells[3]), cells[4]))
        elif "gap" in row["classes"]:
            session["gaps"].append(cells[0])
        elif "change" in row["classes"]:
            session["changes"] += 1
        else:  # time, event, id, data
            session["sequence"].append((cells[0], cells[1], cells[2], cells[3]))

    def inside(self, tag, css=None):
        return any(t == tag and (css is None or css in c) for t, c in self.stack)


def check_sequence(name, n, shown, wanted):
    """The events in order against the log's: all of them, or the two ends
    of a long session with the count between them said."""
    rows = shown["sequence"]
    if shown["gaps"]:
        half = len(rows) // 2
        hidden = len(wanted) - len(rows)
        said = re.match(r"\u2026 (\d+) events? ", shown["gaps"][0])
        if rows != wanted[:half] + wanted[len(wanted) - half:] or not said \
                or int(said.group(1)) != hidden:
            problem(f"{name}: session {n}: the events in order are not the log's ends "
                    f"with {hidden} between: {shown['gaps']}")
    elif rows != wanted:
        first = next((i for i, (a, b) in enumerate(zip(rows, wanted)) if a != b),
                     min(len(rows), len(wanted)))
        problem(f"{name}: session {n}: {len(rows)} events in order, the log has "
                f"{len(wanted)}; they part at row {first}: "
                f"{rows[first:first + 1]} against {wanted[first:first + 1]}")


def check_dom(name, dom, expected, demo_events=None):
    page = Page()
    page.feed(dom)
    # The last 10 sessions in full; any before them in the table of earlier
    # sessions, a row each.
    numbers = [shown["number"] for shown in page.sessions]
    if numbers != list(range(max(1, len(expected) - 9), len(expected) + 1)):
        problem(f"{name}: sessions {numbers} shown in full, summary has {len(expected)}")
    earlier = re.findall(r'<tr><td class="num">(\d+)</td>', dom.split('<section id="session-')[0])
    if earlier != [str(n) for n in range(1, numbers[0] if numbers else 1)]:
        problem(f"{name}: the earlier sessions' rows are {earlier}")
    if demo_events is not None:
        # The demo flight: one session, its events read from the log here.
        if len(demo_events) != 48:
            problem(f"{name}: the demo flight's log has {len(demo_events)} events, not 48")
        expected[0]["sequence"] = demo_events
    for shown in page.sessions:
        n = shown["number"]
        wanted = expected[n - 1]
        check_sequence(name, n, shown, wanted["sequence"])
        if wanted["one_line"]:
            if shown["timelines"] != 0 or shown["sequence"]:
                problem(f"{name}: session {n}, one line in summary, has a timeline or events")
            continue
        if shown["timelines"] != 1:
            problem(f"{name}: session {n} has {shown['timelines']} timelines")
        if any(isinstance(b, str) for b in shown["bars"]):
            problem(f"{name}: session {n}: a bar's title gives no count: {shown['bars']}")
        elif sum(shown["bars"]) != wanted["events"]:
            problem(f"{name}: session {n}: the timeline's bars add up to {sum(shown['bars'])} "
                    f"events, summary counts {wanted['events']}")
        if shown["busiest"] != wanted["busiest"]:
            problem(f"{name}: session {n}: busiest rows {shown['busiest']}, "
                    f"summary {wanted['busiest']}")
    bars = sum(len(s["bars"]) for s in page.sessions)
    busiest = sum(len(s["busiest"]) for s in page.sessions)
    sequence = sum(len(s["sequence"]) for s in page.sessions)
    print(f"{name}: {len(page.sessions)} sessions in full, {len(earlier)} in brief, "
          f"{bars} timeline bars, "
          f"{busiest} busiest-event rows as summary counts them, {sequence} events in order "
          f"as the log has them")


# ---- The screenshot ---------------------------------------------------------------


def colours(path):
    """Width, height and the count of each (r, g, b) of an 8-bit RGB or RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    at, idat = 8, b""
    while at < len(data):
        (size,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + size]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError(f"a PNG of depth {depth}, colour type {colour}")
        elif kind == b"IDAT":
            idat += body
        at += 12 + size
    step = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * step
    counts = collections.Counter()
    previous = bytes(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:  # up: the most common, a row at a time
            line = bytearray((a + b) & 0xFF for a, b in zip(line, previous))
        elif kind == 1:  # sub
            for i in range(step, stride):
                line[i] = (line[i] + line[i - step]) & 0xFF
        elif kind == 3:  # average
            for i in range(stride):
                left = line[i - step] if i >= step else 0
                line[i] = (line[i] + (left + previous[i]) // 2) & 0xFF
        elif kind == 4:  # Paeth: the nearest of left, up and corner to left + up - corner
            for i in range(step):
                line[i] = (line[i] + previous[i]) & 0xFF
            for i in range(step, stride):
                a, b, c = line[i - step], previous[i], previous[i - step]
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - c - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        counts.update(zip(line[0::step], line[1::step], line[2::step]))
        previous = line
    return width, height, counts


def check_screenshot(name, path, mode):
    try:
        width, height, counts = colours(path)
    except (OSError, ValueError, zlib.error) as e:
        problem(f"{name}: the screenshot {path} cannot be read: {e}")
        return
    if (width, height) != (WIDTH, HEIGHT):
        problem(f"{name}: the screenshot is {width}x{height}, not {WIDTH}x{HEIGHT}")
    background, most = max(counts.items(), key=lambda kv: kv[1])
    light = sum(background) / 3 > 200
    drawn = 1 - most / (width * height)
    if light != (mode == "light"):
        problem(f"{name}: the background {background} is not {mode}")
    if drawn < 0.03:
        problem(f"{name}: only {drawn:.1%} of the screenshot differs from its background")
    for what, colour in COLOURS[mode].items():
        if counts.get(colour, 0) < 20:
            problem(f"{name}: the {what} colour {colour} shows in {counts.get(colour, 0)} pixels")
    print(f"{name}: screenshot {width}x{height}, background {background}, {drawn:.1%} drawn, "
          f"{len(counts)} colours; bars {counts.get(COLOURS[mode]['bar'], 0)} px, "
          f"logging on {counts.get(COLOURS[mode]['on'], 0)} px")


# ---- The runs ---------------------------------------------------------------------


def main():
    tool, chromium, fixtures, work = sys.argv[1:5]
    if not shutil.which(chromium):
        print(f"FAIL: no Chromium at '{chromium}': run scripts/install-deps.sh")
        return 1
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    names = os.path.join(fixtures, "addon-names.h")
    several = os.path.join(work, "several.log")
    with open(several, "wb") as out:
        for part in ("sessions.log", "quiet.log", "repeats.log", "startup.log"):
            with open(os.path.join(fixtures, part), "rb") as f:
                out.write(f.read())
    pages = [("light", os.path.join(fixtures, "demo-linux.log"), []),
             ("dark", several, ["--names", names])]

    runs = []
    for mode, log, options in pages:
        page = os.path.join(work, f"{mode}.html")
        made = run([tool, "report"] + options + ["-o", page, log])
        if made.returncode != 0:
            problem(f"report of {log}: exit status {made.returncode}: {made.stderr.decode()}")
            continue
        profile = os.path.join(work, f"profile-{mode}")
        home = os.path.join(work, f"home-{mode}")
        os.makedirs(profile)
        os.makedirs(home)
        args = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--hide-scrollbars",
                f"--user-data-dir={profile}", "--enable-logging=stderr", "--v=0",
                f"--window-size={WIDTH},{HEIGHT}",
                f"--screenshot={os.path.join(work, mode + '.png')}", "--dump-dom"]
        if mode == "dark":
            args.append("--force-dark-mode")
        args.append("file://" + os.path.abspath(page))
        runs.append((mode, log, options, subprocess.Popen(
            args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work,
            env=dict(os.environ, HOME=home))))

    for mode, log, options, process in runs:
        try:
            dom, log_text = process.communicate(timeout=120)
        except subprocess.TimeoutExpired:
            process.kill()
            problem(f"{mode}: Chromium did not finish within 120 s")
            continue
        name = f"{mode} ({os.path.basename(log)})"
        if process.returncode != 0:
            problem(f"{name}: Chromium's exit status {process.returncode}")
        console = [line for line in log_text.decode("utf-8", "replace").splitlines()
                   if ":CONSOLE" in line]
        for line in console:
            problem(f"{name}: the console says: {line}")
        if not console:
            print(f"{name}: loaded without a console message")
        check_dom(name, dom.decode("utf-8", "replace"), summary_of(tool, log, options),
                  events_of(log) if mode == "light" else None)
        check_screenshot(name, os.path.join(work, f"{mode}.png"), mode)

    print(f"report-browser-test: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
