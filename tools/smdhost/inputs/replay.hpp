// smdhost replay: scenario files, or raw captures with --raw, on the
// simulated clock, read as they are run (memory stays flat whatever their
// size).
//
// A scenario file is checked whole first, by a pass that keeps nothing
// (every line, the files its @PATH lines name, the clock's calendar), so a
// malformed line stops the replay before the plug-in sees anything; a second
// pass runs it. Standard input and pipes cannot be read twice: they run as
// they come and stop at the first malformed line.
#pragma once

#include "tools/smdhost/cli/cli.hpp"

namespace smdreplay {

// Start of the simulated clock: 2026-01-01T00:00:00 local time.
double start_epoch();

// Runs the whole replay; returns the exit status.
int run_replay(const smdcli::Options& opts);

}  // namespace smdreplay
