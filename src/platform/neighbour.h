// Other programs that hold our files for a moment: antivirus scanners,
// indexers, sync and backup clients, editors, file servers. The platform
// calls wait them out, within one bound for the whole run.
#pragma once

namespace pwdraw {

/// The microseconds left before the run's deadline, about 2 s after the
/// first wait of the run asked for it; 0 once it has passed. Every wait of
/// a run shares it, and past it the caller gives up as it would on any
/// file it cannot use. A run that never waits never reads the clock for it.
long long neighbour_time_left();

/// The microseconds to pause before trying again a file whose holder the
/// system cannot queue us behind (a sharing violation on Windows, a locked
/// range on an SMB share), at most the time left: 1 to 2 ms, then 2 to 4,
/// then 4 to 8, drawn from the clock. 0 once the deadline has passed.
long long neighbour_pause();

}  // namespace pwdraw
