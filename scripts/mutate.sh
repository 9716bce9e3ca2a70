#!/usr/bin/env bash
# Makes each source edit below, one at a time, in a private worktree of HEAD,
# rebuilds the default preset there and runs the whole test suite: an edit
# that no test notices is a fault the tests would let through.
#
#   scripts/mutate.sh [--table] [NAME-REGEX]
#
# --table runs every test for every edit, rather than stopping at the first
# failure, and prints which tests kill which edits, then the edits only one
# test kills (drop that test and the fault goes through) and the tests that
# kill none, with what each of those guards that no edit here reaches.
#
# Exits 1 when an edit survived or no longer applies, 2 when the unchanged
# tree does not build and pass, so that there is nothing to compare with.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
table=
[[ ${1:-} == --table ]] && table=1 && shift
filter=${1:-}

# name  file  old text => new text; the old text must occur exactly once.
# src/platform/win32/ is left out: the default preset does not compile it.
edits=$(cat <<'EOF'
decimal-saturate        src/app/decimal.cpp            if (magnitude > kMax) return static_cast<std::uint32_t>(kMax); => if (magnitude > kMax) magnitude = kMax;
decimal-negate          src/app/decimal.cpp            0u - value => ~value
quality-low-bound       src/app/parameters.cpp         values.quality < 12 => values.quality <= 12
number-high-bound       src/app/parameters.cpp         values.number > 10000 => values.number >= 10000
quality-high-bound      src/app/parameters.cpp         values.quality > 20 => values.quality >= 20
type-low-bound          src/app/parameters.cpp         values.type == 0 => values.type <= 1
type-high-bound         src/app/parameters.cpp         values.type > 4 => values.type >= 4
number-low-bound        src/app/parameters.cpp         values.number == 0 => values.number <= 1
candidate-range         src/app/parameters.cpp         % 10000 + 1 => % 10000
args-threshold          src/app/command_line.cpp       argc <= 1 => argc <= 2
unreadable-rewritten    src/app/settings.cpp           if (size < 0) return {Parameters{}, Rewrite::kLeave}; => if (size < 0) return {Parameters{}, Rewrite::kReplace};
later-type-loses        src/app/settings.cpp           if (key == "type") values.type = value; => if (key == "type" && values.type == 0) values.type = value;
no-digits-is-zero       src/app/settings.cpp           if (end == equals + 1) return false; => if (end == equals) return false;
clean-keeps-underscore  src/app/settings.cpp           c == '[' || c == ']'; => c == '[' || c == ']' || c == '_';
clean-drops-bracket     src/app/settings.cpp           c == '[' || c == ']'; => c == ']';
clean-slash-no-comment  src/app/settings.cpp           c == ';' || c == '/' => c == ';'
key-type-substring      src/app/settings.cpp           if (key == "type") => if (key.find("type") != std::string_view::npos)
reads-17                src/app/settings.cpp           kMaxReads = 18; => kMaxReads = 17;
split-at-1012           src/app/settings.cpp           kReadLimit = 1013; => kReadLimit = 1012;
file-limit-without-crs  src/app/settings.cpp           kMaxReads * (kReadLimit + 1) + 1 => kMaxReads * kReadLimit + 1
max-digits-6            src/app/settings.cpp           kMaxDigits = 5; => kMaxDigits = 6;
settings-blank-line     src/app/settings.cpp           "quality = %u\n\n" => "quality = %u\n"
lcg-multiplier          src/generator/random.h         1664525u => 1664524u
seed-keeps-table        src/generator/random.cpp       source.ready = false; => static_cast<void>(seed);
random-max              src/generator/random.h         RANDOM_MAX = 0x3FFFFFFF => RANDOM_MAX = 0x7FFFFFFF
draw-divisor-count      src/generator/password.cpp     % (count - 1)] => % count]
draw-count-offset       src/generator/password.cpp     number + 1000 : kMaxCount => number + 999 : kMaxCount
pin-length-4            src/generator/password.cpp     kPinLength = 3; => kPinLength = 4;
set4-punctuation        src/generator/password.cpp     "!#$%&()*+,-:;<=>?_." => "!#$%&()*+,-:;<=>?_@"
pin-set-zero            src/generator/password.cpp     "1234567890", => "123456789o",
set2-nine               src/generator/password.cpp     "123456789AaBb => "123456780AaBb
console-before-log      src/generator/password.cpp     log_password(password, password.size(), type); => write_console({line.data(), static_cast<std::size_t>(size)}); log_password(password, password.size(), type); return;
log-month               src/generator/password_log.cpp local.tm_mon + 1LL, 2 => local.tm_mon + 0LL, 2
log-pin-tabs            src/generator/password_log.cpp " PIN code:\t\t" => " PIN code:\t"
log-keeps-failed-time   src/generator/password_log.cpp if (!to_local_time(clock_now(), local)) local = {}; => to_local_time(clock_now(), local);
encode-limit-1k         src/platform/text_file.cpp     std::array<char, 2048> => std::array<char, 1024>
encode-cut-not-refused  src/platform/text_file.cpp     if (used + 2 > out.size()) return {}; => if (used + 2 > out.size()) break;
encode-no-cr            src/platform/text_file.cpp     if (c == '\n') out[used++] = '\r'; => if (c == '\r') out[used++] = '\r';
decode-past-ctrl-z      src/platform/text_file.cpp     i < size && data[i] != kCtrlZ => i < size
decode-drops-lone-cr    src/platform/text_file.cpp     data[i] == '\r' && i + 1 < size && data[i + 1] == '\n' => data[i] == '\r'
replace-follows-links   src/platform/posix/replace.cpp ::lstat(path, &old) => ::stat(path, &old)
replace-loses-mode      src/platform/posix/replace.cpp ::fchmod(fd, exists ? old.st_mode & 07777 : => ::fchmod(fd, exists ? 0600 :
in-place-second-name    src/platform/posix/replace.cpp now.st_nlink == 1 => now.st_nlink >= 1
in-place-no-cut         src/platform/posix/replace.cpp || ::ftruncate(fd, static_cast<off_t>(size)) != 0) { => || false) {
in-place-no-restore     src/platform/posix/replace.cpp write_file(fd, old.data(), size); => static_cast<void>(old);
append-keeps-partial    src/platform/posix/append.cpp  ::ftruncate(fd, end - put) == 0 => false
append-cuts-others      src/platform/posix/append.cpp  now.st_size == end => now.st_size >= end
temp-not-hidden         src/platform/posix/replace.cpp ".%s.%s" => "%s.%s"
temp-left-on-signal     src/platform/posix/interrupts.cpp if (temp.named != 0) ::unlink(temp.name.data()); => static_cast<void>(temp);
temp-named-at-once      src/platform/posix/replace.cpp fd = open_at(AT_FDCWD, ".", O_TMPFILE | O_WRONLY); => fd = -1;
lease-not-queued        src/platform/posix/waits.cpp   fd = ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY, kOwnerOnly); => fd = ::openat(dir, name, flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kOwnerOnly);
lock-not-queued         src/platform/posix/waits.cpp   locked = ::flock(fd, LOCK_EX); => locked = ::flock(fd, LOCK_EX | LOCK_NB);
deadline-too-late       src/platform/posix/waits.cpp   {static_cast<time_t>(left / 1000000), => {static_cast<time_t>(left / 1000000 + 60),
first-run-flushed-late  src/platform/posix/append.cpp  if (put > 0 && size == 0) { => if (put > 0 && size < 0) {
log-glued-to-note       src/platform/posix/append.cpp  return size == 0 || read_at => return true || read_at
tz-fifo-kept            src/platform/posix/time_zone.cpp ::unsetenv("TZ"); => static_cast<void>(0);
tz-size-unchecked       src/platform/posix/time_zone.cpp off_t{1} << 20 => off_t{1} << 40
tz-not-handed-over      src/platform/posix/time_zone.cpp ::setenv("TZ", self.data(), 1); => static_cast<void>(self);
tz-posixrules-unchecked src/platform/posix/time_zone.cpp fd = open_zone("posixrules"); => fd = -1;
neighbour-no-patience   src/platform/neighbour.cpp     milliseconds{2000} => milliseconds{0}
utf16-byte-order        src/platform/text_file.cpp     utf16 = Utf16{bytes[0] == '\xFE'}; => utf16 = Utf16{bytes[0] != '\xFE'};
utf8-counts-units       src/platform/text_file.cpp     code < 0x800 ? 2 => code < 0x800 ? 1
help-slash              src/app/usage.cpp              first == "/?" => first == "/h"
version-not-answered    src/app/usage.cpp              if (first == "--version") { => if (first == "--versions") {
sigxfsz-default         src/platform/posix/process.cpp ::signal(SIGXFSZ, SIG_IGN) => ::signal(SIGXFSZ, SIG_DFL)
main-unprepared         src/app/main.cpp               pwdraw::prepare_process(); => static_cast<void>(argc);
clock-ahead             src/platform/clock.cpp         std::time(nullptr) => std::time(nullptr) + 1
writes-others-files     src/platform/posix/links.cpp   S_ISREG(file.st_mode) && file.st_uid == ::geteuid() => S_ISREG(file.st_mode)
root-writes-read-only   src/platform/posix/links.cpp   (file.st_mode & S_IWUSR) != 0 => true
follows-others-links    src/platform/posix/links.cpp   S_ISLNK(link.st_mode) && is_trusted(link.st_uid) => S_ISLNK(link.st_mode)
follows-in-others-dirs  src/platform/posix/links.cpp   if (!is_safe_directory(dir)) return -1; => if (false) return -1;
sticky-not-safe         src/platform/posix/links.cpp   (where.st_mode & S_ISVTX) != 0 => false
second-name-written     src/platform/posix/append.cpp  before.st_nlink > 1 && !is_safe_directory(log.dir) => false
own-dangling-ignored    src/platform/posix/links.cpp   opened.fd = open_at(opened.dir, name.data(), flags | O_NOFOLLOW); => opened.fd = open_at(opened.dir, name.data(), (flags & ~O_CREAT) | O_NOFOLLOW);
utf16-counts-unwritten  src/platform/text_file.cpp     if (from.full) return used; => if (from.full) return size;
settings-replace-log    src/app/settings.cpp           if (same_file(kPath, kLogPath)) return; => static_cast<void>(kLogPath);
group-not-safe          src/platform/posix/links.cpp   ((where.st_mode & (S_IWGRP | S_IWOTH)) == 0 => ((where.st_mode & S_IWOTH) == 0
taken-name-missing      src/platform/posix/links.cpp   taken = errno == EEXIST; => taken = false;
posixrules-unbounded    src/platform/posix/time_zone.cpp bounded = fd >= 0; => bounded = false;
rule-dates-lost         src/platform/posix/time_zone.cpp return *at != '\0' && std::strchr(rule, ',') == nullptr; => return *at != '\0';
nohup-ends-run          src/platform/posix/interrupts.cpp == 0 && saved[i].sa_handler != SIG_IGN) { => == 0) {
line-not-held           src/platform/posix/interrupts.cpp ::sigprocmask(SIG_BLOCK, &ending, &before); => ::sigprocmask(SIG_BLOCK, nullptr, &before);
smb-lock-not-polled     src/platform/posix/waits.cpp   } while (locked != 0 && (errno == EINTR || (errno == EACCES && paused_for_holder()))); => } while (locked != 0 && errno == EINTR);
stale-open-not-retried  src/platform/posix/waits.cpp   } while (fd < 0 && (errno == EINTR || (errno == ESTALE && paused_for_holder()))); => } while (fd < 0 && errno == EINTR);
smb-read-not-retried    src/platform/posix/process.cpp } while (got < 0 && (errno == EINTR || (errno == EACCES && posix::paused_for_holder()))); => } while (got < 0 && errno == EINTR);
smb-write-not-retried   src/platform/posix/append.cpp  } while (put < 0 && error == EACCES && paused_for_holder()); => } while (put < 0 && error == EACCES && false);
smb-rename-not-retried  src/platform/posix/replace.cpp if (errno != EACCES || !paused_for_holder()) return false; => return false;
found-none-replaces     src/platform/posix/replace.cpp if (exists && (!found || !may_write(old))) return; => if (exists && (!found || !may_write(old)) && found) return;
unnamed-replaces        src/platform/posix/replace.cpp named = written && link_unnamed(fd, path); => named = written && name_temp(path, fd) >= 0 && ::rename(temp.name.data(), path) == 0;
named-replaces          src/platform/posix/replace.cpp RENAME_NOREPLACE) == 0 => 0) == 0
made-log-left           src/platform/posix/append.cpp  ::unlinkat(log.dir, log.name.data(), 0); => static_cast<void>(0);
no-canaries             CMakeLists.txt                 add_compile_options(-fstack-protector-strong) => add_compile_options(-fno-stack-protector)
not-static-pie          CMakeLists.txt                 -static-pie,-static> => -static,-static>
EOF
)

# Replaces the one occurrence of $2 in file $1 by $3; fails unless there is
# exactly one. Bytes, not characters: the sources hold UTF-8.
apply() {
  local LC_ALL=C text rest
  text=$(cat "$1" && printf x) && text=${text%x}  # keeps the final newline
  rest=${text//"$2"/}
  (( ${#text} - ${#rest} == ${#2} )) || return 1
  printf '%s' "${text/"$2"/"$3"}" >"$1"
}

# The promise each test keeps, printed for the tests that kill no edit:
# there either an edit is missing, or the promise is one no source edit
# reaches (another platform, the build, the documents, the timing).
declare -A guards=(
  [SettingsTest.ReadsTheLastValueOfEachKeyFromTheFirst18Lines]="settings.ini read in UTF-8 and UTF-16, 18 lines"
  [RandomTest.EachSeedingRestartsItsSequence]="each seeding starts the sequence afresh"
  [TextFileTest.WritesATextThatFitsWholeAndNoneThatDoesNot]="a text is written whole or not at all"
  [fault_matrix.pinned_runs]="the draw, the corrections, the modes and Windows attributes, to the byte"
  [fault_matrix.log_stamps]="the log stamp in local time, a line of its own, TZ never hangs a run"
  [fault_matrix.signals]="signals and Ctrl+C end a run at once, on a stalled scanner too, leaving nothing"
  [fault_matrix.neighbours]="other programs holding the files are waited out, in the kernel's queue on Linux"
  [fault_matrix.output]="a password shown is logged, whatever becomes of the output or directory"
  [fault_matrix.not_regular_files]="directories, devices, FIFOs and links in place of the files"
  [fault_matrix.closed_to_the_user]="unreadable or read-only files, file-size limits, lockless writers"
  [fault_matrix.settings_that_hold_the_log]="settings.ini that holds the log is never replaced"
  [fault_matrix.others_files]="another user's files and links are never written"
  [fault_matrix.large_log]="a log over 4 GiB takes its line (64-bit offsets)"
  [fault_matrix.concurrent_runs]="runs at once never lose a line or the user's number; a first log lasts"
  [fault_matrix.help_and_version]="--help and --version print the README's text and touch no file"
  [fault_matrix.uninitialised]="no byte of the settings is read before it is written (memcheck)"
  [fault_matrix.ways_of_others]="no link is followed along a way another user can change"
  [memcheck]="the settings reader's unit tests read no byte before it is written"
  [hardened]="canaries, fortified calls, PIE and RELRO in the built program"
  [manual_page]="the manual page renders without a groff warning"
)

# 0 passed, 1 a test failed, 2 the build failed; output goes to $1. With
# --table every test runs, and the failed ones go to $1.failed.
build_and_test() {
  cmake --build --preset default >"$1" 2>&1 </dev/null || return 2
  if [[ -z $table ]]; then
    ctest --preset default --stop-on-failure --timeout 120 >>"$1" 2>&1 </dev/null || return 1
    return 0
  fi
  rm -f build/Testing/Temporary/LastTestsFailed.log
  ctest --preset default --timeout 120 >>"$1" 2>&1 </dev/null && return 0
  sed 's/^[0-9]*://' build/Testing/Temporary/LastTestsFailed.log >"$1.failed" 2>/dev/null
  return 1
}

repo=$PWD
tree=$(mktemp -d "${TMPDIR:-/tmp}/pwdraw-mutate.XXXXXX")
logs=$tree.logs
trap 'git -C "$repo" worktree remove --force "$tree"; rm -rf "$tree"' EXIT
mkdir "$logs" && git worktree add --quiet --detach "$tree" HEAD || exit 2
cd "$tree" || exit 2
echo "building and testing $(git rev-parse --short HEAD) unchanged; logs in $logs"
if ! cmake --preset default >"$logs/configure.log" 2>&1 </dev/null ||
   ! build_and_test "$logs/unchanged.log"; then
  echo "the unchanged tree fails; see $logs"
  exit 2
fi

declare -A count=() killers=() kills=()
results=()
mapfile -t tests < <(ctest --preset default -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: //p')
while read -r -u3 name file rest; do
  [[ -z $name || -n $filter && ! $name =~ $filter ]] && continue
  [[ $rest == *' => '* ]] || { echo "no ' => ' in the edit $name"; exit 2; }
  old=${rest%% => *} new=${rest#* => }
  if ! apply "$file" "$old" "$new"; then
    verdict="no match"
  else
    build_and_test "$logs/$name.log"
    case $? in 0) verdict=SURVIVED ;; 1) verdict=killed ;; *) verdict="not compiled" ;; esac
  fi
  git checkout --quiet -- "$file"
  marks=
  if [[ -n $table && ($verdict == killed || $verdict == SURVIVED) ]]; then
    [[ $verdict == killed ]] && while read -r test; do
      [[ -n $test ]] && killers[$name]+="$test " && kills[$test]=$((${kills[$test]:-0} + 1))
    done <"$logs/$name.log.failed"
    for test in "${tests[@]}"; do
      [[ " ${killers[$name]:-}" == *" $test "* ]] && marks+=x || marks+=.
    done
  fi
  results+=("$(printf '%-24s %-8s %s' "$name" "$verdict" "$marks")")
  count[$verdict]=$((${count[$verdict]:-0} + 1))
  echo "${results[-1]}"
done 3<<<"$edits"

echo "--- ${#results[@]} edits in ${SECONDS} s"
if [[ -n $table ]]; then
  echo "x: the test fails with the edit made; the tests, in the order of the columns:"
  for i in "${!tests[@]}"; do printf '%3d  %s\n' $((i + 1)) "${tests[i]}"; done
fi
printf '%s\n' "${results[@]}"
for verdict in killed SURVIVED "not compiled" "no match"; do
  printf '%s: %d  ' "$verdict" "${count[$verdict]:-0}"
done
echo
if [[ -n $table ]]; then
  echo "--- edits only one test kills"
  for name in "${!killers[@]}"; do
    read -r -a by <<<"${killers[$name]}"
    (( ${#by[@]} == 1 )) && printf '%-24s %s\n' "$name" "${by[0]}"
  done | sort
  echo "--- tests that kill no edit, and what they guard"
  for test in "${tests[@]}"; do
    [[ -z ${kills[$test]:-} ]] && printf '%s: %s\n' "$test" "${guards[$test]:-nothing recorded}"
  done
fi
[[ -z ${count[SURVIVED]:-} && -z ${count[no match]:-} ]]
