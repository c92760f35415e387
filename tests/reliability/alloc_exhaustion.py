"""Every allocation of a run fails in turn: the run ends with the
out-of-memory message and status 1, or completes once N is past its last
allocation; it never crashes and leaves no temporary file. An output may stay
only when the command that wrote it had finished: then it is whole."""

import os
import re
import shutil

import harness

# "\n%s%sout of memory allocating %lu bytes\n": the name is there once the
# driver has set it, which happens before its first allocation of a run.
OOM_MESSAGE = re.compile(r"\nquarn\+\+: out of memory allocating [1-9][0-9]* bytes\n\Z")

# The work directory's own files: a source and a response file naming it.
INPUTS = ("hello.cc", "args.rsp")

# Name, arguments, stand-in settings, the status of a completed run and the
# files it adds to the work directory.
CASES = [
    ("dry run", ["-###", "-c", "hello.cc"], {}, 0, []),
    ("compile only", ["-c", "hello.cc"], {}, 0, ["hello.o"]),
    ("compile and link", ["hello.cc", "-o", "hello"], {}, 0, ["hello"]),
    # Compiler and assembler joined by a pipe, started one after the other.
    ("piped compile and link", ["-pipe", "hello.cc", "-o", "hello"], {}, 0, ["hello"]),
    # A response file on the command line: the link's arguments go through one too.
    ("link through a response file", ["@args.rsp"], {}, 0, ["hello"]),
    # The compiler crashes every time: three reproduction attempts and a
    # preprocessing run, each with an output and an error file of its own.
    ("crash reproduction", ["-freport-bug", "-c", "hello.cc"], {"QUARN_SIM_FAIL": "fell:4"}, 1,
     []),
]

# Temporary names differ from run to run; whole outputs are equal apart from them.
TEMP_NAME = re.compile(r"cc[A-Za-z0-9]{6}")


def normalised(path):
    with open(path, errors="replace") as stream:
        return TEMP_NAME.sub("ccXXXXXX", stream.read())

# Well above the few hundred a run of these makes: the loop must end by a
# completed run, not by this bound.
MAX_REQUESTS = 20000


def main():
    args = harness.parse_args()
    failures = harness.Failures()
    summary = []
    for name, argv, settings, completed_status, outputs in CASES:
        scratch = harness.Scratch("oom")
        for input_name in INPUTS:
            shutil.copy(os.path.join(args.inputs, input_name), scratch.work)
        env = harness.base_environment(scratch.tmp)
        env.update(settings)
        reference = harness.run([args.hooked] + argv, env, scratch.work)
        if not failures.check(reference.returncode == completed_status,
                              "%s: the run without failures: status %d\n%s"
                              % (name, reference.returncode, reference.stderr)):
            continue
        whole = {output: normalised(os.path.join(scratch.work, output)) for output in outputs}
        scratch.clear_work(keep=INPUTS)
        completed_at = None
        for n in range(1, MAX_REQUESTS + 1):
            env["QUARN_TEST_ALLOC_FAIL"] = str(n)
            result = harness.run([args.hooked] + argv, env, scratch.work)
            where = "%s, allocation %d" % (name, n)
            failures.check(not harness.sanitizer_report(result.stderr),
                           "%s: sanitizer report:\n%s" % (where, result.stderr))
            failures.check(scratch.leftovers() == [],
                           "%s: left in TMPDIR: %s" % (where, scratch.leftovers()))
            scratch.clear_tmp()
            present = sorted(set(os.listdir(scratch.work)) - set(INPUTS))
            if not OOM_MESSAGE.search(result.stderr):
                completed_at = n
                failures.check(result.returncode == completed_status,
                               "%s: completed with status %d, expected %d"
                               % (where, result.returncode, completed_status))
                failures.check(present == outputs,
                               "%s: completed run left %s, expected %s" % (where, present, outputs))
                break
            failures.check(result.returncode == 1,
                           "%s: status %d, expected 1" % (where, result.returncode))
            failures.check(OOM_MESSAGE.search(result.stderr) is not None,
                           "%s: no out-of-memory message at the end of:\n%s" % (where, result.stderr))
            for output in present:
                failures.check(output in whole and
                               normalised(os.path.join(scratch.work, output)) == whole[output],
                               "%s: a failed run left %s, not whole" % (where, output))
            scratch.clear_work(keep=INPUTS)
        if not failures.check(completed_at is not None,
                              "%s: no run completed within %d allocations" % (name, MAX_REQUESTS)):
            continue
        # The first request failing must be a real failure, or the hook is not
        # reached and the loop above proved nothing.
        failures.check(completed_at > 1, "%s: the first allocation did not fail" % name)
        summary.append("%s: %d allocations" % (name, completed_at - 1))

        # Far past the end: the run is the ordinary one.
        scratch.clear_work(keep=INPUTS)
        env["QUARN_TEST_ALLOC_FAIL"] = str(completed_at * 10)
        result = harness.run([args.hooked] + argv, env, scratch.work)
        failures.check(result.returncode == completed_status and
                       OOM_MESSAGE.search(result.stderr) is None,
                       "%s: run with the failure past the end: status %d\n%s"
                       % (name, result.returncode, result.stderr))
        scratch.remove()
    failures.finish("; ".join(summary))


if __name__ == "__main__":
    main()
