#!/usr/bin/env bash
# Times whole runs of pwdraw against bench/least.c, the least a program doing
# its job must do (read the settings, the clock and the time zone, print a
# line, append a line and flush it), built as the default preset builds
# pwdraw (optimised, hardened, a static PIE): the median wall time
# of each, interleaved, their ratio, and the peak resident set size (VmHWM)
# of each. Each place is measured in a memory file system (/dev/shm) and on
# the disk (/var/tmp). pwdraw reads a settings.ini with number = 10000 (the
# largest draw) and appends to password.txt.
#   bench/run.sh [path/to/pwdraw] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-build/pwdraw}")
runs=${2:-2000}
work=$(mktemp -d)
shm=$(mktemp -d -p /dev/shm)
disk=$(mktemp -d -p /var/tmp)
trap 'rm -rf "$work" "$shm" "$disk"' EXIT
cc -O3 -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fcf-protection -fPIE \
  -static-pie -Wl,-z,relro,-z,now -o "$work/least" "$here/least.c"
for dir in "$shm" "$disk"; do
  printf 'quality = 20\r\ntype = 4\r\nnumber = 10000\r\n' > "$dir/settings.ini"
done

python3 - "$exe" "$work/least" "$runs" "$shm" "$disk" <<'PY'
import ctypes, os, statistics, sys, time

exe, least, runs, places = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
null = os.open(os.devnull, os.O_WRONLY)
libc = ctypes.CDLL(None, use_errno=True)
TRACEME, CONT, SETOPTIONS, O_TRACEEXIT = 0, 7, 0x4200, 0x40

def wall_time(path):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(path, [path], os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status = os.waitpid(pid, 0)
    assert status == 0, f"{path} exited with status {status}"
    return time.perf_counter_ns() - start

# Peak RSS of the program's own image, read when it is about to exit: the
# rusage of a child would also count the launcher it was forked from.
def peak_rss(path):
    pid = os.fork()
    if pid == 0:
        libc.ptrace(TRACEME, 0, None, None)
        os.dup2(null, 1)
        os.execv(path, [path])
    os.waitpid(pid, 0)  # stopped at the exec
    libc.ptrace(SETOPTIONS, pid, None, O_TRACEEXIT)
    libc.ptrace(CONT, pid, None, None)
    os.waitpid(pid, 0)  # stopped at the exit
    with open(f"/proc/{pid}/status") as status:
        kib = next(int(l.split()[1]) for l in status if l.startswith("VmHWM:"))
    libc.ptrace(CONT, pid, None, None)
    os.waitpid(pid, 0)
    return kib

for place in places:
    os.chdir(place)
    times = {exe: [], least: []}
    for _ in range(runs):  # interleaved, so that drift of the machine hits both alike
        for path in times:
            times[path].append(wall_time(path))
    median = {path: statistics.median(times[path]) / 1000 for path in times}
    peak = {path: max(peak_rss(path) for _ in range(20)) for path in times}
    print(f"in {place}:")
    for path in times:
        print(f"  {os.path.basename(path)}: median {median[path]:.0f} us, peak RSS {peak[path]} KiB")
    print(f"  ratio of medians: {median[exe] / median[least]:.3f}")
PY
# Every timed run and every one of the 20 measured runs appends one line.
expected=$((2 * (runs + 20)))
for dir in "$shm" "$disk"; do
  lines=$(wc -l < "$dir/password.txt")
  [ "$lines" -eq "$expected" ] || { echo "$dir: expected $expected log lines, found $lines" >&2; exit 1; }
done
