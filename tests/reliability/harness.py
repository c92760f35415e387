"""What the reliability scripts share: the staged programs, a scratch tree
per case, a fixed environment, and a collector of failed checks."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile

class Failures:
    """Collects failed checks so one run reports all of them."""

    def __init__(self):
        self.messages = []

    def check(self, condition, message):
        if not condition:
            self.messages.append(message)
        return condition

    def finish(self, passed_what):
        for message in self.messages[:50]:
            print("FAIL: " + message, file=sys.stderr)
        if len(self.messages) > 50:
            print("... and %d more" % (len(self.messages) - 50), file=sys.stderr)
        if self.messages:
            sys.exit(1)
        print("ok: " + passed_what)


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--stage", required=True)
    parser.add_argument("--hooked", required=True)
    parser.add_argument("--inputs", required=True)
    return parser.parse_args()


def driver_path(args):
    return os.path.join(args.stage, "bin", "quarn++")


def base_environment(tmpdir):
    """Only what the programs need: no variable of the driver or of the
    stand-in is inherited, so a test sets each one it depends on."""
    env = {
        "PATH": "/usr/bin:/bin",
        "LC_ALL": "C",
        "HOME": "/nonexistent",
        "TMPDIR": tmpdir,
    }
    for name in ("ASAN_OPTIONS", "UBSAN_OPTIONS"):
        if name in os.environ:
            env[name] = os.environ[name]
    return env


class Scratch:
    """A fresh working directory with an empty temporary directory in it."""

    def __init__(self, label):
        self.root = tempfile.mkdtemp(prefix="quarn-" + label + "-")
        self.tmp = os.path.join(self.root, "tmp")
        self.work = os.path.join(self.root, "work")
        os.mkdir(self.tmp)
        os.mkdir(self.work)

    def leftovers(self):
        return sorted(os.listdir(self.tmp))

    def clear_tmp(self):
        self._clear(self.tmp, ())

    def clear_work(self, keep=()):
        self._clear(self.work, keep)

    @staticmethod
    def _clear(directory, keep):
        for name in os.listdir(directory):
            if name in keep:
                continue
            path = os.path.join(directory, name)
            if os.path.isdir(path) and not os.path.islink(path):
                shutil.rmtree(path)
            else:
                os.unlink(path)

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)


def sanitizer_report(stderr):
    return "AddressSanitizer" in stderr or "runtime error:" in stderr or "LeakSanitizer" in stderr


def signal_name(number):
    return signal.Signals(number).name


def run(argv, env, cwd):
    """Runs to the end with no input; the output streams as text."""
    return subprocess.run(argv, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120, errors="replace")
