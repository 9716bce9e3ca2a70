#!/usr/bin/env python3
"""Figures for pwdraw in one directory of a mounted file system.
bench/filesystems.sh mounts the file systems and calls this for each:

    filesystems.py PWDRAW DIR runs RUNS     1. runs one after another, half correcting;
                                            2. 8 runners x RUNS at once, half correcting,
                                               and a reader polling settings.ini
    filesystems.py PWDRAW DIR stranger UID  3. one correcting run by UID in DIR, where the
                                               mount shows files as another user's
    filesystems.py PWDRAW DIR cifs DIR2     4. CIFS: password.txt locked, settings.ini held
                                               open, through this mount and through DIR2,
                                               a second mount of the same share

The user's settings are quality 20, type 2, number 4711: `pwdraw 25 0 4711`
writes them (25 and 0 are corrected, so settings.ini is rewritten), and a
plain run that reads them draws a 20-character password.
"""
import collections, errno, functools, glob, os, re, subprocess, sys, threading, time

print = functools.partial(print, flush=True)  # each line as it comes, also from inside UML

exe, top, what = os.path.abspath(sys.argv[1]), sys.argv[2], sys.argv[3]
USER = ("25", "0", "4711")
WHOLE = re.compile(rb"\[Options\]\r\n(?:[^\n]*\r\n)*?quality = (\d+)\r\n(?:[^\n]*\r\n)*?"
                   rb"type = (\d+)\r\n(?:[^\n]*\r\n)*?number = (\d+)\r\n\r\n")
LINE = re.compile(rb"\d\d:\d\d:\d\d \d\d_\d\d_\d{4} (?:Password \d+:|PIN code:)\t+(\S+)\r")

def as_user(uid):
    def drop():
        os.setgroups([])
        os.setresgid(uid, uid, uid)
        os.setresuid(uid, uid, uid)
    return drop

def run(d, args=(), uid=None, trace=None, calls=""):
    """One run in d; returns the password it showed and its wall time. With `trace`,
    strace writes the run's `calls` (a comma-separated list) to that file."""
    command = [exe, *args]
    if trace:
        command = ["strace", "-f", "-o", trace, "-e", "trace=" + calls, *command]
    start = time.monotonic()
    p = subprocess.run(command, cwd=d, capture_output=True, timeout=120,
                       preexec_fn=as_user(uid) if uid is not None else None)
    return p.stdout.split(b"\t")[-1].strip().decode(), time.monotonic() - start

def settings(d):
    """(quality, type, number), or 'partial', or the errno name of a failed read."""
    try:
        with open(os.path.join(d, "settings.ini"), "rb") as f:
            text = f.read()
    except OSError as e:
        return errno.errorcode.get(e.errno, str(e.errno))
    m = WHOLE.fullmatch(text)
    return tuple(map(int, m.groups())) if m else "partial"

def log(d):
    """Counter of the passwords in password.txt, and the number of lines that are not whole."""
    try:
        with open(os.path.join(d, "password.txt"), "rb") as f:
            lines = f.read().split(b"\n")
    except FileNotFoundError:
        return collections.Counter(), 0
    tail = lines.pop()  # after the last newline: nothing, when every line is whole
    found = [LINE.fullmatch(line) for line in lines]
    return (collections.Counter(m.group(1).decode() for m in found if m),
            sum(m is None for m in found) + (tail != b""))

def logged(d, before, password):
    """Did the run that showed `password` add its line? (Runs in the same second with the
    same settings draw the same password, so lines are counted, not just looked for.)"""
    return "yes" if log(d)[0][password] > before[password] else "no"

def strays(d):
    return len(glob.glob(os.path.join(d, ".settings.ini.*")))

def squeezed(lines):
    """Lines with each run of the same line (a call retried) shown once, with its count."""
    runs = []
    for line in lines:
        if runs and runs[-1][0] == line:
            runs[-1][1] += 1
        else:
            runs.append([line, 1])
    return [line if n == 1 else f"{line}   (x{n})" for line, n in runs]

def fresh(name):
    d = os.path.join(top, name)
    os.makedirs(d, exist_ok=True)
    return d

def ms(seconds):
    return "%d ms" % round(seconds * 1000)

def one_after_another(runs):
    """Even runs correct (quality 12..20, type 0), odd runs read what the one before wrote."""
    d = fresh("seq")
    landed = whole = kept = used = 0
    slowest = 0.0
    for i in range(runs):
        quality = 12 + (i // 2) % 9
        before = log(d)[0]
        password, took = run(d, (str(quality), "0", "4711") if i % 2 == 0 else ())
        slowest = max(slowest, took)
        landed += log(d)[0][password] == before[password] + 1
        now = settings(d)
        whole += isinstance(now, tuple)
        kept += now == (quality, 2, 4711)
        used += i % 2 == 1 and len(password) == quality
    print(f"1. {runs} runs one after another, {(runs + 1) // 2} correcting: line landed {landed}/{runs}, "
          f"settings.ini whole after {whole}/{runs}, user's values after {kept}/{runs}, "
          f"plain runs that used them {used}/{runs // 2}, partial log lines {log(d)[1]}, "
          f"temporaries left {strays(d)}, slowest run {ms(slowest)}")

def at_once(runs):
    d = fresh("conc")
    if settings(d) != (20, 2, 4711):  # overlay's lower layer may already hold them
        run(d, USER)
    before = log(d)[0]  # lines already there are not counted
    seen = collections.Counter()
    done = threading.Event()

    def reader():  # polls settings.ini every 2 ms, as an editor or sync client might
        while not done.is_set():
            v = settings(d)
            seen["whole, user's values" if v == (20, 2, 4711) else
                 "whole, other values" if isinstance(v, tuple) else v] += 1
            time.sleep(0.002)

    results = []
    def runner(correcting):
        for _ in range(runs):
            password, took = run(d, USER if correcting else ())
            results.append((correcting, password, took))
    threads = [threading.Thread(target=runner, args=(i < 4,)) for i in range(8)]
    watcher = threading.Thread(target=reader)
    watcher.start()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    done.set()
    watcher.join()
    shown = collections.Counter(password for _, password, _ in results)
    got, partial = log(d)
    lost = sum((shown - (got - before)).values())
    plain = [password for correcting, password, _ in results if not correcting]
    astray = sum(len(p) != 20 for p in plain)
    print(f"2. 8 runners x {runs} at once (4 correcting, 4 plain) + reader: "
          f"shown and not logged {lost}/{len(results)}, partial log lines {partial}, "
          f"plain runs that did not get the user's settings {astray}/{len(plain)}, "
          f"temporaries left {strays(d)}, settings.ini after: {settings(d)}, "
          f"slowest run {ms(max(t for _, _, t in results))}")
    print(f"   reader, {sum(seen.values())} reads of settings.ini: " +
          ", ".join(f"{k} {v}" for k, v in sorted(seen.items(), key=lambda kv: -kv[1])))

def stranger(uid):
    d = top  # made by filesystems.sh so that uid may write there
    before = log(d)[0]
    password, took = run(d, USER, uid=uid)
    path = os.path.join(d, "password.txt")
    if os.path.exists(path):
        st = os.stat(path)
        state = f"{st.st_size} bytes, owner shown as {st.st_uid}"
    else:
        state = "absent"
    print(f"3. a correcting run by uid {uid}: showed {'a password' if password else 'nothing'}, "
          f"logged it {logged(d, before, password)}, password.txt {state}, "
          f"settings.ini {settings(d)}, temporaries left {strays(d)}, took {ms(took)}")

def kernel_says(since, fyi):
    """The CIFS client's messages after the first `since` lines of the kernel's; fyi "7"
    has it log from then on all it can (the server's status codes among them), "0" stops it."""
    with open("/proc/fs/cifs/cifsFYI", "w") as f:
        f.write(fyi)
    lines = subprocess.run(["dmesg"], capture_output=True, text=True).stdout.splitlines()
    said = collections.Counter(line.split("] ", 1)[-1] for line in lines[since:] if "CIFS" in line)
    return len(lines), "; ".join(f"{text} (x{n})" for text, n in said.items()) or "nothing"

def hold_lock(path, seconds):
    """Another program takes a whole-file flock on path for `seconds`."""
    code = ("import fcntl, sys, time; f = open(sys.argv[1], 'ab'); fcntl.flock(f, fcntl.LOCK_EX); "
            "print('held', flush=True); time.sleep(float(sys.argv[2]))")
    p = subprocess.Popen([sys.executable, "-c", code, path, str(seconds)], stdout=subprocess.PIPE)
    p.stdout.readline()
    return p

def cifs(second):
    mounts = (("this mount", top), ("a second mount", second))
    n = 0
    for where, holder_top in mounts:
        for seconds in (0.6, 4):
            n += 1
            d = fresh(f"lock{n}")
            run(d, USER)
            before = log(d)[0]  # (the lock keeps even readers out)
            holder = hold_lock(os.path.join(holder_top, f"lock{n}", "password.txt"), seconds)
            password, took = run(d)
            holder.wait()
            print(f"4. password.txt flocked {seconds} s through {where}: run took {ms(took)}, "
                  f"logged {logged(d, before, password)}")
    # What the lock does to the run's calls; held 4 s, as strace is slow to start in UML.
    d = fresh("locktrace")
    run(d, USER)
    before = log(d)[0]
    holder = hold_lock(os.path.join(d, "password.txt"), 4)
    password, took = run(d, trace=os.path.join(top, "locktrace.strace"),
                         calls="flock,fcntl,pread64,write,writev,pwrite64,fdatasync,ftruncate")
    holder.wait()
    print(f"4. the same, 4 s through this mount, under strace: logged "
          f"{logged(d, before, password)}; the run's calls that failed:")
    with open(os.path.join(top, "locktrace.strace")) as f:
        failed = [line.split(" ", 1)[1].strip() for line in f if "= -1" in line]
    for line in squeezed(failed) or ["(none)"]:
        print("     " + line)
    # settings.ini held open (as `sleep 60 <settings.ini`, ended once the run is seen)
    # while a correcting run replaces it.
    for where, holder_top in mounts:
        n += 1
        d = fresh(f"open{n}")
        run(d, ("18", "0", "4711"))  # settings.ini holds quality 18; the run below writes 20
        with open(os.path.join(holder_top, f"open{n}", "settings.ini"), "rb") as f:
            holder = subprocess.Popen(["sleep", "60"], stdin=f)
        time.sleep(0.2)
        trace = os.path.join(top, f"open{n}.strace")
        since = kernel_says(0, "7")[0]
        password, took = run(d, USER, trace=trace,
                             calls="rename,renameat,renameat2,unlink,unlinkat,openat,linkat")
        said = kernel_says(since, "0")[1]
        during, then = sorted(os.listdir(d)), settings(d)
        links = os.stat(os.path.join(d, "settings.ini")).st_nlink if "settings.ini" in during else "-"
        holder.kill()  # the holder closes it
        holder.wait()
        time.sleep(2)  # (the client may keep a closed file's handle for a second)
        print(f"4. settings.ini held open through {where} while `pwdraw 25 0 4711` replaces it "
              f"(took {ms(took)}):")
        with open(trace) as f:
            calls = [line.split(" ", 1)[1].strip() for line in f
                     if re.search("settings|rename|link|O_TMPFILE", line)]
        for line in squeezed(calls):
            print("     " + line)
        print(f"   the kernel client logged: {said}")
        print(f"   directory as the run ended, still held: {' '.join(during)}; settings.ini then "
              f"{then}, its link count {links} (0: delete pending)")
        print(f"   directory after the holder closed: {' '.join(sorted(os.listdir(d)))}; "
              f"settings.ini {settings(d)}")

if what == "runs":
    one_after_another(int(sys.argv[4]))
    at_once(int(sys.argv[4]))
elif what == "stranger":
    stranger(int(sys.argv[4]))
elif what == "cifs":
    cifs(sys.argv[4])
