#!/usr/bin/env bash
# Times whole runs of pwdraw against two yardsticks built from bench/least.c:
# least, the least a program doing its job must do (read the settings, the
# clock and the time zone, print a line, append a line and flush it), and
# least+draws, the same plus the draws pwdraw makes (see least.c), which
# least alone would leave out of the ratio. Both are built as the default
# preset builds pwdraw (-O3, hardened, a static PIE), and so is empty, a
# program that does nothing: what starting a process costs.
#
# Runs are interleaved, in a memory file system (/dev/shm) and on the disk
# (/var/tmp), with a settings.ini of number = 10000 (the most draws),
# quality = 20 and type = 4. For each program it prints the median CPU time
# (user + system, from wait4) and wall time, the mean minor page faults and
# the peak RSS; then pwdraw's ratios to each yardstick, and how much more
# than the yardstick pwdraw takes above starting a process. CPU time is what
# to compare on a virtual machine: wall time also holds the time the host
# takes from it, a third at moments, and the flush to the disk.
#   bench/run.sh [path/to/pwdraw] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "${1:-build/pwdraw}")
runs=${2:-2000}
work=$(mktemp -d)
shm=$(mktemp -d -p /dev/shm)
disk=$(mktemp -d -p /var/tmp)
trap 'rm -rf "$work" "$shm" "$disk"' EXIT
flags=(-O3 -fstack-protector-strong -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2 -fcf-protection -fPIE
       -static-pie -Wl,-z,relro,-z,now)
mkdir "$work/cc"
cc "${flags[@]}" -o "$work/cc/least" "$here/least.c"
cc "${flags[@]}" -DDRAWS -o "$work/cc/least+draws" "$here/least.c"
echo 'int main(void) { return 0; }' | cc "${flags[@]}" -x c -o "$work/cc/empty" -
# How a file was written decides how many of its pages one fault maps (the
# page cache's large folios): 4 or 5 faults of some 35. All four are copied
# alike.
cp "$exe" "$work/pwdraw"
cp "$work"/cc/* "$work/"
for dir in "$shm" "$disk"; do
  printf 'quality = 20\r\ntype = 4\r\nnumber = 10000\r\n' > "$dir/settings.ini"
done

python3 - "$runs" "$work/pwdraw" "$work/least+draws" "$work/least" "$work/empty" "$shm" "$disk" <<'PY'
import ctypes, os, statistics, sys, time

runs, programs, places = int(sys.argv[1]), sys.argv[2:6], sys.argv[6:]
null = os.open(os.devnull, os.O_WRONLY)
libc = ctypes.CDLL(None, use_errno=True)
TRACEME, CONT, SETOPTIONS, O_TRACEEXIT = 0, 7, 0x4200, 0x40

# CPU time and wall time in us, and minor faults, of one run. posix_spawn
# execs at once, so the child's rusage holds little but the program's.
def run(path):
    start = time.perf_counter_ns()
    pid = os.posix_spawn(path, [path], os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, usage = os.wait4(pid, 0)
    wall = (time.perf_counter_ns() - start) / 1000
    assert status == 0, f"{path} exited with status {status}"
    return (usage.ru_utime + usage.ru_stime) * 1e6, wall, usage.ru_minflt

# Peak RSS of the program's own image, read when it is about to exit: the
# rusage of a child would also count the launcher it was spawned from.
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

name = {path: os.path.basename(path) for path in programs}
for place in places:
    os.chdir(place)
    samples = {path: [] for path in programs}
    for r in range(runs):  # interleaved, each first in turn: drift hits all alike
        for path in programs[r % 4:] + programs[:r % 4]:
            samples[path].append(run(path))
    # Medians of the times: now and then a run pays for an interrupt, or the
    # host stops the machine, which would pull a mean. A mean of the faults:
    # where the stack and the program land moves them by one or two, and the
    # mean shows a difference of less than one.
    def each(i, f):
        return {path: f(s[i] for s in samples[path]) for path in programs}
    cpu, wall, faults = each(0, statistics.median), each(1, statistics.median), each(2, statistics.fmean)
    print(f"in {place}:")
    print("                  CPU us   wall us   minor faults   peak RSS KiB")
    for path in programs:
        peak = max(peak_rss(path) for _ in range(20))
        print(f"  {name[path]:12} {cpu[path]:9.0f} {wall[path]:9.0f} {faults[path]:14.1f} {peak:14}")
    exe, *yardsticks, empty = programs
    for ref in yardsticks:
        print(f"  pwdraw / {name[ref]:12} CPU {cpu[exe] / cpu[ref]:.3f}, wall {wall[exe] / wall[ref]:.3f};"
              f" above empty, CPU {(cpu[exe] - cpu[empty]) / (cpu[ref] - cpu[empty]):.2f}")
PY
# Every timed run and every one of the 20 measured runs of the three that
# log appends one line.
expected=$((3 * (runs + 20)))
for dir in "$shm" "$disk"; do
  lines=$(wc -l < "$dir/password.txt")
  [ "$lines" -eq "$expected" ] || { echo "$dir: expected $expected log lines, found $lines" >&2; exit 1; }
done
