#!/usr/bin/env python3
"""pwdraw as a process, in plain and hostile states of its files, directory,
output, signals and neighbours; status 77 where a case means nothing on
Windows. PWDRAW_AT takes its clock in its first two arguments.

    fault_matrix.py [--list | [--emulator COMMAND... --] PWDRAW PWDRAW_AT NEIGHBOUR CASE]
"""
import contextlib, ctypes, fcntl, fnmatch, functools, os, re, resource, select, shutil, signal, stat, subprocess, sys
import tempfile, threading, time
from pathlib import Path

EMULATOR = sys.argv[2:sys.argv.index("--")] if sys.argv[1] == "--emulator" else []
EXE, AT, NEIGHBOUR = map(os.path.abspath, sys.argv[-4:-1] if len(sys.argv) > 4 else "...")
WINDOWS = EXE.endswith(".exe")
ENV = {"PATH": "/usr/bin:/bin", "TZ": "UTC0"}
ENV.update((k, v) for k, v in os.environ.items()
           if k in ("HOME", "WINEPREFIX", "WINEDEBUG", "ASAN_OPTIONS", "UBSAN_OPTIONS"))
PINNED = 1544282487
FILES = ("settings.ini", "password.txt")
EARLIER = b"07:00:00 01_01_2020 Password 12:\tAbCdEfGhIjKl\r\n"
NEEDS_REWRITE = b"quality=30\r\ntype=1\r\nnumber=9\r\n"
BEFORE = object()
# strace, and no leak check under it in a sanitized build: LeakSanitizer cannot run under ptrace.
STRACE = ("env", "ASAN_OPTIONS=" + ":".join(filter(None, (os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"))),
          "strace", "-qq", "-o", os.devnull)
ENDING = (signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGTERM)
LIBC = ctypes.CDLL(None)

def skip(why):
    print("skipped:", why)
    sys.exit(77)

def posix_only(why):
    if WINDOWS:
        skip(why)

def strace(*calls):
    """STRACE with each of `calls` injected."""
    return [*STRACE, *(a for call in calls for a in ("-e", "inject=" + call))]

def expect(what, got, want):
    assert got == want, "%s:\n  got  %r\n  want %r" % (what, got, want)

def read(path, start=0):
    """The bytes of a regular file from `start` on, else None (no FIFO opened)."""
    try:
        if stat.S_ISREG(os.lstat(path).st_mode):
            with open(path, "rb") as f:
                f.seek(start)
                return f.read()
    except OSError:
        return None

def make(d, name, files=()):
    """The new directory `name` in `d`, holding `files`: (name, bytes) pairs."""
    sub = os.path.join(d, name)
    os.mkdir(sub)
    for file, data in files:
        Path(sub, file).write_bytes(data)
    return sub

def command(args, at=(PINNED, PINNED)):
    """PWDRAW_AT at the (seed, stamp) seconds `at`, or PWDRAW when `at` is None."""
    return [*EMULATOR, *([AT, *map(str, at)] if at else [EXE]), *args]

def run(d, args=(), at=(PINNED, PINNED), status=0, prefix=(), file_limit=None, env=ENV, **how):
    """A run of command(args, at) in `d`; `seconds` holds the pairs it may have read."""
    limit = file_limit and (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit,) * 2))
    start, started = int(time.time() - 0.1), time.monotonic()  # time() may lag a tick behind
    p = subprocess.run([*prefix, *command(args, at)],
                       cwd=d, env=env, stderr=subprocess.PIPE, timeout=10,
                       **{"stdout": subprocess.PIPE, "preexec_fn": limit, **how})
    end, p.took = int(time.time()), time.monotonic() - started
    p.seconds = [at] if at else [(s, t) for s in range(start, end + 1) for t in range(s, end + 1)]
    # qemu-user says which signal a process died of, strace where a path is.
    stderr = re.sub(rb"(qemu: uncaught target signal|strace: Requested path) .*\n", b"", p.stderr)
    expect("exit status and standard error", (p.returncode, stderr), (status, b""))
    return p

@functools.lru_cache(None)
def reference(settings, args, seed, stamp):
    """Console, settings.ini and log of a plain run that found `settings`."""
    with tempfile.TemporaryDirectory() as d:
        sub = make(d, "run", [("settings.ini", settings)] * (settings is not None))
        out = run(sub, args, (seed, stamp)).stdout
        return (out,) + tuple(read(os.path.join(sub, name)) for name in FILES)

@contextlib.contextmanager
def beside(how, path):
    """tests/platform/holders.py HOW PATH runs beside ours, from its "held" on."""
    holders = os.path.join(os.path.dirname(os.path.abspath(__file__)), "platform", "holders.py")
    holder = subprocess.Popen([sys.executable, holders, how, path], stdout=subprocess.PIPE)
    expect("holder", holder.stdout.readline(), b"held\n")
    try:
        yield
    finally:
        holder.kill()
        holder.wait()

def check(d, args=(), seen=BEFORE, keep=(), log_from=0, neighbour=(), **how):
    """A run in `d` leaves what the plain run that found `seen` leaves: its
    console line, its log line added (from byte `log_from` on), its
    settings.ini if it wrote one. A file named in `keep`, or there but not
    a regular file, keeps its bytes. `neighbour` holds a file meanwhile:
    (HOW, NAME, MILLISECONDS). Returns the run."""
    paths = [os.path.join(d, name) for name in FILES]
    before = read(paths[0]), read(paths[1], log_from)
    kept = [name in keep or os.path.lexists(path) and old is None
            for name, path, old in zip(FILES, paths, before)]
    if neighbour:
        holder = subprocess.Popen([*EMULATOR, NEIGHBOUR, *map(str, neighbour)], cwd=d,
                                  env=ENV, stdout=subprocess.PIPE)
        expect("neighbour", holder.stdout.readline().strip(), b"held")
    try:
        p = run(d, args, **how)
    finally:
        if neighbour:
            holder.kill()
            holder.communicate()
    got = p.stdout, read(paths[0]), read(paths[1], log_from)
    seen = before[0] if seen is BEFORE else seen
    for seed, stamp in p.seconds:
        out, settings, line = reference(seen, tuple(args), seed, stamp)
        want = (None if p.stdout is None else out,
                before[0] if kept[0] or settings == seen else settings,
                before[1] if kept[1] else (before[1] or b"") + line)
        if got == want:
            return p
    expect(d, got, want)

def pinned_runs(d):
    """Whole runs to the byte: the draw, the corrections, the console line
    and settings.ini (None: not written). New files are their owner's alone,
    for the log holds passwords; a rewritten settings.ini keeps the user's
    mode and, on Windows, its hidden and system attributes. wine keeps no
    access list: it shows ours as 0750, and a 0644 file's, copied, as
    0775."""
    owner_only, shared = (0o750, 0o775) if WINDOWS else (0o600, 0o644)
    written = ("[Options]\n# v 2.0\n# https://github.com/pwdraw/pwdraw\n\n# качество пароля\n"
               "# от 12 до 20\nquality = %d\n\n# тип пароля\n# от 1 до 4\ntype = %d\n\n"
               "# для индивидуального\n# рандома\n# от 1 до 10000\nnumber = %d\n\n"
               ).replace("\n", "\r\n").encode()
    for i, (settings, args, seed, console, after) in enumerate((
            (None, [], PINNED, "Password:\tvMy6SrCgbW4p34vE", (16, 2, 6992)),
            (b"quality=12\ntype=3\nnumber = 12345\n", [], PINNED, "PIN code:\t771", (12, 3, 6992)),
            ("\ufeffquality=21\ntype=0\nnumber=1".encode("utf-16-le"), [], PINNED,
             "Password:\tCnmpfluii79J9T5QAmsS", (20, 2, 1)),
            (b"quality=11\ntype=5\nnumber=10001\n", [], PINNED, "Password:\t?6+?M4$qgmXBNKSs", (16, 4, 6992)),
            (b"quality=20\ntype=4\nnumber=10000\n", [], PINNED, "Password:\tA?(f$Nu1SbhIWBce6K+1", None),
            # The line filter drops the minus, and five digits are read: 42949.
            (b"quality=-4294967284\ntype=-1\nnumber=0", [], PINNED, "Password:\tICQJdI9LVYmK0qWqLYNq",
             (20, 1, 6992)),
            (None, ["21", "5", "0"], PINNED, "Password:\t?6+?M4$qgmXBNKSs&6Ot", (20, 4, 6992)),
            (None, ["11", "0", "10000"], PINNED, "Password:\tZYHzgDifLEb8zy5i", (16, 2, 10000)),
            (None, ["20", "4", "10000", "extra"], PINNED, "Password:\tA?(f$Nu1SbhIWBce6K+1", None),
            (None, ["12", "1", "0" * 40 + "1"], PINNED, "Password:\tUJWvZ14wAuMf", None),
            (None, [" \t\n\v\f\r+14kg"], PINNED, "Password:\tvMy6SrCgbW4p34", (14, 2, 6992)),
            (None, ["-14", "3", "10001"], PINNED, "PIN code:\t771", (20, 3, 6992)),
            (None, ["abc", "-4294967295", "99999999999"], PINNED, "Password:\tICQJdI9LVYmK0qWq", (16, 1, 6992)),
            # A minus wraps modulo 2^32 (-4294967284 is 12); past 2^32 - 1 a value saturates.
            (None, ["-4294967284", "-4294967296", "4294967297"], PINNED + 11, "Password:\tZ?xV.;IL5iR*",
             (12, 4, 2052)),
            (None, ["+-5", "4"], 2147483649, "Password:\t2b>8zC&mvq:AR,T!", (16, 4, 7772)),
            (None, ["- 5", "3"], 4294967301, "PIN code:\t306", (16, 3, 468)))):
        sub = make(d, str(i), [("settings.ini", settings)] * bool(settings))
        paths = [os.path.join(sub, name) for name in FILES]
        if settings:
            os.chmod(paths[0], 0o644)
            if WINDOWS:  # hidden and system, which wine keeps in user.DOSATTRIB
                os.setxattr(paths[0], "user.DOSATTRIB", b"0x6")
        p = run(sub, args, (seed, PINNED))
        modes = [stat.S_IMODE(os.stat(path).st_mode) for path in paths if os.path.exists(path)]
        modes += [os.getxattr(paths[0], "user.DOSATTRIB")] if WINDOWS and settings else []
        expect(args, (p.stdout, read(paths[0]), modes),
               ((console + "\r\n").encode(), written % after if after else settings,
                [shared if after else 0o644, owner_only, b"0x6"][:2 + WINDOWS] if settings
                else [owner_only] * (1 + bool(after))))

def log_stamps(d):
    """The log line in each zone's local time, across a change to summer
    time and past 2038 and 2106; a second no platform converts is stamped
    alike everywhere. The line starts a line of its own after a note saved
    without a final newline. A zone file the C library would wait on or
    grow for is not used, and the machine's zone (None) is: a FIFO or a
    terminal, named by TZ or as the posixrules of a rule without dates, or
    a sparse file whose header claims 2^27 times. A zone another user flips
    between a file and a FIFO stamps in one zone or the other ("flip"). A
    rule with its own dates keeps them beside an unusable posixrules."""
    rows = [("UTC0", PINNED, 3, "15:21:27 08_12_2018 PIN code:\t\t139"),
            ("UTC0", 2147483649, 3, "note\r\n03:14:09 19_01_2038 PIN code:\t\t139", b"note"),
            ("UTC0", 4294967301, 1, "note\r\r\n06:28:21 07_02_2106 Password 16:\tUJWvZ14wAuMfgh7X", b"note\r"),
            ("UTC0", 2**63 - 1, 3, "00:00:00 00_01_1900 PIN code:\t\t139"),
            ("Europe/Berlin", 1711846799, 1, "01:59:59 31_03_2024 Password 16:\tUJWvZ14wAuMfgh7X"),
            ("Europe/Berlin", 1711846800, 2, "03:00:00 31_03_2024 Password 16:\tCnmpfluii79J9T5Q"),
            ("America/New_York", 1704067200, 4, "19:00:00 31_12_2023 Password 16:\t#6,*S(*N-*W=M-zZ"),
            ("America/New_York", 1719835200, 4, "08:00:00 01_07_2024 Password 16:\t#6,*S(*N-*W=M-zZ"),
            ("America/New_York", 4294967301, 3, "01:28:21 07_02_2106 PIN code:\t\t139"),
            ("Asia/Kolkata", 1719835200, 2, "17:30:00 01_07_2024 Password 16:\tCnmpfluii79J9T5Q")]
    if not WINDOWS:  # which takes the system's zone, whatever TZ says
        for fifo in ("zone", "posixrules", "flip.swap"):
            os.mkfifo(os.path.join(d, fifo))
        shutil.copy("/usr/share/zoneinfo/Asia/Kolkata", os.path.join(d, "flip"))
        with open(os.path.join(d, "huge"), "wb") as f:  # 4 KiB of data in 671 MB
            f.write(b"TZif" + bytes(28) + (2**27).to_bytes(4, "big") + b"\0\0\0\1\0\0\0\4")
            f.truncate(44 + 2**27 * 5 + 10)
        rows += [(zone, 1719835200, 3, None) for zone in (None, d + "/zone", ":" + d + "/zone", "zone",
                 os.ttyname(os.openpty()[1]), "EST5EDT", ":AAA3BBB", d + "/huge")]
        rows += [(d + "/flip", 1719835200, 3, "flip")] * 200
        rows += [("EST5EDT,M3.2.0,M11.1.0", 1719835200, 3, "08:00:00 01_07_2024 PIN code:\t\t139")]
    machine, stamps = {k: v for k, v in ENV.items() if k != "TZ"}, {}
    with beside("swap", d + "/flip") if not WINDOWS else contextlib.nullcontext():
        for i, (zone, second, type, line, *log) in enumerate(rows):
            sub = make(d, str(i), [("password.txt", note) for note in log])
            env = {**machine, **({"TZ": zone} if zone else {}),
                   **({"TZDIR": d} if zone and zone[:3] in ("zon", "EST", ":AA") else {})}
            run(sub, ["16", str(type), "1"], (PINNED, second), env=env)
            got = read(os.path.join(sub, "password.txt"))
            if line == "flip" and got == b"17:30:00 01_07_2024 PIN code:\t\t139\r\n":
                continue
            expect(zone, got, stamps.setdefault("machine", got) if line in (None, "flip") else
                   (line + "\r\n").encode())
    expect("peak memory", resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss < 500000, True)
    if WINDOWS or EMULATOR:
        return  # strace would trace the emulator
    # posixrules a regular file as it is checked, and a FIFO by the time the
    # C library opens it (strace holds the run between the two): the
    # conversion waits no longer than the deadline, and takes no rules.
    rules = make(d, "rules", [("posixrules", b"")])
    os.mkfifo(rules + "/fifo")
    threading.Timer(0.5, os.rename, (rules + "/fifo", rules + "/posixrules")).start()
    run(rules, ["16", "3", "1"], (PINNED, 1719835200), env={**machine, "TZ": "EST5EDT", "TZDIR": rules},
        prefix=(*STRACE, "-P", rules + "/posixrules", "-e",
                "inject=openat:delay_exit=1000000:when=1"))
    expect("swapped posixrules", read(rules + "/password.txt"), b"08:00:00 01_07_2024 PIN code:\t\t139\r\n")

def signals(d):
    """A signal that would end a run ends it at once, whenever it comes (it
    comes here as the seed, then the stamp, is read), but for one the caller
    holds, which stays held. One that comes while a new settings.ini is
    written beside the old one leaves the old one and no stray; a kill that
    cannot be caught, between naming the new one and renaming it, leaves it
    hidden, named so that "settings.ini*" does not match it. An on-access
    scanner whose daemon has stopped holds every open in the directory:
    interrupt, termination and hang-up still end a run at once, and
    leave nothing (the kernel ends that wait only for a signal that kills
    without a core dump, so quit waits for the scanner). A signal that comes
    while the log line is written ends the run once the line is whole or
    cut back: as a write cut short by a file-size limit returns (strace; on
    Windows Ctrl+C, which wine makes of SIGINT, and the run is then held
    30 ms before the cut), or between two pages of the file (bpftrace). A
    hang-up the caller ignores stays ignored. On Windows, Ctrl+C ends a run
    whose new settings.ini waits for a held one at once, and the new file
    goes."""
    args = ("12", "1", "500")
    out, _, line = reference(None, args, PINNED, PINNED)  # and under wine a wineserver free of limits
    if WINDOWS:
        log = os.path.join(make(d, "cut", [("password.txt", EARLIER)]), "password.txt")
        run(os.path.dirname(log), args, file_limit=len(EARLIER) + 10, stdout=subprocess.DEVNULL,
            prefix=(*STRACE, "-P", log, "-e", "trace=pwrite64,lseek", "-e",
                    "inject=pwrite64:signal=SIGINT", "-e", "inject=lseek:delay_enter=30000"))
        expect(log, read(log), EARLIER)
        sub = make(d, "run", [("settings.ini", NEEDS_REWRITE)])
        p = check(sub, status=124, prefix=("timeout", "-s", "INT", "1"), keep=FILES,  # the new file is
                  neighbour=("open", "settings.ini", 9000), stdout=subprocess.DEVNULL)  # there from 0.1 s
        return expect(sub, (p.took < 1.1, os.listdir(sub)), (True, ["settings.ini"]))
    term = lambda: signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGTERM})
    for sig, at_stamp, held in [(s, a, 0) for s in (1, 2, 3, 15) for a in (0, 1)] + [(15, 1, 1)]:
        at = (PINNED, "%d/%d" % (PINNED, sig)) if at_stamp else ("%d/%d" % (PINNED, sig), PINNED)
        sub = make(d, "%d %s %s" % (sig, at_stamp, held))
        p = run(sub, args, at, 0 if held else -sig, preexec_fn=term if held else None)
        expect(sub, (p.stdout, read(os.path.join(sub, "password.txt"))),
               (out, line) if held else (b"", None))
    if EMULATOR:
        return  # strace would trace the emulator
    # strace sends the signal as the call is made. In the log rows a
    # file-size limit lets the write take only part of the line.
    for sig, call in [(signal.SIGTERM, "fdatasync"), (signal.SIGINT, "linkat"), (signal.SIGKILL, "fdatasync"),
                      (signal.SIGKILL, "rename")] + [(s, "writev") for s in ENDING]:
        name, old = (FILES[1], EARLIER) if call == "writev" else (FILES[0], NEEDS_REWRITE)
        sub = make(d, sig.name + call, [(name, old)])
        inject = "inject=%s:when=1:signal=%s" % (call, sig.name)
        run(sub, args if call == "writev" else (), status=-sig, file_limit=len(old) + 20 if call == "writev"
            else None, prefix=(*STRACE, "-e", inject))
        strays = [n for n in os.listdir(sub) if n != name]
        expect(sub, (read(os.path.join(sub, name)), [fnmatch.fnmatch(n, "settings.ini*")
               or re.fullmatch(r"\.settings\.ini\.\w{6}", n) is None for n in strays]),
               (old, [False] * (call == "rename")))
    # A hang-up its caller ignores (nohup) does not end a run that replaces settings.ini.
    sub = make(d, "nohup", [("settings.ini", NEEDS_REWRITE)])
    check(sub, preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN),
          prefix=(*STRACE, "-e", "inject=linkat:when=1:signal=SIGHUP"))
    if os.geteuid() != 0:
        return  # fanotify and bpftrace need root
    # A signal from inside the kernel as the line dirties the last page of a
    # log on a disk: unless it is held, the write stops at the next page.
    if not os.path.exists("/sys/kernel/tracing/events"):
        subprocess.run(["mount", "-t", "tracefs", "tracefs", "/sys/kernel/tracing"], check=True)
    with tempfile.TemporaryDirectory(dir="/var/tmp") as top:
        old = b"x" * 4082 + b"\r\n"
        # "ready" once the probes are in: as we send ourselves a signal that no one minds.
        probes = ['tracepoint:signal:signal_generate /args->pid == %d && args->sig == %d/ { printf("ready\\n"); }'
                  % (os.getpid(), signal.SIGURG)]
        for sig in ENDING:
            Path(top, sig.name).mkdir()
            with open(os.path.join(top, sig.name, "password.txt"), "wb", buffering=0) as f:
                f.write(old)
                os.fsync(f.fileno())  # clean: the line dirties it
                probes.append('tracepoint:writeback:writeback_dirty_folio /comm == "%s" && args->ino == %d/'
                              " { signal(%d); }" % (os.path.basename(AT)[:15], os.fstat(f.fileno()).st_ino, sig))
        with subprocess.Popen(["bpftrace", "--unsafe", "-e", "\n".join(probes)], stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, preexec_fn=lambda: LIBC.prctl(1, signal.SIGKILL)) as tracer:
            try:
                while not select.select([tracer.stdout], [], [], 0.05)[0] or tracer.stdout.readline() != b"ready\n":
                    os.kill(os.getpid(), signal.SIGURG)
                for sig in ENDING:
                    run(os.path.join(top, sig.name), args, status=-sig)
                    log = read(os.path.join(top, sig.name, "password.txt"))
                    expect(sig.name, (log[:len(old)] == old, log[len(old):]), (True, line))
            finally:
                tracer.kill()
    LIBC.fanotify_mark.argtypes = (ctypes.c_int, ctypes.c_uint, ctypes.c_uint64, ctypes.c_int, ctypes.c_char_p)
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        sub = make(d, "stalled " + sig.name, [("settings.ini", NEEDS_REWRITE)])
        scanner = LIBC.fanotify_init(4, os.O_RDONLY)  # FAN_CLASS_CONTENT
        expect("scanner", LIBC.fanotify_mark(scanner, 1, 0x8010000, -100, sub.encode()), 0)  # opens in sub
        p = subprocess.Popen(command(("25",)), cwd=sub, stdout=subprocess.DEVNULL)
        time.sleep(0.3)
        p.send_signal(sig)
        sent = time.monotonic()
        with contextlib.suppress(subprocess.TimeoutExpired):
            p.wait(1)
        took = time.monotonic() - sent
        os.close(scanner)  # which answers for it
        p.wait()
        expect(sub, (p.returncode, took < 0.5, os.listdir(sub)), (-sig, True, ["settings.ini"]))

def neighbours(d):
    """Another program holds a file for a moment, as antivirus scanners,
    indexers, sync clients and file servers do: the run waits it out. A
    lock held longer costs a run about 2 s and no more; on Windows the line
    then goes unlogged, since a locked range cannot be written, while flock
    on POSIX only orders our own runs. A holder that lets go for 10 ms at a
    time (flicker) serves a POSIX run at its release, which waits in the
    kernel's queue; five runs, any of which polling would lose. An SMB
    share (strace gives its answers) refuses the lock, a read, the write and
    the rename with EACCES while another holds them, and NFS or sshfs an
    open with ESTALE as a rename replaces the name: each is tried again."""
    user = b"quality=18\r\ntype=4\r\nnumber=4711\r\n"
    # strace -P, which keeps the loader's calls out of the count, misses the
    # rename: that one is given in a run of its own.
    smb = {"smb": strace("openat:error=ESTALE:when=1", "flock:error=EACCES:when=1..3", "read:error=EACCES:when=1..2",
                         "pread64:error=EACCES:when=1", "writev:error=EACCES:when=1..2") + ["-P", FILES[0], "-P", FILES[1]],
           "smb rename": strace("rename:error=EACCES:when=1..2")}
    for i, (how, name, hold, settings, keep) in enumerate((
            ("open", "password.txt", 1000, user, ()), ("exclusive", "settings.ini", 1000, user, ()),
            ("open", "settings.ini", 1000, NEEDS_REWRITE, ()),
            ("lock", "password.txt", 8000, user, FILES[1:] * WINDOWS),
            ) + (("flicker", "password.txt", 0, user, ()),) * 5 * (not WINDOWS)
            + tuple((how, "", -1, NEEDS_REWRITE, ()) for how in smb) * (not WINDOWS and not EMULATOR)):
        sub = make(d, str(i), [("settings.ini", settings), ("password.txt", EARLIER)])
        with beside(how, os.path.join(sub, name)) if hold == 0 else contextlib.nullcontext():
            p = check(sub, keep=keep, neighbour=(how, name, hold) * (hold > 0), prefix=smb.get(how, ()))
        expect(sub, (sorted(os.listdir(sub)), p.took < 5), (sorted(FILES), True))
    if WINDOWS or EMULATOR:
        return
    # The lock the SMB share refused at first is the run's once granted: held
    # while the line is written (strace holds the write for 2 s).
    sub = make(d, "smb lock", [("password.txt", EARLIER)])
    p = subprocess.Popen([*strace("flock:error=EACCES:when=1..3", "writev:delay_enter=2000000"), "-P", FILES[1],
                          *command(())], cwd=sub, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    time.sleep(1)
    with open(os.path.join(sub, "password.txt"), "rb") as log:
        try:
            held = fcntl.flock(log, fcntl.LOCK_EX | fcntl.LOCK_NB)  # None: it was free
        except BlockingIOError:
            held = True
    expect(sub, (held, p.communicate()[0]), (True, reference(None, (), PINNED, PINNED)[0]))

def output(d):
    """PWDRAW itself logs its line whatever becomes of standard output; a run
    in a deleted directory leaves nothing. A run killed while its console
    line waits on a full pipe, by a kill no program can hold (SIGKILL,
    TerminateProcess), has logged the password it was to show."""
    sub, line = make(d, "killed"), reference(None, (), PINNED, PINNED)[2]
    log, (r, w) = os.path.join(sub, "password.txt"), os.pipe()
    os.write(w, bytes(fcntl.fcntl(w, fcntl.F_GETPIPE_SZ)))  # full
    p = subprocess.Popen(command(()), cwd=sub, env=ENV, stdout=w, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 5
    while read(log) != line and time.monotonic() < deadline:
        time.sleep(0.05)
    time.sleep(0.2)  # for the run to reach its console line
    p.kill()
    p.wait()
    expect("log of the killed run", read(log), line)
    os.close(r)  # the reader is gone: EPIPE, with SIGPIPE at its default
    check(d, at=None)
    for stdout in [w, subprocess.DEVNULL] + ([] if WINDOWS else [open("/dev/full", "wb")]):
        check(d, at=None, stdout=stdout)
    check(d, at=None, stdout=subprocess.DEVNULL, prefix=("sh", "-c", 'exec "$0" "$@" >&-'))
    if not WINDOWS:  # which deletes no directory a process works in
        check(make(d, "gone"), keep=FILES, prefix=("sh", "-c", 'rmdir "$PWD" && exec "$0" "$@"'))

def not_regular_files(d):
    """A settings.ini or password.txt that is not a regular file is left as
    it is: the values come from nowhere, the line goes nowhere."""
    link = functools.partial(functools.partial, os.symlink)
    makers = [("settings.ini", os.mkdir), ("password.txt", os.mkdir),
              ("settings.ini", link("/dev/zero")), ("settings.ini", link("/dev/urandom"))]
    if not WINDOWS:  # wine shows a POSIX link as what it names, and has no FIFO
        makers += [("settings.ini", os.mkfifo), ("settings.ini", link("gone/settings.ini")),
                   ("settings.ini", link("password.txt"))]
    for i, (name, make_it) in enumerate(makers):
        sub = make(d, str(i))
        make_it(os.path.join(sub, name))
        check(sub, seen=None)
        expect(sub, sorted(os.listdir(sub)), sorted(FILES))
    if not WINDOWS:  # a link of ours to settings that need a correction is read, not replaced
        sub = make(d, "own link", [("real.ini", NEEDS_REWRITE)])
        os.symlink("real.ini", os.path.join(sub, "settings.ini"))
        check(sub, seen=NEEDS_REWRITE)
        expect(sub, read(os.path.join(sub, "real.ini")), NEEDS_REWRITE)

def closed_to_the_user(d):
    """settings.ini unreadable or read-only is not ours to replace; in a
    directory that takes no new file it is rewritten in place only where it
    is writable, has no other name and holds the new text. A file-size limit
    that stops either rewrite, or the log line, part-way leaves the old file
    whole and no partial line, unless a writer that ignores our lock
    appended meanwhile (strace holds the run): its bytes stay. Run as nobody
    when we are root. Windows knows only a read-only file, which wine makes
    of 0444."""
    global AT
    nobody = os.geteuid() == 0 and not WINDOWS
    if nobody:
        os.chmod(d, 0o755)
        AT = shutil.copy(AT, d)  # where nobody may run it
    long = NEEDS_REWRITE + b"# " + b"longer than the new file " * 20 + b"\r\n"
    for i, (mode, directory, other_name, old, limit, seen, keep) in enumerate([  # keep: files kept
            (0o444, 0o755, 0, long, None, BEFORE, 1), (0o200, 0o755, 0, long, None, None, 1),
            (0, 0o555, 0, long, None, BEFORE, 2), (0o444, 0o555, 0, long, None, BEFORE, 1),
            (0o644, 0o555, 0, long, None, BEFORE, 0), (0o644, 0o555, 1, long, None, BEFORE, 1),
            (0o644, 0o555, 0, long, 100, BEFORE, 2), (0o644, 0o555, 0, NEEDS_REWRITE, 100, BEFORE, 2),
            (0o644, 0o755, 0, NEEDS_REWRITE, 200, BEFORE, 1)
            ][:1 if WINDOWS else None]):
        sub = make(d, str(i), [("settings.ini", old), ("password.txt", EARLIER)] * bool(mode))
        if other_name:
            os.link(os.path.join(sub, "settings.ini"), os.path.join(sub, "other.ini"))
        for path, path_mode in ((FILES[0], mode), (FILES[1], 0o600), ("", directory)):
            if os.path.exists(os.path.join(sub, path)):
                os.chown(os.path.join(sub, path), *(65534, 65534) if nobody else (-1, -1))
                os.chmod(os.path.join(sub, path), path_mode)
        check(sub, seen=seen, keep=FILES[:keep], file_limit=limit,
              prefix=("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups") * nobody)
        expect(sub, sorted(os.listdir(sub)), ["other.ini"] * other_name + sorted(FILES) * bool(mode))
    if WINDOWS or EMULATOR:
        return  # strace would trace the emulator
    log, limit, args = os.path.join(d, "password.txt"), len(EARLIER) + 10, ("12", "1", "500")
    Path(log).write_bytes(EARLIER)
    subprocess.Popen(["timeout", "5", "sh", "-c", "until [ $(wc -c <password.txt) -ge %d ]; do sleep 0.01; done;"
                      " echo other >>password.txt" % limit], cwd=d)  # once our part is in
    run(d, args, file_limit=limit,
        prefix=(*STRACE, "-e", "inject=write,writev:delay_exit=1000000"))
    expect("log", read(log), EARLIER + reference(None, args, PINNED, PINNED)[2][:10] + b"other\n")

def settings_that_hold_the_log(d):
    """password.txt leads to settings.ini, by a mistaken link or a second name:
    each run logs into it, and none replaces it, losing the passwords."""
    for i, link in enumerate((os.symlink, os.link)):
        sub = make(d, str(i), [("settings.ini", NEEDS_REWRITE)])
        path = os.path.join(sub, "settings.ini")
        link(path, os.path.join(sub, "password.txt"))
        for args in ((), ("25",), ()):
            before = read(path)
            run(sub, args)
            expect(sub, read(path), before + reference(before, args, PINNED, PINNED)[2])

def others_files(d):
    """Root runs among the files of another user, nobody: a link nobody
    planted is not followed, to read or to write (settings read as none),
    nor is a dangling one; a file nobody owns is read but never written;
    a file with no write bit keeps its bytes. Root's own links are followed.
    A log a run made and finds not its own, as a mount of one user shows
    it, is removed, not left empty."""
    if WINDOWS or os.geteuid() != 0:
        skip("needs root, to run among another user's files; Windows has access lists")
    for i, (name, link, owner, mode, logged) in enumerate((
            ("password.txt", "target", 65534, 0o644, False), ("password.txt", "made", 65534, 0, False),
            ("settings.ini", "target", 65534, 0o644, False), ("password.txt", None, 65534, 0o666, False),
            ("settings.ini", None, 65534, 0o666, False), ("settings.ini", None, 0, 0o444, False),
            ("password.txt", "target", 0, 0o644, True), ("password.txt", "made", 0, 0, True))):
        sub = make(d, str(i))
        os.chown(sub, owner, owner)
        held = os.path.join(sub, link or name)  # the file the name leads to
        old = EARLIER if name == "password.txt" else NEEDS_REWRITE
        if mode:
            Path(held).write_bytes(old)
            os.chmod(held, mode)
        if link:
            os.symlink(link, os.path.join(sub, name))
        os.lchown(os.path.join(sub, name), owner, owner)
        p = run(sub)
        seen, kept = old if name == "settings.ini" and not link else None, old if mode else None
        out, _, line = reference(seen, (), PINNED, PINNED)
        expect(sub, (p.stdout, read(held)), (out, (kept or b"") + line if logged else kept))
    if EMULATOR:
        return  # strace would trace the emulator
    # A mount that shows every file as one user's (FAT for one user, sshfs,
    # NFS with root squashed) shows the log a run makes as that user's:
    # strace holds the run as it has made it, while the file is given away.
    sub = make(d, "mount of one user")
    p = subprocess.Popen([*STRACE, "-e", "inject=flock:delay_enter=1000000:when=1",
                          *command(())], cwd=sub, stdout=subprocess.PIPE)
    while not os.path.exists(os.path.join(sub, "password.txt")):
        time.sleep(0.01)
    os.chown(os.path.join(sub, "password.txt"), 65534, 65534)
    expect(sub, (p.communicate()[0], sorted(os.listdir(sub))), (reference(None, (), PINNED, PINNED)[0], [FILES[0]]))

def large_log(d):
    """A log past 4 GiB, which a build without 64-bit offsets could not open."""
    with open(os.path.join(d, "password.txt"), "wb") as f:
        f.seek(4 << 30)
        f.write(EARLIER)
    check(d, log_from=4 << 30)

def concurrent_runs(d):
    """Rounds of eight runs at once, half rewriting settings.ini and half
    reading it: each finds the user's number, the file ends whole with
    nothing beside it, and the log gains one whole line per run. Of two
    first runs, the one that finds the log empty makes it and its name
    durable before it lets go of the lock, so the other shows its line
    only after that (strace makes that directory flush take 1 s); one that
    finds no log, then the one the other made, appends to that. A run that
    found no settings.ini never replaces one renamed into place since."""
    path, first = Path(d, "settings.ini"), b"quality=16\r\ntype=9\r\nnumber=4242\r\n"
    args, outcomes = ((), ("25", "9", "4242")), set()
    ends = [reference(first, a, PINNED, PINNED) for a in args]
    for _ in range(25):
        path.write_bytes(first)  # type 9 needs a correction
        runs = [subprocess.Popen(command(a), cwd=d, env=ENV, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE) for a in args * 4]
        outcomes.update(p.communicate(timeout=10) + (p.returncode,) for p in runs)
        expect("files", (read(path) in [end[1] for end in ends], sorted(os.listdir(d))), (True, sorted(FILES)))
    expect("outcomes", outcomes - {(end[0], b"", 0) for end in ends}, set())
    lines = read(os.path.join(d, "password.txt")).splitlines(keepends=True)
    expect("log lines", (len(lines), set(lines) - {end[2] for end in ends}), (200, set()))
    if WINDOWS or EMULATOR:
        return  # no directory to flush; strace would trace the emulator
    first, args = make(d, "first"), ("12", "1", "500")
    slow = subprocess.Popen([*STRACE, "-e", "inject=fsync:delay_exit=1000000",
                             *command(args)], cwd=first, stdout=subprocess.PIPE)
    while not read(os.path.join(first, "password.txt")):  # its line is in, its flush held
        time.sleep(0.01)
    second = run(first, args)
    slow.communicate()
    out, _, line = reference(None, args, PINNED, PINNED)
    expect("second run", (second.stdout, second.took > 0.5, read(os.path.join(first, "password.txt"))),
           (out, True, line * 2))
    # A run that finds no log and then finds the one another run has made
    # since (strace answers its first open "no such file") appends to it.
    raced = make(d, "raced", [("password.txt", EARLIER)])
    run(raced, args, prefix=(*STRACE, "-P", "password.txt", "-e", "inject=openat:error=ENOENT:when=1"))
    expect(raced, read(os.path.join(raced, "password.txt")), EARLIER + line)
    # A run that finds no settings.ini, held by strace after it looks (as it
    # reads, or as it is about to write), while another renames one into
    # place, as FUSE file systems show a name missing while a rename replaces
    # it: the other one stays, also where no unnamed file can be made.
    user = b"quality=18\r\ntype=4\r\nnumber=4711\r\n"
    for i, injected in enumerate((["openat:delay_exit=2000000:when=1"], ["newfstatat:delay_exit=2000000:when=2"],
                                  ["newfstatat:delay_exit=2000000:when=2", "openat:error=EOPNOTSUPP:when=2"])):
        late = make(d, "late %d" % i)
        held = subprocess.Popen([*strace(*injected), "-P", "settings.ini", "-P", ".", *command(())], cwd=late,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        time.sleep(1)  # a slow start reaches the hold in time
        Path(late, "new").write_bytes(user)
        os.rename(os.path.join(late, "new"), os.path.join(late, "settings.ini"))
        expect(late, (held.communicate()[0], sorted(os.listdir(late)), read(os.path.join(late, "settings.ini"))),
               (reference(None, (), PINNED, PINNED)[0], sorted(FILES), user))

def help_and_version(d):
    """--help, -h and /? print the usage the README shows, --version the
    version, and nothing else happens: the user's files keep their bytes and
    an empty directory stays empty. -help is text, 0, as in any other run."""
    root = Path(__file__).resolve().parents[1]
    usage = re.search(rb"^\$ pwdraw --help\n(.*?)^```$", (root / "README.md").read_bytes(), re.M | re.S)[1]
    version = re.search(rb"^  VERSION ([0-9.]*)$", (root / "CMakeLists.txt").read_bytes(), re.M)[1]
    user = [("settings.ini", b"quality=18\r\ntype=4\r\nnumber=4711\r\n"), ("password.txt", EARLIER)]
    for i, (arg, out) in enumerate((("--help", usage), ("-h", usage), ("/?", usage), ("--version",
            b"pwdraw %s\nFree software under the ISC License, without warranty.\n" % version))):
        for files in (user, []):
            sub = make(d, "%d %d" % (i, len(files)), files)
            p = run(sub, [arg], at=None)
            got = {name: read(os.path.join(sub, name)) for name in os.listdir(sub)}
            expect(arg, (p.stdout, got), (out.replace(b"\n", b"\r\n"), dict(files)))
    check(make(d, "-help", user), args=["-help"])

def ways_of_others(d):
    """Root follows a link only along a way that no other user (nobody) can
    change: each link on it root's own, in a directory only root can change
    (not one nobody's group may write) or a sticky one. Nobody's links,
    chains through them, a second name in nobody's directory, and names
    nobody swaps while runs go on, read as no file: nothing is logged or
    made there, no value used. Root's own ways keep working, and so does
    nobody's own way through a link of root's."""
    if WINDOWS or EMULATOR or os.geteuid() != 0:
        skip("needs root and a native run; Windows has access lists")
    global AT
    os.chmod(d, 0o755)
    AT = shutil.copy(AT, d)  # where nobody may run it
    N, values = 65534, b"quality=18\r\ntype=4\r\nnumber=4711\r\n"
    # A path holds a directory (its mode), a link (its target; "/" is the
    # row's top), a file (its bytes), or a second name of another path; its
    # owner is a user, or a user and a group.
    common = [("out", 0o755, 0), ("out/log", EARLIER, 0), ("out/ini", values, 0), ("closed", 0o700, 0),
              ("shared", 0o1777, 0), ("mine", 0o755, 0), ("his", 0o755, N), ("sync", 0o777, 0),
              ("system", "sync", 0), ("rootlink", "/out/log", 0)]
    for i, (made, lands) in enumerate((  # lands: where the line goes; the first path's owner runs
            ([("mine/password.txt", "real.log", 0), ("mine/real.log", "../out/log", N)], None),
            ([("mine/password.txt", "sub/new.log", 0), ("mine/sub", "../closed", N)], None),
            ([("mine/settings.ini", "real.ini", 0), ("mine/real.ini", "../out/ini", N)], None),
            ([("mine/password.txt", "../shared/log", 0), ("shared/log", "../out/log", N)], None),
            ([("mine/password.txt", "../group/log", 0), ("group", 0o775, (0, N)), ("group/log", "../out/log", 0)],
             None),
            ([("his/password.txt", ("out/log",), 0)], None),
            ([("his/password.txt", ("rootlink",), 0)], None),
            ([("his/password.txt", "a", 0), ("his/a", EARLIER, 0), ("his/password.txt.swap", "../out/log", N)],
             None),
            ([("his/password.txt", "made", 0), ("his/password.txt.swap", "../closed/made", N)], None),
            ([("his/settings.ini", "a", 0), ("his/a", values, 0), ("his/settings.ini.swap", "../out/ini", N)],
             None),
            ([("mine/password.txt", "../sync/password.txt", 0), ("sync/password.txt", EARLIER, 0)],
             "sync/password.txt"),
            ([("mine/settings.ini", "../out/ini", 0), ("mine/password.txt", "../system/new.log", 0)],
             "sync/new.log"),
            ([("mine/password.txt", "../shared/log", 0), ("shared/log", "made", 0)], "shared/made"),
            ([("his/password.txt", "../system/his.log", N)], "sync/his.log"))):
        top = make(d, str(i))
        for path, what, owner in common + made:
            path = os.path.join(top, path)
            if isinstance(what, int):
                os.mkdir(path)
                os.chmod(path, what)
            elif isinstance(what, tuple):
                os.link(os.path.join(top, what[0]), path, follow_symlinks=False)
            elif isinstance(what, str):  # "/..." leads from `top`
                os.symlink(top + what if what[0] == "/" else what, path)
            else:
                Path(path).write_bytes(what)
            os.lchown(path, *(owner if isinstance(owner, tuple) else (owner, owner)))
        sub, runner = os.path.join(top, made[0][0].split("/")[0]), made[0][2]
        swap = [os.path.join(top, path[:-5]) for path, *_ in made if path.endswith(".swap")]
        end, runs = time.monotonic() + len(swap), 0
        with beside("swap", *swap) if swap else contextlib.nullcontext():
            while runs == 0 or time.monotonic() < end:  # a second of runs while names are swapped
                p, runs = run(sub, prefix=("setpriv", "--reuid=%d" % runner, "--regid=%d" % runner,
                                           "--clear-groups")), runs + 1
                out, _, line = reference(values if lands and "settings" in made[0][0] else None, (),
                                         PINNED, PINNED)
                expect(sub, p.stdout, out)
        expect(sub, [read(os.path.join(top, path)) for path in ("out/log", "out/ini", lands or "out")]
               + os.listdir(os.path.join(top, "closed")),
               [EARLIER, values, lands and (EARLIER if lands == "sync/password.txt" else b"") + line * runs])

def uninitialised(d):
    """Under valgrind's memcheck no run reads a byte it has not written, the
    settings in UTF-8 or in UTF-16 whose four-byte character meets the
    read limit: 18253 bytes of UTF-8, 3 short of its end."""
    posix_only("valgrind runs on Linux")
    if EMULATOR or b"__asan_init" in Path(AT).read_bytes():
        skip("memcheck runs on the native build without sanitizers")
    text = "\ufeffquality=12\ntype=3\n" + "x" * 18232 + "\U0001F600\n"
    for i, code in enumerate(("utf-8", "utf-16-le", "utf-16-be")):
        check(make(d, code, [("settings.ini", text.encode(code))]),
              prefix=("valgrind", "-q", "--error-exitcode=1"))

CASES = {f.__name__: f for f in (
    pinned_runs, log_stamps, signals, neighbours, output, not_regular_files, closed_to_the_user,
    settings_that_hold_the_log, others_files, large_log, concurrent_runs, help_and_version,
    uninitialised, ways_of_others)}

if __name__ == "__main__" and sys.argv[1] == "--list":
    print(";".join(CASES))
elif __name__ == "__main__":
    d = tempfile.mkdtemp(prefix="pwdraw-matrix-")
    try:
        CASES[sys.argv[-1]](d)
    finally:
        subprocess.run(["chmod", "-R", "u+rwx", d])
        shutil.rmtree(d, ignore_errors=True)
