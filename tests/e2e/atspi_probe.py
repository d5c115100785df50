"""Prints, as JSON, what a screen reader finds of Brivet's windows over the AT-SPI bus: for each
object under the application named Brivet, its role, name and states. Run with the system's
Python, which has pyatspi: /usr/bin/python3 atspi_probe.py"""

import json
import sys

import pyatspi


def walk(accessible, depth, out):
    try:
        states = accessible.getState()
        out.append({"role": accessible.getRoleName(), "name": accessible.name, "depth": depth,
                    "selected": states.contains(pyatspi.STATE_SELECTED),
                    "focused": states.contains(pyatspi.STATE_FOCUSED),
                    "showing": states.contains(pyatspi.STATE_SHOWING)})
        for index in range(accessible.childCount):
            walk(accessible.getChildAtIndex(index), depth + 1, out)
    except Exception:  # an object gone meanwhile
        pass


def main():
    out = []
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and (len(sys.argv) < 2 or application.name == sys.argv[1]):
            walk(application, 0, out)
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main()
