#!/usr/bin/env python3
"""Counts what another user gains by swapping names while root runs pwdraw
in a directory that user can write to. nobody flips (RENAME_EXCHANGE, as
fast as it can) root's own link with its own, for SECONDS of back-to-back
runs each:

1. password.txt: root's link to root's log beside it, against nobody's link
   to a root-owned file outside: runs that wrote outside.
2. A dangling link of root's, against nobody's dangling link into a
   directory only root may enter: runs that created a file there.
3. settings.ini: root's link to root's settings, against nobody's link to
   a root-owned settings file outside: runs that used the outside values.

    sudo bench/swaps.py PWDRAW [SECONDS]
"""
import os, subprocess, sys, tempfile, time

exe, seconds = os.path.abspath(sys.argv[1]), float(sys.argv[2]) if len(sys.argv) > 2 else 3
NOBODY, OUTSIDE = 65534, b"quality=18\r\ntype=4\r\nnumber=4711\r\n"
HOLDERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "platform", "holders.py")

def attack(name, mine, theirs):
    top = tempfile.mkdtemp()
    os.chmod(top, 0o755)
    his, closed = os.path.join(top, "his"), os.path.join(top, "closed")
    os.mkdir(his)
    os.chown(his, NOBODY, NOBODY)
    os.mkdir(closed, 0o700)
    for path, data in (("mine", b""), ("outside", OUTSIDE)):
        with open(os.path.join(his if path == "mine" else top, path), "wb") as f:
            f.write(data)
    os.symlink(mine, os.path.join(his, name))
    os.symlink(theirs.replace("TOP", top), os.path.join(his, name + ".swap"))
    os.lchown(os.path.join(his, name + ".swap"), NOBODY, NOBODY)
    swapper = subprocess.Popen([sys.executable, HOLDERS, "swap", os.path.join(his, name)],
                               stdout=subprocess.DEVNULL)
    runs, used, end = 0, 0, time.monotonic() + seconds
    while time.monotonic() < end:
        out = subprocess.run([exe], cwd=his, capture_output=True, timeout=30).stdout
        runs, used = runs + 1, used + (len(out.split(b"\t")[-1].strip()) == 18)  # quality 18
    swapper.kill()
    swapper.wait()
    with open(os.path.join(top, "outside"), "rb") as f:
        written = f.read().count(b"\n") - OUTSIDE.count(b"\n")
    return runs, written, len(os.listdir(closed)), used

print("password.txt: %d runs, %d wrote outside" % attack("password.txt", "mine", "TOP/outside")[:2])
runs, _, made, _ = attack("password.txt", "made", "TOP/closed/made")
print("dangling: %d runs, %d made a file outside" % (runs, made))
runs, _, _, used = attack("settings.ini", "mine", "TOP/outside")
print("settings.ini: %d runs, %d used the outside values" % (runs, used))
