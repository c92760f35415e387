"""SIGINT, SIGTERM and SIGHUP at random moments of a compile and link: while
a child sleeps, just as it starts, between commands, during the driver's own
start. The signal goes to the driver's process group, as a terminal's
interrupt or hangup or a job-control kill sends it. The driver always dies of
that signal, and leaves no temporary file and no output behind."""

import collections
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import time

import harness

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from sim_runs import default_signals, started  # noqa: E402

SIGNALS = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]
INPUTS = ("hello.cc", "args.rsp", "c.c")

# Trials of each kind, per signal. A random moment is anywhere from the start
# of the driver to a while into the (sleeping) link; a sleeping child is
# signalled once the run log shows it started, after a random short pause.
RANDOM_TRIALS = 80
SLEEPING_TRIALS = 10

# The forms of the run that random moments cycle through: arguments, stand-in
# settings, the sibling that sleeps at the end, and what may be on standard
# error by the time the signal comes.
Form = collections.namedtuple("Form", "argv settings sleeper stderr")
PLAIN = Form(["hello.cc", "-o", "out"], {}, "tether", [""])
FORMS = [
    PLAIN,
    # Compiler and assembler joined by a pipe.
    Form(["-pipe", "hello.cc", "-o", "out"], {}, "tether", [""]),
    # The link's arguments in a response file.
    Form(["@args.rsp"], {}, "tether", [""]),
    # A C compiler crashing, reproduced three times and once more
    # preprocessing, with files of each attempt, before a C++ source.
    Form(["-freport-bug", "-c", "-x", "c", "c.c", "-x", "none", "hello.cc"],
         {"QUARN_SIM_FAIL": "tarn:4"}, "as", ["", "tarn: error: simulated failure\n"]),
]

# How many temporary files exist while each sibling runs: the assembler file
# while the compiler runs; it and the object while the assembler runs; both and
# the linker's resolution file while the linker runs.
TEMPORARIES_WHILE = {"fell": 1, "as": 2, "tether": 3}


class Trials:
    def __init__(self, args, failures):
        self.args = args
        self.failures = failures
        self.scratch = harness.Scratch("signals")
        for name in INPUTS:
            shutil.copy(os.path.join(args.inputs, name), self.scratch.work)
        self.log = os.path.join(self.scratch.root, "log")

    def start(self, sleeping, argv=PLAIN.argv, settings=PLAIN.settings):
        env = harness.base_environment(self.scratch.tmp)
        env.update(settings)
        # The link never ends by itself: the driver is alive whenever the
        # signal is sent.
        env["QUARN_SIM_SLEEP"] = "%s:30" % sleeping
        env["QUARN_SIM_LOG"] = self.log
        return subprocess.Popen([harness.driver_path(self.args)] + argv,
                                cwd=self.scratch.work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True, preexec_fn=default_signals)

    def finish(self, child, signo, where, allowed_stderr=PLAIN.stderr):
        os.killpg(child.pid, signo)
        try:
            _, stderr = child.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, signal.SIGKILL)
            _, stderr = child.communicate()
        stderr = stderr.decode(errors="replace")
        check = self.failures.check
        check(child.returncode == -signo, "%s: ended with %d, expected death by %s\n%s"
              % (where, child.returncode, harness.signal_name(signo), stderr))
        check(stderr in allowed_stderr, "%s: stderr %r" % (where, stderr))
        left = self.scratch.leftovers()
        check(left == [], "%s: left in TMPDIR: %s" % (where, self.describe(left)))
        made = sorted(set(os.listdir(self.scratch.work)) - set(INPUTS))
        check(made == [], "%s: left in the work directory: %s" % (where, made))
        self.scratch.clear_tmp()
        self.scratch.clear_work(keep=INPUTS)
        if os.path.exists(self.log):
            os.unlink(self.log)

    def describe(self, left):
        """Leftovers with their sizes (empty: the driver made it; else a child
        wrote it) and the siblings that had started."""
        sizes = [os.path.getsize(os.path.join(self.scratch.tmp, name)) for name in left]
        ran = []
        if os.path.exists(self.log):
            with open(self.log, encoding="utf-8") as lines:
                ran = [json.loads(line)["name"] for line in lines if line.endswith("\n")]
        return "%s, sizes %s, after %s" % (left, sizes, ran)

    def time_until_sleep(self, form):
        """Median time from the driver's start until the form's last sibling
        runs (and sleeps)."""
        samples = []
        for _ in range(5):
            begin = time.monotonic()
            child = self.start(form.sleeper, form.argv, form.settings)
            while not started(self.log, form.sleeper) and child.poll() is None:
                time.sleep(0.0005)
            samples.append(time.monotonic() - begin)
            self.finish(child, signal.SIGTERM,
                        "SIGTERM once %s runs, %s" % (form.sleeper, " ".join(form.argv)), form.stderr)
        return statistics.median(samples)

    def random_moment(self, signo, form, span, rng):
        delay = rng.uniform(0, span)
        child = self.start(form.sleeper, form.argv, form.settings)
        time.sleep(delay)
        self.finish(child, signo, "%s after %.4fs, %s" % (harness.signal_name(signo), delay,
                                                          " ".join(form.argv)), form.stderr)

    def sleeping_child(self, signo, program, rng):
        child = self.start(program)
        deadline = time.monotonic() + 30
        while not started(self.log, program) and child.poll() is None and time.monotonic() < deadline:
            time.sleep(0.001)
        where = "%s while %s sleeps" % (harness.signal_name(signo), program)
        # Just started, or well into its sleep.
        time.sleep(rng.choice([0, rng.uniform(0, 0.01)]))
        # The files the driver made for the running child exist: the cleanup
        # below has something to remove.
        present = len(self.scratch.leftovers())
        self.failures.check(present == TEMPORARIES_WHILE[program],
                            "%s: %d temporary files before the signal, expected %d"
                            % (where, present, TEMPORARIES_WHILE[program]))
        self.finish(child, signo, where)


def main():
    args = harness.parse_args()
    failures = harness.Failures()
    trials = Trials(args, failures)
    rng = random.Random(int(os.environ.get("QUARN_TEST_SEED", "15")))
    # A quarter past the last sibling's start, so some signals find it sleeping.
    spans = [trials.time_until_sleep(form) * 1.25 for form in FORMS]
    count = 0
    for signo in SIGNALS:
        for trial in range(RANDOM_TRIALS):
            which = trial % len(FORMS)
            trials.random_moment(signo, FORMS[which], spans[which], rng)
            count += 1
        for program in TEMPORARIES_WHILE:
            for _ in range(SLEEPING_TRIALS):
                trials.sleeping_child(signo, program, rng)
                count += 1
    trials.scratch.remove()
    failures.finish("%d trials, random moments within %s ms"
                    % (count, ", ".join("%.1f" % (span * 1000) for span in spans)))


if __name__ == "__main__":
    main()
