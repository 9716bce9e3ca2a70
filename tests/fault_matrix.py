#!/usr/bin/env python3
"""Runs the built program, one process per case, with its files, working
directory, standard output and arguments in every hostile state we know of,
and checks the exact bytes it leaves: exit status 0, an empty standard error,
the console line, settings.ini and password.txt.

    fault_matrix.py --list
    fault_matrix.py [--emulator COMMAND... --] PWDRAW CASE

Exit status 77 marks a case that cannot run on this machine, or that means
nothing on Windows (ctest: skipped, with the reason). The emulator runs the
program: wine for a Windows build, qemu-user for Linux on another processor.
"""
import hashlib, os, random, resource, shutil, stat, subprocess, sys, tempfile, threading, time

EMULATOR = sys.argv[2:sys.argv.index("--")] if sys.argv[1] == "--emulator" else []
EXE = os.path.abspath(sys.argv[-2])
WINDOWS = EXE.endswith(".exe")
ENV = {"PATH": "/usr/bin:/bin", "TZ": "UTC0"}
PASSED_ON = ("HOME", "WINEPREFIX", "WINEDEBUG", "ASAN_OPTIONS", "UBSAN_OPTIONS")
ENV.update((k, v) for k, v in os.environ.items() if k in PASSED_ON)
LETTERS = "".join(c + c.lower() for c in "ABCDEFGHIJKLMNOPQRSTUVWXYZ")
SETS = {1: "1234567890" + LETTERS,
        2: "123456789" + LETTERS.replace("Oo", ""),
        3: "1234567890",
        4: "1234567890" + LETTERS + "!#$%&()*+,-:;<=>?_."}
EARLIER = b"07:00:00 01_01_2020 Password 12:\tAbCdEfGhIjKl\r\n"


# A model of one run written apart from the program, so that every byte it
# leaves can be known in advance from the second it was seeded with.
def draws(seed):
    state = seed & 0xFFFFFFFF
    def advance():
        nonlocal state
        state = (state * 1664525 + 1013904223) & 0xFFFFFFFF
        return state
    for _ in range(8):
        advance()
    table = [advance() for _ in range(32)]
    last = table[31]
    while True:
        j = last & 31
        last, table[j] = table[j], advance()
        yield last & 0x3FFFFFFF


def model(values, seed):
    """(corrected values, whether corrected, the drawn result)"""
    g = draws(seed)
    candidate = next(g) % 10000 + 1
    q, t, n = values
    q = 16 if q < 12 else min(q, 20)
    t = 2 if t == 0 else min(t, 4)
    n = candidate if n == 0 or n > 10000 else n
    chars, count = SETS[t], n + 1000
    table = [chars[next(g) % len(chars)] for _ in range(count)]
    result = "".join(table[next(g) % (count - 1)] for _ in range(3 if t == 3 else q))
    return (q, t, n), (q, t, n) != tuple(values), result


def settings_bytes(q, t, n):
    return ("[Options]\n# v 2.0\n# https://github.com/pwdraw/pwdraw\n\n"
            "# качество пароля\n# от 12 до 20\nquality = %d\n\n"
            "# тип пароля\n# от 1 до 4\ntype = %d\n\n"
            "# для индивидуального\n# рандома\n# от 1 до 10000\nnumber = %d\n\n"
            % (q, t, n)).replace("\n", "\r\n").encode()


def console_line(t, result):
    return ("PIN code:\t%s\r\n" if t == 3 else "Password:\t%s\r\n") % result


def log_line(second, q, t, result):
    stamp = time.strftime("%H:%M:%S %d_%m_%Y", time.gmtime(second))
    if t == 3:
        return ("%s PIN code:\t\t%s\r\n" % (stamp, result)).encode()
    return ("%s Password %d:\t%s\r\n" % (stamp, q, result)).encode()


def possible_runs(values, start, end):
    """Every (values, corrected, console, log line) a run that began at or
    after `start` and ended by `end` can produce; the log reads the clock
    again, so its second may be later than the seed's."""
    runs = []
    for seed in range(start, end + 1):
        fixed, corrected, result = model(values, seed)
        for second in range(seed, end + 1):
            runs.append((fixed, corrected, console_line(fixed[1], result).encode(),
                         log_line(second, fixed[0], fixed[1], result)))
    return runs


def read(path, start=0):
    """The bytes of a regular file from `start` on; None for anything else,
    a symbolic link included (never opens a device or FIFO, which could
    block or never end)."""
    try:
        if not stat.S_ISREG(os.lstat(path).st_mode):
            return None
        with open(path, "rb") as f:
            f.seek(start)
            return f.read()
    except OSError:
        return None


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def earliest_second():
    """The earliest second a program started now can read: time() may read a
    coarse clock that lags this one by up to a tick."""
    return int(time.time() - 0.1)


def run(args, cwd, stdout=subprocess.PIPE, prefix=(), file_limit=None):
    start, clock = earliest_second(), time.monotonic()
    limit = file_limit and (lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit,) * 2))
    p = subprocess.run(list(prefix) + EMULATOR + [EXE] + list(args), cwd=cwd, env=ENV,
                       stdout=stdout, stderr=subprocess.PIPE, timeout=10, preexec_fn=limit)
    p.seconds = time.monotonic() - clock
    return p, start, int(time.time())


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def posix_only(why):
    if WINDOWS:
        raise Skip(why)


def expect(what, got, want):
    if got != want:
        raise Failure("%s:\n  got  %r\n  want %r" % (what, got, want))


def check(d, values, args=(), settings="as written", log=b"", console=True, logged=True,
          log_from=0, **how):
    """One run in `d`; `settings` and `log` are what settings.ini and
    password.txt (from byte `log_from` on) hold before it (None: not a file).
    "as written" expects the program's own file whenever a value was
    corrected, "rewritten" expects it always; a log of None must stay as it
    is, and any other log must gain exactly the run's line, or nothing when
    not `logged`."""
    before = read(os.path.join(d, "settings.ini")) if settings == "as written" else None
    p, start, end = run(args, how.pop("cwd", d), **how)
    expect("exit status and standard error", (p.returncode, p.stderr), (0, b""))
    after_log = read(os.path.join(d, "password.txt"), log_from)
    after_settings = read(os.path.join(d, "settings.ini"))
    for fixed, corrected, out, line in possible_runs(values, start, end):
        if console and p.stdout != out:
            continue
        if log is not None and after_log != log + (line if logged else b""):
            continue
        break
    else:
        raise Failure("no run at %d..%d explains console %r and log %r"
                      % (start, end, p.stdout, after_log and after_log[-80:]))
    if log is None:
        expect("password.txt", after_log, None)
    if settings == "rewritten" or (settings == "as written" and corrected):
        settings = settings_bytes(*fixed)
    elif settings == "as written":
        settings = before
    expect("settings.ini", after_settings, settings)
    p.fixed = fixed
    return p


# Each case makes its files in the fresh directory `d` and checks one run.

def first_and_second_run(d):
    fixed = check(d, (0, 0, 0), log=b"").fixed  # creates both files
    check(d, fixed, log=read(os.path.join(d, "password.txt")))  # reads them, rewrites nothing


def settings_is_a_directory(d):
    os.mkdir(os.path.join(d, "settings.ini"))
    check(d, (0, 0, 0), settings=None)
    expect("settings.ini", os.listdir(os.path.join(d, "settings.ini")), [])


def log_is_a_directory(d):
    os.mkdir(os.path.join(d, "password.txt"))
    check(d, (0, 0, 0), log=None)


def settings_links_to_dev_zero(d):
    os.symlink("/dev/zero", os.path.join(d, "settings.ini"))
    check(d, (0, 0, 0), settings=None)  # the link is kept; the values go nowhere
    expect("link", os.readlink(os.path.join(d, "settings.ini")), "/dev/zero")


def settings_links_to_dev_urandom(d):
    os.symlink("/dev/urandom", os.path.join(d, "settings.ini"))
    check(d, (0, 0, 0), settings=None)  # it reads, but is no regular file
    expect("link", os.readlink(os.path.join(d, "settings.ini")), "/dev/urandom")


def settings_link_dangles(d):
    posix_only("wine shows a POSIX symbolic link as what it names, not as a Windows link")
    os.symlink("gone/settings.ini", os.path.join(d, "settings.ini"))
    check(d, (0, 0, 0), settings=None)
    expect("files", sorted(os.listdir(d)), ["password.txt", "settings.ini"])


def settings_is_a_fifo(d):
    posix_only("a Windows directory holds no FIFO")
    os.mkfifo(os.path.join(d, "settings.ini"))
    check(d, (0, 0, 0), settings=None)  # neither blocks: no writer, no reader


def as_user(d):
    """The prefix that runs the program as an ordinary user who owns `d`: as
    root, nobody, with the program copied where nobody may run it."""
    global EXE
    if os.geteuid() != 0:
        return ()
    if shutil.which("setpriv") is None:
        raise Skip("running as root without setpriv to drop to nobody")
    os.chown(d, 65534, 65534)
    shutil.copy(EXE, d)
    EXE = os.path.join(d, os.path.basename(EXE))
    return ("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups")


def users_file(path, data, mode, prefix):
    write(path, data)
    if prefix:
        os.chown(path, 65534, 65534)
    os.chmod(path, mode)


NEEDS_REWRITE = b"quality=30\r\ntype=1\r\nnumber=9\r\n"


def read_only_directory(d):
    """No new file can be made there: settings.ini is rewritten in place
    only where it is writable and has no other name."""
    posix_only("it needs another user, and a read-only Windows directory still takes new files")
    prefix = as_user(d)
    old = NEEDS_REWRITE + b"# " + b"longer than the new file " * 20 + b"\r\n"
    for name, mode, other_name, after in (("empty", None, False, None),
                                          ("settings read-only", 0o444, False, old),
                                          ("settings writable", 0o644, False, "rewritten"),
                                          ("settings hard-linked", 0o644, True, old)):
        ro = os.path.join(d, name)
        os.mkdir(ro)
        if mode:
            users_file(os.path.join(ro, "settings.ini"), old, mode, prefix)
            users_file(os.path.join(ro, "password.txt"), EARLIER, 0o600, prefix)
        if other_name:
            os.link(os.path.join(ro, "settings.ini"), os.path.join(ro, "other.ini"))
        os.chmod(ro, 0o555)
        check(ro, (30, 1, 9) if mode else (0, 0, 0), settings=after, log=mode and EARLIER,
              prefix=prefix)
        expect("files", sorted(os.listdir(ro)),
               ["other.ini"] * other_name + ["password.txt", "settings.ini"] * bool(mode))


def settings_closed_to_the_user(d):
    # Unreadable, or made read-only: either way not ours to replace. Windows
    # knows only the second, as a read-only file, which wine makes of 0444
    # for every user.
    prefix = () if WINDOWS else as_user(d)
    log = b""
    for mode, values in ((0o200, (0, 0, 0)), (0o444, (30, 1, 9)))[WINDOWS:]:
        users_file(os.path.join(d, "settings.ini"), NEEDS_REWRITE, mode, prefix)
        check(d, values, settings=NEEDS_REWRITE, log=log, prefix=prefix)
        log = read(os.path.join(d, "password.txt"))


def settings_is_another_name_of_the_log(d):
    # wine shows no POSIX symbolic link as a Windows one.
    for name, make in (("symbolic", os.symlink), ("hard", os.link))[WINDOWS:]:
        sub = os.path.join(d, name)
        os.mkdir(sub)
        write(os.path.join(sub, "password.txt"), EARLIER)
        make(os.path.join(sub, "password.txt"), os.path.join(sub, "settings.ini"))
        # The link is left as it is; the second name is replaced by a file.
        check(sub, (25, 0, 0), args=["25"], settings=None if name == "symbolic" else "as written",
              log=EARLIER)


def file_size_limit(d):
    """A limit that stops the settings rewrite, or the log line, part-way:
    the old file stays whole and no partial line of ours is left."""
    posix_only("Windows has no file-size limit")
    for name, settings, values, log, limit, logged in (
            ("settings", NEEDS_REWRITE, (30, 1, 9), EARLIER, 200, True),
            ("log", VALID, (12, 1, 1), EARLIER * 4, 220, False)):
        sub = os.path.join(d, name)
        os.mkdir(sub)
        write(os.path.join(sub, "settings.ini"), settings)
        write(os.path.join(sub, "password.txt"), log)
        check(sub, values, settings=settings, log=log, logged=logged, file_limit=limit)
        expect("files", sorted(os.listdir(sub)), ["password.txt", "settings.ini"])


def working_directory_deleted(d):
    posix_only("Windows deletes no directory a process works in")
    gone = os.path.join(d, "gone")
    os.mkdir(gone)
    check(d, (0, 0, 0), settings=None, log=None, cwd=gone,
          prefix=("sh", "-c", 'rmdir "$PWD" && exec "$0" "$@"'))


VALID = b"quality=12\r\ntype=1\r\nnumber=1\r\n"


def in_valid_directory(d):
    write(os.path.join(d, "settings.ini"), VALID)
    write(os.path.join(d, "password.txt"), EARLIER)


def output_is_dev_full(d):
    posix_only("Windows has no /dev/full")
    in_valid_directory(d)
    with open("/dev/full", "wb") as full:
        check(d, (12, 1, 1), log=EARLIER, stdout=full, console=False)


def output_is_closed(d):
    in_valid_directory(d)
    check(d, (12, 1, 1), log=EARLIER, console=False,
          prefix=("sh", "-c", 'exec "$0" "$@" >&-'))


def output_is_null(d):
    in_valid_directory(d)
    check(d, (12, 1, 1), log=EARLIER, stdout=subprocess.DEVNULL, console=False)


def output_pipe_is_full(d):
    """A reader that has fallen behind: the line waits for room, then goes
    out whole, and is logged."""
    in_valid_directory(d)
    r, w = os.pipe()
    os.set_blocking(w, False)
    backlog = b""
    try:
        while True:
            backlog += b"x" * os.write(w, b"x" * 4096)
    except BlockingIOError:
        os.set_blocking(w, True)
    drained = []
    def drain():
        time.sleep(2)  # long enough for the run, wine included, to wait on the pipe
        with os.fdopen(r, "rb") as f:
            drained.append(f.read())
    reader = threading.Thread(target=drain)
    reader.start()
    try:
        check(d, (12, 1, 1), log=EARLIER, stdout=w, console=False)
    finally:
        os.close(w)
        reader.join()
    logged = read(os.path.join(d, "password.txt"))[len(EARLIER):]
    expect("the pipe", drained[0], backlog + b"Password:\t" + logged.split(b"\t")[-1])


def output_reader_is_gone(d):
    in_valid_directory(d)
    r, w = os.pipe()
    os.close(r)  # the first write gets EPIPE; SIGPIPE is at its default here
    try:
        check(d, (12, 1, 1), log=EARLIER, stdout=w, console=False)
    finally:
        os.close(w)


def sparse_gigabyte_settings(d):
    # Timed against a run that rewrites a small file, which an emulator and
    # the disk slow as much. A flush can stall behind other writers of the
    # disk, so the first of three tries that keeps the bound passes.
    settings, log = os.path.join(d, "settings.ini"), os.path.join(d, "password.txt")
    for _ in range(3):
        write(settings, NEEDS_REWRITE)
        small = check(d, (30, 1, 9), log=read(log) or b"").seconds
        with open(settings, "wb") as f:
            f.truncate(1 << 30)
        seconds = check(d, (0, 0, 0), settings="rewritten", log=read(log)).seconds
        if seconds <= 3 * small + 0.1:
            return
    raise Failure("took %.3f s, %.3f s with a small file" % (seconds, small))


def settings_of_random_bytes(d):
    write(os.path.join(d, "settings.ini"), random.Random(20181208).randbytes(64 << 10))
    check(d, (0, 0, 0))


def settings_with_nul_and_lone_cr(d):
    write(os.path.join(d, "settings.ini"),
          b"quality=13\0type=4\r\nqual\0ity=19\r\ntype=1\rquality=20\r\n\r\rnumber=77\r\r\n")
    check(d, (13, 1, 77))


def hundred_thousand_character_argument(d):
    # A Windows command line holds at most 32767 characters.
    size = 10000 if WINDOWS else 100000
    check(d, (13, 0xFFFFFFFF, 0), args=["0" * (size - 2) + "13", "9" * size])


def arguments_with_invalid_utf8(d):
    check(d, (0, 0, 14), args=[b"\xff12", b"\xc3\x28", b"14\xfe", b"\xed\xa0\x80"])


def sparse_log_over_four_gigabytes(d):
    # A 32-bit build without 64-bit file offsets cannot open it (EOVERFLOW).
    # Reading from 4 GiB on checks the new size as well as the line.
    with open(os.path.join(d, "password.txt"), "wb") as f:
        f.seek(4 << 30)
        f.write(EARLIER)
    check(d, (0, 0, 0), log=EARLIER, log_from=4 << 30)


def hundred_megabyte_log(d):
    path = os.path.join(d, "password.txt")
    old = random.Random(1).randbytes(1 << 20) * 100 + EARLIER
    write(path, old)
    check(d, (0, 0, 0), log=old)
    with open(path, "rb") as f:
        expect("checksum of the old content", hashlib.sha256(f.read(len(old))).digest(),
               hashlib.sha256(old).digest())


def concurrent_runs(d):
    """Eight runs at once, round after round, half of them rewriting
    settings.ini and half reading it: every reader finds the user's number,
    the file ends whole with nothing left beside it, and the log gains one
    whole line per run."""
    path = os.path.join(d, "settings.ini")
    ends = (settings_bytes(16, 4, 4242), settings_bytes(20, 4, 4242))
    start, outcomes = earliest_second(), set()
    for _ in range(25):
        write(path, b"quality=16\r\ntype=9\r\nnumber=4242\r\n")  # type needs a correction
        runs = [subprocess.Popen(EMULATOR + [EXE] + args, cwd=d, env=ENV, stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE) for args in ([], ["25", "9", "4242"]) * 4]
        outcomes.update(p.communicate(timeout=10) + (p.returncode,) for p in runs)
        expect("settings.ini is one of ours", read(path) in ends, True)
        expect("files", sorted(os.listdir(d)), ["password.txt", "settings.ini"])
    runs = [run for values in ((16, 4, 4242), (20, 4, 4242))
            for run in possible_runs(values, start, int(time.time()))]
    expect("runs that found another number", outcomes - {(out, b"", 0) for *_, out, _ in runs},
           set())
    lines = read(os.path.join(d, "password.txt")).splitlines(keepends=True)
    expect("log lines", len(lines), 200)
    expect("log lines no run writes", set(lines) - {line for *_, line in runs}, set())


CASES = {f.__name__: f for f in (
    first_and_second_run, settings_is_a_directory, log_is_a_directory, settings_links_to_dev_zero,
    settings_links_to_dev_urandom, settings_link_dangles, settings_is_a_fifo,
    read_only_directory, settings_closed_to_the_user, settings_is_another_name_of_the_log,
    file_size_limit, working_directory_deleted,
    output_is_dev_full, output_is_closed, output_is_null, output_pipe_is_full,
    output_reader_is_gone, sparse_gigabyte_settings,
    settings_of_random_bytes, settings_with_nul_and_lone_cr,
    hundred_thousand_character_argument, arguments_with_invalid_utf8,
    sparse_log_over_four_gigabytes, hundred_megabyte_log, concurrent_runs)}


def main():
    if sys.argv[1] == "--list":
        print(";".join(CASES))
        return 0
    d = tempfile.mkdtemp(prefix="pwdraw-matrix-")
    try:
        CASES[sys.argv[-1]](d)
    except Skip as why:
        print("skipped:", why)
        return 77
    except Failure as why:
        print("FAILED:", why)
        return 1
    finally:
        subprocess.run(["chmod", "-R", "u+rwx", d])
        shutil.rmtree(d, ignore_errors=True)
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
