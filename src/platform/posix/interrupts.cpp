// What interrupt, termination, hang-up and quit do to a run: they end it at
// once, but first remove the temporary settings file, and they wait while a
// line of the log, or settings.ini overwritten in place, is written and cut
// back, so that no part of one stays.
#include <unistd.h>

#include <csignal>

#include "platform/posix/posix.h"

namespace pwdraw::posix {
namespace {

constexpr std::array<int, 4> kEndingSignals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
static_assert(kEndingSignals.size() == std::tuple_size<Dispositions>::value);

extern "C" void remove_temp_and_end(int signal) {
  if (temp.named != 0) ::unlink(temp.name.data());
  (void)::signal(signal, SIG_DFL);
  (void)::raise(signal);  // delivered as the handler returns
}

}  // namespace

TempFile temp = {};

// A signal whose action is to end the process makes the kernel stop a
// write between two pages of the file, and the process then ends before
// the cut-back runs: part of a line stays. Held, it ends the run as the
// mask is given back, once the bytes are whole or cut back. A caught
// signal would end no more waits than a held one: a write to a local disk
// waits for nothing a signal ends, and NFS, SMB and 9p wait for their
// servers in waits that only a signal that kills ends.
sigset_t hold_ending_signals() {
  sigset_t ending, before;
  ::sigemptyset(&ending);
  for (const int signal : kEndingSignals) ::sigaddset(&ending, signal);
  ::sigprocmask(SIG_BLOCK, &ending, &before);
  return before;
}

void release_ending_signals(const sigset_t& before) {
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
}

// Caught, not held: held, they would keep a run that an open has stuck on a
// stalled scanner from ending at all. One its caller ignores stays ignored.
void catch_ending_signals(Dispositions& saved) {
  struct sigaction action = {};
  action.sa_handler = remove_temp_and_end;
  ::sigfillset(&action.sa_mask);
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    if (::sigaction(kEndingSignals[i], nullptr, &saved[i]) == 0 && saved[i].sa_handler != SIG_IGN) {
      ::sigaction(kEndingSignals[i], &action, nullptr);
    }
  }
}

void restore_ending_signals(const Dispositions& saved) {
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    ::sigaction(kEndingSignals[i], &saved[i], nullptr);
  }
}

}  // namespace pwdraw::posix
