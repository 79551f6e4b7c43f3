#!/usr/bin/env python3
"""Says which tests of a CTest run were skipped and why, from its JUnit file.
A skipped test's reason is the "skipped: ..." line that it printed
(scripts/machine.sh prints it).

    skipped.py tests RESULTS.xml          one line per skipped test and its reason
    skipped.py summary LABEL RESULTS.xml  one line per reason:
                                          "LABEL: N tests skipped: REASON"
"""
import sys
import xml.etree.ElementTree as ElementTree


def skipped(path):
    """(test name, reason) of each skipped test, in the order they ran."""
    found = []
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        if case.find("skipped") is None:
            continue
        output = case.findtext("system-out") or ""
        reason = next((line[len("skipped: "):].strip() for line in output.splitlines()
                       if line.startswith("skipped: ")), "no reason given")
        found.append((case.get("name"), reason))
    return found


def main():
    if sys.argv[1] == "tests":
        for name, reason in skipped(sys.argv[2]):
            print(f"Skipped {name}: {reason}")
        return
    label, path = sys.argv[2:4]
    counts = {}
    for _, reason in skipped(path):
        counts[reason] = counts.get(reason, 0) + 1
    for reason, count in counts.items():
        print(f"{label}: {count} test{'s' if count != 1 else ''} skipped: {reason}")


if __name__ == "__main__":
    main()
