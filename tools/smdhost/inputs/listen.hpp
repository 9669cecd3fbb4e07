// smdhost listen: the plug-in on a live serial line, on the wall clock.
#pragma once

#include "tools/smdhost/cli/cli.hpp"

namespace smdlisten {

// Runs until SIGINT, SIGTERM or SIGHUP, or until the events or the
// recording cannot be written; returns the exit status.
int run_listen(const smdcli::Options& opts);

}  // namespace smdlisten
