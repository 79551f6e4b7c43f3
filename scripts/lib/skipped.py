#!/usr/bin/env python3
"""Says which tests of CTest runs were skipped and why, from their JUnit
files: a skipped test's reason is the "skipped: ..." line that it printed
(scripts/lib/machine.sh prints it). One line per skipped test, then one line
per reason and label: "LABEL: N tests skipped: REASON".

    skipped.py LABEL=RESULTS.xml...
"""
import sys
import xml.etree.ElementTree as ElementTree

counts = {}
for argument in sys.argv[1:]:
    label, path = argument.split("=", 1)
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        if case.find("skipped") is None:
            continue
        reason = next((line[len("skipped: "):].strip()
                       for line in (case.findtext("system-out") or "").splitlines()
                       if line.startswith("skipped: ")), "no reason given")
        print(f"Skipped {case.get('name')}: {reason}")
        counts[(label, reason)] = counts.get((label, reason), 0) + 1
for (label, reason), count in counts.items():
    print(f"{label}: {count} test{'s' if count != 1 else ''} skipped: {reason}")
if not counts:
    print("Every test ran.")
