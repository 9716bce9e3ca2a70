// Where a run takes its values from.
#pragma once

namespace pwdraw {

/// One run: `quality`, `type` and `number` from arguments 1 to 3 (a missing
/// one counts as 0, later ones are ignored), or from settings.ini when there
/// are no arguments; then correction and generation. A settings file that
/// exists but cannot be read is never rewritten. A first argument of
/// "--help", "-h", "/?" or "--version" only prints its answer.
void run_command_line(int argc, const char* const argv[]);

}  // namespace pwdraw
