#!/usr/bin/env python3
"""simlog.py LOG [VARIABLE...]: the stand-in toolchain's run log, one run after
the other, in a form FileCheck lines can follow. Each run gives a line with the
program's name and its arguments (an argument that is empty or holds a blank is
shown between single quotes), then for each VARIABLE named here a line
"  VARIABLE=value", or "  VARIABLE unset" when the run did not see it."""
import json
import sys


def shown(word):
    return "'" + word + "'" if word == "" or any(c.isspace() for c in word) else word


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as log:
        for line in log:
            run = json.loads(line)
            print(" ".join([run["name"] + ":"] + [shown(word) for word in run["argv"][1:]]))
            for variable in sys.argv[2:]:
                value = run["env"].get(variable)
                print("  %s unset" % variable if value is None else "  %s=%s" % (variable, value))


main()
