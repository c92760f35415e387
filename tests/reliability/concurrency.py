"""64 driver runs at once under make -j, sharing one TMPDIR: one compiler in
eight fails, and one assembler in eight fails over a stale object. Every run
has the right status and message, every output of a failed run is gone, every
other output is whole and its own, and TMPDIR is empty afterwards."""

import os
import subprocess

import harness

RUNS = 64

# What run i does: even runs compile only, odd runs compile and link; which
# sibling is made to fail (none, the compiler, or the assembler).
def plan(i):
    link = i % 2 == 1
    failing = {3: "fell", 6: "as"}.get(i % 8)
    return link, failing


def output_name(i, link):
    return "s%d" % i if link else "s%d.o" % i


def makefile(driver):
    lines = ["all:" + "".join(" s%d.status" % i for i in range(RUNS)), ""]
    for i in range(RUNS):
        link, failing = plan(i)
        out = output_name(i, link)
        inject = "QUARN_SIM_FAIL=%s:1 " % failing if failing else ""
        # Every compiler sleeps a second, so all the drivers are alive at once.
        lines.append("s%d.status: s%d.cc" % (i, i))
        lines.append("\tenv QUARN_SIM_SLEEP=fell:1 %s%s %s s%d.cc -o %s 2> s%d.err; echo $$? > $@"
                     % (inject, driver, "" if link else "-c", i, out, i))
        lines.append("")
    return "\n".join(lines)


def main():
    args = harness.parse_args()
    failures = harness.Failures()
    scratch = harness.Scratch("jobs")
    work = scratch.work
    for i in range(RUNS):
        with open(os.path.join(work, "s%d.cc" % i), "w") as source:
            source.write("int f%d() { return %d; }\n" % (i, i))
        link, failing = plan(i)
        if failing == "as":
            # Left by an earlier build: a failed run must not leave it for make
            # to take as up to date.
            with open(os.path.join(work, output_name(i, link)), "w") as stale:
                stale.write("stale object\n")
    with open(os.path.join(work, "Makefile"), "w") as stream:
        stream.write(makefile(harness.driver_path(args)))

    env = harness.base_environment(scratch.tmp)
    result = subprocess.run(["make", "-s", "-j%d" % RUNS], cwd=work, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, errors="replace",
                            timeout=300)
    failures.check(result.returncode == 0, "make: status %d\n%s" % (result.returncode, result.stdout))

    for i in range(RUNS):
        link, failing = plan(i)
        out = os.path.join(work, output_name(i, link))
        with open(os.path.join(work, "s%d.status" % i)) as stream:
            status = stream.read().strip()
        with open(os.path.join(work, "s%d.err" % i), errors="replace") as stream:
            stderr = stream.read()
        where = "run %d (%s, %s)" % (i, "link" if link else "compile", failing or "no failure")
        if failing:
            failures.check(status == "1", "%s: status %s, expected 1" % (where, status))
            failures.check(stderr == "%s: error: simulated failure\n" % failing,
                           "%s: stderr %r" % (where, stderr))
            failures.check(not os.path.exists(out), "%s: %s left" % (where, out))
            continue
        failures.check(status == "0", "%s: status %s, expected 0" % (where, status))
        failures.check(stderr == "", "%s: stderr %r" % (where, stderr))
        if not failures.check(os.path.isfile(out), "%s: no %s" % (where, out)):
            continue
        with open(out, errors="replace") as stream:
            text = stream.read()
        # The stand-in's outputs name the source they were made from.
        failures.check("compiled s%d.cc\n" % i in text, "%s: %s is not its own:\n%s" % (where, out, text))
        if link:
            failures.check(text.startswith("tether (quarn stand-in) linked\n") and
                           text.rstrip().endswith("input crtn.o"),
                           "%s: %s is not a whole link:\n%s" % (where, out, text))
    failures.check(scratch.leftovers() == [], "left in TMPDIR: %s" % scratch.leftovers())
    scratch.remove()
    failures.finish("%d runs at once" % RUNS)


if __name__ == "__main__":
    main()
