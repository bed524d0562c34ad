#!/usr/bin/env python3
"""Times commands in interleaved rounds, so that a disturbance of the machine
falls on every tool alike rather than on whichever ran at that moment.

  interleaved_runs.py RUNS RUNS_DIR OUT_LINK LABEL=COMMAND ...

One warm-up run of each command, then RUNS rounds of every command in turn.
Before each run OUT_LINK is pointed at a new empty folder under RUNS_DIR, as
every run writes into a folder never used before. Prints one line per command:
"LABEL WALL USER SYSTEM PEAK", the medians of the wall, user CPU and system
CPU seconds (the command's and its children's) and the highest peak
resident memory in KiB, as GNU time reads it: the rusage of a child forked
from this interpreter would count the interpreter's own pages."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

runs, runs_dir, out_link = int(sys.argv[1]), sys.argv[2], sys.argv[3]
commands = [argument.split("=", 1) for argument in sys.argv[4:]]
os.makedirs(runs_dir, exist_ok=True)


def run_once(command):
    folder = tempfile.mkdtemp(dir=runs_dir)
    if os.path.lexists(out_link):
        os.remove(out_link)
    os.symlink(folder, out_link)
    peak_file = os.path.join(runs_dir, "peak")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", peak_file, "bash", "-c", command],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"failed ({status}): {command}")
    with open(peak_file) as peak:
        return wall, usage.ru_utime, usage.ru_stime, int(peak.read().split()[-1])


readings = {label: [] for label, _ in commands}
for label, command in commands:
    run_once(command)
for _ in range(runs):
    for label, command in commands:
        readings[label].append(run_once(command))
for label, _ in commands:
    columns = list(zip(*readings[label]))
    medians = [statistics.median(column) for column in columns[:3]]
    print(label, *(f"{m:.4f}" for m in medians), max(columns[3]))
