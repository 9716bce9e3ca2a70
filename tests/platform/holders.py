#!/usr/bin/env python3
"""Other programs beside pwdraw on Linux, for the fault matrix and the
benchmarks: "holders.py HOW PATH" says "held" once it holds PATH, and goes
on until it is killed. HOW is
  flicker  a file server's client behind a slow link: a read lease that it
           gives up 30 ms after each break notice and takes again 10 ms later
  swap     another user flipping PATH and PATH.swap (RENAME_EXCHANGE) as
           fast as it can
"""
import contextlib, ctypes, fcntl, signal, sys, time

how, path = sys.argv[1:3]
if how == "swap":
    print("held", flush=True)
    while True:
        ctypes.CDLL(None).renameat2(-100, path.encode(), -100, path.encode() + b".swap", 2)
signal.signal(signal.SIGIO, signal.SIG_IGN)  # the break notice
while True:
    with open(path, "rb") as f:
        with contextlib.suppress(OSError):  # while a run has the file open to write
            fcntl.fcntl(f, fcntl.F_SETLEASE, fcntl.F_RDLCK)
            print("held", flush=True)
        while fcntl.fcntl(f, fcntl.F_GETLEASE) == fcntl.F_RDLCK:
            time.sleep(0.001)
        time.sleep(0.03)
    time.sleep(0.01)
