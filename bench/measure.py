#!/usr/bin/env python3
"""Runs a command and prints its wall time, CPU time (user + system, children included) and
peak resident memory as "wall cpu maxrss_kb". The command's own output is discarded."""
import os
import subprocess
import sys
import time

start = time.monotonic()
proc = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
_, status, usage = os.wait4(proc.pid, 0)
wall = time.monotonic() - start
if os.waitstatus_to_exitcode(status) != 0:
    sys.exit("command failed: " + " ".join(sys.argv[1:]))
print(f"{wall:.3f} {usage.ru_utime + usage.ru_stime:.3f} {usage.ru_maxrss}")
