// smdhost replay: scenario files, or raw captures with --raw, on the
// simulated clock.
#pragma once

#include <vector>

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/scenario.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdreplay {

// Start of the simulated clock: 2026-01-01T00:00:00 local time.
double start_epoch();

// Runs the whole replay; returns the exit status.
int run_replay(const smdcli::Options& opts);

// Runs parsed directives on a started session.
void run_directives(smdsession::Session& session,
                    const std::vector<smdscenario::Directive>& directives);

// Feeds raw capture bytes through the framing, advancing the clock by each
// byte's time on the wire (10 bits at `baud`). `sent` counts the bytes already
// fed, so several files form one stream on one time line.
void run_raw(smdsession::Session& session, const std::string& bytes, unsigned baud,
             double start, unsigned long long& sent);

}  // namespace smdreplay
