# closed-reader.py COMMAND [ARG...]: runs COMMAND with standard output on a pipe
# whose reading end is already closed, so that its first write meets a broken
# pipe, and prints how it ended: "signal N" or "exit N".
import os
import subprocess
import sys

read_end, write_end = os.pipe()
os.close(read_end)
child = subprocess.Popen(sys.argv[1:], stdout=write_end, restore_signals=True)
os.close(write_end)
status = child.wait()
print("signal %d" % -status if status < 0 else "exit %d" % status)
