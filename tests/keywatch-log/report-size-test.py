#!/usr/bin/env python3
"""keywatch-log report's page stays small whatever the log.

    report-size-test.py TOOL WORK

Writes two logs in WORK and reports each:

- 20,000 sessions, each a Reset with its aircraft line and one event (logs
  pasted together): the page shows the last 10 in full, the 500 before them
  a row each and the rest in one row;
- 14 sessions as heavy as a session gets: events in every step of the
  timeline, logging stopped and started all along, more add-on events than
  the page lists, each with many data values, bursts, and texts of
  thousands of characters (an edited log): fewer sessions fit in full.

Each page must be under 2 MB and hold what the guide says it holds. Prints
the sizes; exits 1 on any problem.
"""
import os
import re
import shutil
import subprocess
import sys

LIMIT = 2 * 1024 * 1024
PATH = r"C:\Users\pilot\Documents\Prepar3D v4 Add-ons\keywatch-4.0.2-win64\Gauges\keywatch_x64.dll"
problems = []


def problem(text):
    problems.append(text)
    print("FAIL: " + text)


def t(micros):
    return f"{micros // 1000000}.{micros % 1000000:06d}"


def resets(path, sessions):
    with open(path, "w", newline="\r\n") as f:
        for n in range(sessions):
            at = 1000 + n * 250000
            f.write(f"\n Time= {t(at)} Gauge Refreshed= {PATH}\n"
                    f" Time= {t(at + 5)} Aircraft Title= Beech Baron 58 Paint1 Type= Beechcraft "
                    f"Model= BE58\n Time= {t(at + 6)} Logging Started\n"
                    f" Time={t(at + 10)}; id=34; event_in=KEY_GEAR_TOGGLE; evdata={n % 2}\n")


def heavy(path, sessions):
    long_title = "Long Title " * 400
    long_name = "KEY_" + "X" * 5000
    with open(path, "w", newline="\r\n") as f:
        for n in range(sessions):
            f.write(f"\n Time=0.000010; Aircraft Loaded Title={long_title}; Type={long_title}; "
                    f"Model={long_title}\n Time= 0.000020 Gauge Loaded= {PATH}{long_title}\n")
            at = 1000
            for i in range(3000):
                at += 7919 + (i * 104729) % 3000  # every step of the timeline has events
                if i % 5 == 0:
                    f.write(f" Time= {t(at)} Logging Stopped\n Time= {t(at + 1)} Logging Started\n")
                if i % 2 == 0:
                    f.write(f" Time= {t(at + 2)} id= {4096 + i // 2 % 150} event_in= "
                            f"User_Defined_Event evdata= {i}\n")
                name = long_name if i % 50 == 0 else f"KEY_EVENT_{i % 40}"
                for k in range(3):  # a burst of three
                    f.write(f" Time={t(at + 3 + k)}; id={i % 40}; event_in={name}; "
                            f"evdata={i % 7}\n")


def report(tool, log, page):
    made = subprocess.run([tool, "report", "-o", page, log], capture_output=True, timeout=300)
    if made.returncode != 0:
        problem(f"report of {log}: exit status {made.returncode}: {made.stderr.decode()[:500]}")
        return ""
    size = os.path.getsize(page)
    print(f"{os.path.basename(log)}: {os.path.getsize(log)} bytes of log, a page of {size} bytes")
    if size >= LIMIT:
        problem(f"{os.path.basename(page)} is {size} bytes, not under {LIMIT}")
    with open(page, encoding="utf-8") as f:
        return f.read()


def main():
    tool, work = sys.argv[1:3]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    log = os.path.join(work, "resets.log")
    resets(log, 20000)
    page = report(tool, log, os.path.join(work, "resets.html"))
    full = re.findall(r'<section id="session-(\d+)"', page)
    if full != [str(n) for n in range(19991, 20001)]:
        problem(f"resets.html shows sessions {full[:3]}...{full[-3:]} in full, not 19991-20000")
    earlier = page[page.find('<section id="earlier">'):page.find('<section id="session-')]
    rows = earlier.count('<tr><td class="num">')
    if "<h2>Sessions 1\u201319990 in brief</h2>" not in page or rows != 500 \
            or 'in full, <a href="#session-19991">below</a>' not in page:
        problem(f"resets.html: the earlier sessions are not 1-19990 in brief with 500 rows "
                f"({rows} rows)")
    if not re.search(r'<tr class="together"><td class="num">1\u201319490</td>.*?<td class="num">19490</td>',
                     page):
        problem("resets.html: sessions 1-19490 are not one row with their 19490 events")

    log = os.path.join(work, "heavy.log")
    heavy(log, 14)
    page = report(tool, log, os.path.join(work, "heavy.html"))
    if "X" * 301 in page or "Long Title " * 28 in page:
        problem("heavy.html shows a text of the log longer than 300 characters")
    full = len(re.findall(r'<section id="session-', page))
    if not 1 <= full < 14 or page.count("50 more add-on events") != full \
            or page.count(" not shown</td>") != full:
        problem(f"heavy.html: {full} sessions in full, not each with 50 add-on events left out "
                f"and events in order cut")

    print(f"report-size-test: {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
