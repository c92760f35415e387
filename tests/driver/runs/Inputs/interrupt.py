#!/usr/bin/env python3
"""interrupt.py SIGNAL PROGRAM LOG COMMAND...: starts COMMAND in a process group
of its own, waits until the run log LOG shows that the stand-in PROGRAM has
started, and sends SIGNAL (a name such as INT) to the whole group, as a
terminal's interrupt key or a job-control kill does. Prints how many files the
temporary directory (TMPDIR) held at that moment, then how COMMAND ended:
"exit N" or "killed by SIGNAME"."""
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "python"))
from sim_runs import default_signals, started  # noqa: E402


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    signo = getattr(signal, "SIG" + sys.argv[1])
    program, log, command = sys.argv[2], sys.argv[3], sys.argv[4:]
    child = subprocess.Popen(command, start_new_session=True, preexec_fn=default_signals)
    deadline = time.monotonic() + 60
    while child.poll() is None and not started(log, program) and time.monotonic() < deadline:
        time.sleep(0.02)
    if child.poll() is not None:
        sys.exit("interrupt.py: the command ended before %s could be interrupted" % program)
    if not started(log, program):
        os.killpg(child.pid, signal.SIGKILL)
        child.wait()
        sys.exit("interrupt.py: %s never started" % program)
    print("temporary files while %s ran: %d" % (program, len(os.listdir(os.environ["TMPDIR"]))))
    os.killpg(child.pid, signo)
    status = child.wait()
    print("exit %d" % status if status >= 0 else "killed by " + signal.Signals(-status).name)


main()
