#!/usr/bin/env python3
"""Times runs of pwdraw under a TZ or TZDIR that the C library would wait
on or grow for, and counts those that hang (over SECONDS each):

1. TZ=EST5EDT and TZ=:AAA3BBB, rules without dates, with TZDIR holding a
   FIFO named posixrules: the stamp's hour and the run's time.
2. A sparse zone file whose header claims 2^27 times (671 MB, 4 KiB of
   data): the run's time (up to 60 s) and the peak memory of all runs.
3. A zone file another process flips between a copy of Asia/Kolkata and a
   FIFO, as fast as it can: of RUNS runs, how many hung, and the stamps.

    bench/zones.py PWDRAW [RUNS] [SECONDS]
"""
import collections, os, resource, shutil, subprocess, sys, tempfile, time

exe = os.path.abspath(sys.argv[1])
runs, limit = int(sys.argv[2]) if len(sys.argv) > 2 else 100, float(sys.argv[3]) if len(sys.argv) > 3 else 3
d = tempfile.mkdtemp()
os.mkfifo(os.path.join(d, "posixrules"))
os.mkfifo(os.path.join(d, "flip.swap"))
shutil.copy("/usr/share/zoneinfo/Asia/Kolkata", os.path.join(d, "flip"))
with open(os.path.join(d, "huge"), "wb") as f:
    f.write(b"TZif" + bytes(28) + (2**27).to_bytes(4, "big") + b"\0\0\0\1\0\0\0\4")
    f.truncate(44 + 2**27 * 5 + 10)

def once(env, limit=limit):
    """The stamp's hour of a run under `env`, or "hung", and its time."""
    work, start = tempfile.mkdtemp(dir=d), time.monotonic()
    try:
        subprocess.run([exe, "12", "3"], cwd=work, env=env, timeout=limit, stdout=subprocess.DEVNULL)
        hour = open(os.path.join(work, "password.txt")).read()[:5]
    except subprocess.TimeoutExpired:
        hour = "hung"
    return hour, time.monotonic() - start

for zone in ("EST5EDT", ":AAA3BBB"):
    print("1. TZ=%s, a FIFO as posixrules: %s in %.3f s" % ((zone,) + once({"TZ": zone, "TZDIR": d})))
hour, took = once({"TZ": d + "/huge"}, 60)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("2. a header claiming 2^27 times: %s in %.2f s, peak %d KiB" % (hour, took, peak))
holders = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "platform", "holders.py")
swapper = subprocess.Popen([sys.executable, holders, "swap", os.path.join(d, "flip")], stdout=subprocess.DEVNULL)
stamps = collections.Counter(once({"TZ": d + "/flip"})[0] for _ in range(runs))
swapper.kill()
print("3. a zone flipped with a FIFO: %d of %d hung; stamps %s" % (stamps["hung"], runs, dict(stamps)))
shutil.rmtree(d)
