// Other programs that hold our files for a moment: antivirus scanners,
// indexers, sync and backup clients, editors, file servers. The platform
// calls wait them out, within one bound for the whole run.
#pragma once

namespace pwdraw {

/// Sleeps a moment, so that a program holding one of our files may let go,
/// and returns true. The sleeps grow from 1-2 ms to 4-8 ms, each drawn afresh
/// from the clock, so that a holder that lets go for 10 ms at a time is met
/// in such a gap, whatever its cadence. Every wait of a run shares one
/// deadline, about 2 s after the first: once it has passed, returns false at
/// once, and the caller gives up as it would on any file it cannot use. A
/// run that never waits never reads the clock for it. For a holder the
/// system cannot queue us behind (a sharing violation on Windows).
bool wait_for_neighbour();

/// The microseconds left before that deadline, starting it if no wait has;
/// 0 once it has passed. For a wait the system queues (a lease, a lock),
/// which the caller makes itself, bounded by this.
long long neighbour_time_left();

}  // namespace pwdraw
