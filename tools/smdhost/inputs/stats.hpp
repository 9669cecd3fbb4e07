// smdhost stats: the line observer alone on scenario files or raw captures,
// without a configuration or the plug-in: a capture's health at a glance
// (frames by kind, bad frames by failure kind, cycles and how many
// completed, the cycle period, per-pair completeness).
//
// Input is streamed as replay streams it, on the same simulated clock; of a
// scenario only frame lines and clock lines count.
#pragma once

#include "tools/smdhost/cli/cli.hpp"

namespace smdstats {

// Returns the exit status.
int run_stats(const smdcli::Options& opts);

}  // namespace smdstats
