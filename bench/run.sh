#!/usr/bin/env bash
# Times whole runs of pwdraw against /bin/true: the median wall time of each,
# their ratio, and the peak resident set size (VmHWM) of each. A run reads
# an existing settings.ini with number = 10000 (the largest draw) and
# appends to password.txt in a temporary directory.
#   bench/run.sh [path/to/pwdraw] [runs]
set -euo pipefail
exe=$(realpath "${1:-build/pwdraw}")
runs=${2:-2000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
printf 'quality = 20\r\ntype = 4\r\nnumber = 10000\r\n' > settings.ini

python3 - "$exe" "$runs" <<'PY'
import ctypes, os, statistics, sys, time

exe, runs = sys.argv[1], int(sys.argv[2])
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

paths = [exe, "/bin/true"]
times = {path: [] for path in paths}
for _ in range(runs):  # interleaved, so that drift of the machine hits both alike
    for path in paths:
        times[path].append(wall_time(path))
median = {path: statistics.median(times[path]) / 1000 for path in paths}
peak = {path: max(peak_rss(path) for _ in range(20)) for path in paths}
for path in paths:
    print(f"{path}: median {median[path]:.0f} us, peak RSS {peak[path]} KiB")
print(f"ratio of medians: {median[exe] / median['/bin/true']:.3f}")
print(f"peak RSS difference: {peak[exe] - peak['/bin/true']} KiB")
PY
# Every timed run and every one of the 20 measured runs appends one line.
expected=$((runs + 20)) lines=$(wc -l < password.txt)
[ "$lines" -eq "$expected" ] || { echo "expected $expected log lines, found $lines" >&2; exit 1; }
