// Shell-style wildcard patterns over catalogue names and ids, as users give
// them to `--fields` and `smdhost signals`: a comma-separated list of
// patterns. Names are matched segment by segment (segments are separated
// by dots) with fnmatch(3), so "*", "?" and "[...]" work within a segment
// as they do within a file name: "dc.*.voltage" gives dc.1.voltage and
// dc.2.voltage, not dc.1.alarm.voltage. A pattern with fewer segments than
// a name selects the whole branch below it: "rect.12" and "rect.12.*" give
// every value of rectifier module 12, "rect.*" every rectifier value. Ids
// and keys have one segment: "2206*". An empty list matches everything.
#pragma once

#include <string>
#include <vector>

namespace smdcatalogue {

class NameFilter {
public:
    NameFilter() = default;
    // Items are trimmed of blanks; empty items are dropped.
    explicit NameFilter(const std::string& list);

    bool empty() const { return patterns_.empty(); }
    const std::vector<std::string>& patterns() const { return patterns_; }

    // True when any pattern matches `name` or a branch of it (always, for
    // an empty filter). `hits`, when given, gets one flag per pattern; those
    // that match are set.
    bool matches(const std::string& name, std::vector<bool>* hits = nullptr) const;

    // True when a pattern selects `name` or everything below it: "rect.12",
    // "rect.12.*" and "rect.*" cover "rect.12", "rect.12.current" does not.
    // For what an alarm is about (its subject).
    bool covers(const std::string& name) const;

private:
    std::vector<std::string> patterns_;
    std::vector<std::vector<std::string>> segments_;
};

}  // namespace smdcatalogue
