"""What the Python test scripts share about runs under the stand-in
toolchain: whether its run log shows a program started, and the signal
dispositions a driver to be signalled must start with."""

import json
import signal


def started(log, program):
    """True once the run log LOG holds a run of the stand-in PROGRAM."""
    try:
        with open(log, encoding="utf-8") as lines:
            return any(json.loads(line)["name"] == program for line in lines)
    except (FileNotFoundError, ValueError):
        # No run yet, or a line still being written.
        return False


def default_signals():
    """For preexec_fn: the caller of a test may have these ignored, and an
    ignored signal stays ignored in the driver, which would then not be
    interrupted."""
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGPIPE):
        signal.signal(number, signal.SIG_DFL)
