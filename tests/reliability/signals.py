"""SIGINT, SIGTERM and SIGHUP at random moments of a compile and link: while
a child sleeps, just as it starts, between commands, during the driver's own
start. The signal goes to the driver's process group, as a terminal's
interrupt or hangup or a job-control kill sends it. The driver always dies of
that signal, and leaves no temporary file and no output behind."""

import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import time

import harness

SIGNALS = [signal.SIGINT, signal.SIGTERM, signal.SIGHUP]

# Trials of each kind, per signal. A random moment is anywhere from the start
# of the driver to a while into the (sleeping) link; a sleeping child is
# signalled once the run log shows it started, after a random short pause.
RANDOM_TRIALS = 80
SLEEPING_TRIALS = 10

# How many temporary files exist while each sibling runs: the assembler file
# while the compiler runs; it and the object while the assembler runs; both and
# the linker's resolution file while the linker runs.
TEMPORARIES_WHILE = {"fell": 1, "as": 2, "tether": 3}


def default_signals():
    # The caller may have them ignored, and an ignored signal stays ignored in
    # the driver.
    for number in SIGNALS:
        signal.signal(number, signal.SIG_DFL)


def started(log, program):
    try:
        with open(log, encoding="utf-8") as lines:
            return any(json.loads(line)["name"] == program for line in lines)
    except (FileNotFoundError, ValueError):
        return False


class Trials:
    def __init__(self, args, failures):
        self.args = args
        self.failures = failures
        self.scratch = harness.Scratch("signals")
        shutil.copy(os.path.join(args.inputs, "hello.cc"), self.scratch.work)
        self.log = os.path.join(self.scratch.root, "log")

    def start(self, sleeping):
        env = harness.base_environment(self.scratch.tmp)
        # The link never ends by itself: the driver is alive whenever the
        # signal is sent.
        env["QUARN_SIM_SLEEP"] = "%s:30" % sleeping
        env["QUARN_SIM_LOG"] = self.log
        return subprocess.Popen([harness.driver_path(self.args), "hello.cc", "-o", "out"],
                                cwd=self.scratch.work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                start_new_session=True, preexec_fn=default_signals)

    def finish(self, child, signo, where):
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
        check(stderr == "", "%s: stderr %r" % (where, stderr))
        left = self.scratch.leftovers()
        if left:
            sizes = [os.path.getsize(os.path.join(self.scratch.tmp, n)) for n in left]
            ran = open(self.log).read() if os.path.exists(self.log) else ""
            ran = [json.loads(l)["name"] for l in ran.splitlines()]
            where += " sizes %s ran %s" % (sizes, ran)
        check(left == [], "%s: left in TMPDIR: %s" % (where, left))
        check(not os.path.exists(os.path.join(self.scratch.work, "out")), "%s: output left" % where)
        self.scratch.clear_tmp()
        self.scratch.clear_work(keep=("hello.cc",))
        if os.path.exists(self.log):
            os.unlink(self.log)

    def time_until_link(self):
        """Median time from the driver's start until the linker is running."""
        samples = []
        for _ in range(5):
            begin = time.monotonic()
            child = self.start("tether")
            while not started(self.log, "tether") and child.poll() is None:
                time.sleep(0.0005)
            samples.append(time.monotonic() - begin)
            self.finish(child, signal.SIGTERM, "SIGTERM once the linker runs")
        return statistics.median(samples)

    def random_moment(self, signo, span, rng):
        delay = rng.uniform(0, span)
        child = self.start("tether")
        time.sleep(delay)
        self.finish(child, signo, "%s after %.4fs" % (harness.signal_name(signo), delay))

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
    # A quarter past the linker's start, so some signals find it sleeping.
    span = trials.time_until_link() * 1.25
    count = 0
    for signo in SIGNALS:
        for _ in range(RANDOM_TRIALS):
            trials.random_moment(signo, span, rng)
            count += 1
        for program in TEMPORARIES_WHILE:
            for _ in range(SLEEPING_TRIALS):
                trials.sleeping_child(signo, program, rng)
                count += 1
    trials.scratch.remove()
    failures.finish("%d trials, random moments within %.1f ms" % (count, span * 1000))


if __name__ == "__main__":
    main()
