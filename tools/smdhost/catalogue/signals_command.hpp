// `smdhost signals [--format json|text] [--mode N] [FILTER]`: prints the
// signal catalogue. The command line is parsed elsewhere; this is what runs.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace smdcatalogue {

struct SignalsOptions {
    enum class Format { json, text };
    Format format = Format::text;
    // Threshold mode (b_mode): only the alarms, thresholds and reports sent
    // in that mode. Values are listed whatever the mode.
    std::optional<int> mode;
    // Comma-separated shell-style patterns (NameFilter), matched against
    // value names and against the ids, keys and values of the alarm
    // entries; a pattern that covers an entry's subject lists it too
    // ("rect.12.*" lists the alarms about rect.12). "" lists everything.
    std::string filter;
};

// JSON: one object per line, the value entries first (record order), then
// the alarm, threshold and report entries (entry_json.hpp). Text: a table of
// the values, then one block per alarm entry, for people.
// Returns 0; 1 when the filter matches nothing (told on `err`, with the
// nearest name or id) or `out` could not be written.
int run_signals(const SignalsOptions& options, std::ostream& out, std::ostream& err);

}  // namespace smdcatalogue
