// The signal catalogue: every value of the 1257-byte record and every
// alarm, threshold check and report the plug-in can send, with names, units,
// ids and the conditions they are sent under. One table that every tool
// showing a value or an id reads (decode, history, the text view, check,
// the history store, the monitor outputs, `smdhost signals`).
//
// Built once on first use from the record layout and the plug-in's rule
// tables, then immutable: safe to read from any thread.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/smdhost/catalogue/alarm_entry.hpp"
#include "tools/smdhost/catalogue/name_filter.hpp"
#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

// Which ids a question is about: what a member of the configuration's
// "host" object can name.
enum class IdUse {
    any,        // every id the plug-in sends, and every template id of a report
    level,      // ids graded by the host's level map: "host"."levels"
    threshold,  // threshold-check ids, and alarm ids compared with "host"."thresholds"
    report,     // report ids and their template ids: "host"."reports"
};

class Catalogue {
public:
    static const Catalogue& get();

    const std::vector<ValueEntry>& values() const { return values_; }  // record order
    const std::vector<ValueFamily>& value_families() const { return value_families_; }
    // By rule set, then rule, then instance (families() group them).
    const std::vector<AlarmEntry>& alarms() const { return alarms_; }
    const std::vector<AlarmFamily>& alarm_families() const { return alarm_families_; }

    // By exact name; null when there is none.
    const ValueEntry* find_value(const std::string& name) const;
    // The entry whose first byte is `offset`; null when none starts there.
    const ValueEntry* value_at(std::size_t offset) const;
    // Entries whose name matches, in record order. `unmatched`, when given,
    // receives the patterns that matched no name (for "no such value" errors).
    std::vector<const ValueEntry*> select_values(const NameFilter& filter,
                                                 std::vector<std::string>* unmatched = nullptr) const;
    // The value name nearest to a mistyped one, "" when none is close.
    std::string nearest_value_name(const std::string& name) const;

    // Every entry with this id (several rules may share one), in table order.
    std::vector<const AlarmEntry*> find_alarms(const std::string& id) const;
    // The threshold and report entries that carry `value` (its signal ids).
    std::vector<const AlarmEntry*> signals_of(const ValueEntry& value) const;

    // Ids for `use`, sorted, each once; with `mode`, only those the plug-in
    // can send in that threshold mode (b_mode).
    std::vector<std::string> ids(IdUse use = IdUse::any,
                                 std::optional<int> mode = std::nullopt) const;
    bool knows_id(const std::string& id, IdUse use = IdUse::any,
                  std::optional<int> mode = std::nullopt) const;
    // The known id nearest to `id` by edit distance ("22060014001" gives
    // "220600140010"); "" when none is within suggestion_limit(). Ties go to
    // the id of the same length, then to the smaller id.
    std::string nearest_id(const std::string& id, IdUse use = IdUse::any,
                           std::optional<int> mode = std::nullopt) const;

private:
    Catalogue();

    std::vector<ValueEntry> values_;
    std::vector<ValueFamily> value_families_;
    std::vector<AlarmEntry> alarms_;
    std::vector<AlarmFamily> alarm_families_;
    std::map<std::string, std::size_t> by_name_;
    std::map<std::size_t, std::size_t> by_offset_;
    std::multimap<std::string, std::size_t> by_id_;
};

}  // namespace smdcatalogue
