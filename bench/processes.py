#!/usr/bin/env python3
"""Times whole processes: each command of the list in turn, the list RUNS
times over, so that every command meets the same moments of a shared
machine. For each run prints one line: the name, the wall time in seconds
(from the fork to the exit) and the peak resident memory in KiB (the child's
ru_maxrss, as GNU time's %M reports it).

Usage: processes.py RUNS NAME=COMMAND... (each COMMAND one shell word list,
split on blanks; no quoting)
"""
import os
import subprocess
import sys
import time


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    runs = int(argv[1])
    commands = [arg.split("=", 1) for arg in argv[2:]]
    for _ in range(runs):
        for name, command in commands:
            words = command.split()
            t0 = time.perf_counter()
            child = subprocess.Popen(words, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            _, status, usage = os.wait4(child.pid, 0)
            elapsed = time.perf_counter() - t0
            child.returncode = os.waitstatus_to_exitcode(status)
            err = child.stderr.read().decode(errors="replace")
            child.stderr.close()
            if child.returncode != 0:
                sys.stderr.write("processes: %s failed (%d): %s\n%s" % (name, child.returncode, command, err))
                return 1
            print("%s %.6f %d" % (name, elapsed, usage.ru_maxrss))
            sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
