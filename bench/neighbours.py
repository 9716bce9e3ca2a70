#!/usr/bin/env python3
"""Counts what runs of pwdraw lose to other programs that hold its files for
a moment, as antivirus scanners, indexers, sync clients and file servers
do. NEIGHBOUR is the test helper (build/tests/neighbour, or neighbour.exe
under wine) that holds a file: shared reads on Windows, a lease on Linux.

    bench/neighbours.py [--emulator COMMAND... --] PWDRAW NEIGHBOUR [RUNS]

1. A watcher holds password.txt 200 to 500 ms at a time, again and again:
   of RUNS back-to-back runs, how many showed a password never logged.
2. The same on settings.ini, each run correcting a value: how many
   corrections were kept, and how many temporary files were left.
3. settings.ini held alone for 1 s as a run starts: was the user's quality
   (18) used, or the default (16)?
4. The whole log locked for 8 s: how long a run took, and whether it logged.
On Linux, natively, and as root for the scanner:
5. A file server's client behind a slow link holds a read lease on
   password.txt, gives it up 30 ms after each break notice and takes it
   again 10 ms later: of RUNS runs, how many showed a password never logged.
6. An on-access scanner whose daemon has stopped (fanotify permission
   events no one answers) holds every open in the directory: how long an
   interrupt takes to end a run that corrects a value, and what it leaves.
"""
import ctypes, os, random, signal, subprocess, sys, tempfile, threading, time

args = sys.argv[1:]
emulator = args[1:args.index("--")] if args[0] == "--emulator" else []
args = args[args.index("--") + 1:] if emulator else args
exe, neighbour = map(os.path.abspath, args[:2])
runs = int(args[2]) if len(args) > 2 else 20
USER = b"quality=18\r\ntype=4\r\nnumber=4711\r\n"

def pwdraw(d, *arguments):
    start = time.monotonic()
    p = subprocess.run([*emulator, exe, *arguments], cwd=d, capture_output=True, timeout=30)
    return p.stdout.decode().split("\t")[-1].strip(), time.monotonic() - start

def hold(d, how, name, ms):
    p = subprocess.Popen([*emulator, neighbour, how, name, str(ms)], cwd=d, stdout=subprocess.PIPE)
    p.stdout.readline()  # "held"
    return p

def watched(d, name, body):
    """Runs body() while a watcher holds `name` again and again."""
    held, done = threading.Event(), threading.Event()
    def watch():
        while not done.is_set():
            holder = hold(d, "open", name, random.randint(200, 500))
            held.set()
            holder.wait()
            time.sleep(random.uniform(0, 0.05))
    watcher = threading.Thread(target=watch)
    watcher.start()
    held.wait()
    try:
        return body()
    finally:
        done.set()
        watcher.join()

with tempfile.TemporaryDirectory() as d:
    open(os.path.join(d, "settings.ini"), "wb").write(USER)
    open(os.path.join(d, "password.txt"), "wb").write(b"")
    shown = watched(d, "password.txt", lambda: [pwdraw(d)[0] for _ in range(runs)])
    log = open(os.path.join(d, "password.txt"), "rb").read().decode()
    lost = sum(password not in log for password in shown)
    print(f"1. watcher on password.txt: {lost} of {runs} shown and not logged")

with tempfile.TemporaryDirectory() as d:
    path = os.path.join(d, "settings.ini")
    open(path, "wb").write(USER)
    def correct():
        kept = 0
        for i in range(runs):
            quality = 12 + i % 9
            pwdraw(d, str(quality), "0", "4711")  # type 0 becomes 2: settings.ini is rewritten
            kept += f"quality = {quality}\r\n".encode() in open(path, "rb").read()
        return kept
    kept = watched(d, "settings.ini", correct)
    strays = len(os.listdir(d)) - 2
    print(f"2. watcher on settings.ini: {kept} of {runs} corrections kept, {strays} files left beside")

with tempfile.TemporaryDirectory() as d:
    open(os.path.join(d, "settings.ini"), "wb").write(USER)
    holder = hold(d, "exclusive", "settings.ini", 1000)
    password, took = pwdraw(d)
    holder.wait()
    print(f"3. settings.ini held alone for 1 s: quality {len(password)} used ({took:.2f} s)")

with tempfile.TemporaryDirectory() as d:
    open(os.path.join(d, "password.txt"), "wb").write(b"")
    holder = hold(d, "lock", "password.txt", 8000)
    password, took = pwdraw(d)
    holder.kill()
    holder.wait()
    logged = password in open(os.path.join(d, "password.txt"), "rb").read().decode()
    print(f"4. whole log locked for 8 s: the run took {took:.2f} s, {'logged' if logged else 'not logged'}")

if emulator or sys.platform != "linux" or exe.endswith(".exe"):
    sys.exit(0)

HOLDERS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "platform", "holders.py")

with tempfile.TemporaryDirectory() as d:
    log = os.path.join(d, "password.txt")
    open(log, "wb").write(b"")
    holder = subprocess.Popen([sys.executable, HOLDERS, "flicker", log], stdout=subprocess.PIPE)
    holder.stdout.readline()
    start = time.monotonic()
    shown = [pwdraw(d)[0] for _ in range(runs)]
    took = time.monotonic() - start
    holder.kill()
    holder.wait()
    lost = sum(password not in open(log, "rb").read().decode() for password in shown)
    print(f"5. lease let go 30 ms late and taken again 10 ms later: {lost} of {runs} shown and not logged"
          f" ({took:.2f} s)")

if os.geteuid() == 0:
    libc = ctypes.CDLL(None)
    libc.fanotify_mark.argtypes = (ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p)
    with tempfile.TemporaryDirectory() as d:
        open(os.path.join(d, "settings.ini"), "wb").write(USER)
        scanner = libc.fanotify_init(4, os.O_RDONLY)  # FAN_CLASS_CONTENT
        libc.fanotify_mark(scanner, 1, 0x8010000, -100, d.encode())  # opens in d and its files
        run = subprocess.Popen([exe, "25"], cwd=d, stdout=subprocess.DEVNULL)
        time.sleep(0.3)
        run.send_signal(signal.SIGINT)
        sent = time.monotonic()
        try:
            run.wait(5)
        except subprocess.TimeoutExpired:
            pass
        took = time.monotonic() - sent
        os.close(scanner)
        run.wait()
        print(f"6. stalled scanner: an interrupt ended the run in {took * 1000:.0f} ms"
              f"{' (not before the scanner answered)' if took >= 5 else ''}; left: {sorted(os.listdir(d))}")
