#!/usr/bin/env python3
"""Counts the partial lines that interrupts leave in password.txt: before
each run the log is padded to end 10 bytes short of a page, so that every
line crosses a page boundary of the file, and the run is sent an interrupt,
a termination, a hang-up or a quit at a random moment of its first 2 ms.
Four workers, each in a directory of its own, on the disk (/var/tmp).

    bench/interrupts.py PWDRAW [runs per worker]
"""
import os, random, re, signal, subprocess, sys, tempfile, threading, time

exe, runs = os.path.abspath(sys.argv[1]), int(sys.argv[2]) if len(sys.argv) > 2 else 2500
WHOLE = re.compile(rb"\d\d:\d\d:\d\d \d\d_\d\d_\d{4} (Password \d+:\t[!-~]+|PIN code:\t\t\d{3})\r\n|#*\r\n")
ENDING = (signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGTERM)
counts = []

def worker(d):
    log, ended = os.path.join(d, "password.txt"), 0
    for _ in range(runs):
        size = os.path.getsize(log) if os.path.exists(log) else 0
        pad = (4096 - 10 - size) % 4096
        pad += 4096 * (0 < pad < 3)
        if pad:  # a note of ours, a whole line, that brings the end just short of a page
            with open(log, "ab") as f:
                f.write(b"#" * (pad - 2) + b"\r\n")
        run = subprocess.Popen([exe, "16", "2", "4711"], cwd=d, stdout=subprocess.DEVNULL)
        time.sleep(random.uniform(0, 0.002))
        run.send_signal(random.choice(ENDING))
        ended += run.wait() < 0
    lines = open(log, "rb").read().splitlines(keepends=True)
    counts.append((ended, sum(not WHOLE.fullmatch(line) for line in lines)))

with tempfile.TemporaryDirectory(dir="/var/tmp") as top:
    workers = [threading.Thread(target=worker, args=(tempfile.mkdtemp(dir=top),)) for _ in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
ended, partial = map(sum, zip(*counts))
print(f"{4 * runs} runs, {ended} ended by the signal: {partial} partial lines")
