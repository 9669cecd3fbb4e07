// The observer's reports for the text view (--format text). Lines carry no
// clock prefix and no line end; the text view puts its own clock in front,
// as for its other lines. Blocks are lines joined by '\n'.
#pragma once

#include <string>

#include "tools/smdhost/observer/line_report.hpp"

namespace smdobserver {

// A dropped cycle as one line: "cycle 7 dropped: 42/42 response lost to a
// bad checksum". A published cycle gives "" (its round block shows it), or
// "cycle 7: <note>" when it has a note.
std::string cycle_line(const CycleReport& report);
// "cycle 7": the header the text view gives the round block of a published
// cycle (cycles are numbered as they happened on the line).
std::string cycle_header(unsigned long long n);
// The line-health line of a cycle report: "line: 2 bad frames since the
// last cycle (checksum 1, hex 1)", or "" when there were none.
std::string health_line(const CycleReport& report);
// "line silent since 00:01:05.120 (no byte for more than 15.0 s)",
// "line back after 40.200 s of silence".
std::string note_line(const LineNote& note);
// The summary at the end of a replay and when listen stops:
//   line summary
//     cycles    40 seen, 34 published, 6 dropped
//     frames    1290 (4 bad: checksum 1, length 2, hex 1)
//     bytes     56789
//     silence   longest 3.730 s
//     alarms    2 still active
std::string summary_block(const LineTotals& totals);
// `smdhost stats` (no plug-in): cycles seen and complete, the summary's
// frame, byte and silence rows, rates, error rates, cycle period and
// per-pair completeness.
std::string stats_block(const LineStats& stats);

}  // namespace smdobserver
