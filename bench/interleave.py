#!/usr/bin/env python3
"""Runs whole processes in turns (A B C A B C ...) and prints the medians of their wall time, user
and kernel CPU time and peak resident memory (`/usr/bin/time`), with the load average before
and after. A command's standard output is dropped; a failing run ends the measurement.
  interleave.py ROUNDS "LABEL=COMMAND" ...     (each COMMAND runs under `bash -c`)"""
import os
import statistics
import subprocess
import sys
import tempfile


def run(command):
    with tempfile.NamedTemporaryFile("r") as times:
        done = subprocess.run(["/usr/bin/time", "-f", "%e %U %S %M", "-o", times.name,
                               "bash", "-c", command], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            sys.exit(f"failed ({done.returncode}): {command}\n{done.stderr[-2000:]}")
        return [float(x) for x in times.read().split()[-4:]]


def main():
    rounds = int(sys.argv[1])
    jobs = [arg.split("=", 1) for arg in sys.argv[2:]]
    print("load average before: %.1f %.1f %.1f" % os.getloadavg())
    results = {label: [] for label, _ in jobs}
    for _ in range(rounds):
        for label, command in jobs:
            results[label].append(run(command))
    print("load average after: %.1f %.1f %.1f" % os.getloadavg())
    print(f"| command (medians of {rounds}) | wall | user | kernel | peak |")
    print("|---|---|---|---|---|")
    for label, runs in results.items():
        wall, user, kernel, peak = (statistics.median(column) for column in zip(*runs))
        print(f"| {label} | {wall:.2f} s | {user:.2f} s | {kernel:.2f} s | {peak / 1024:.0f} MB |")


main()
