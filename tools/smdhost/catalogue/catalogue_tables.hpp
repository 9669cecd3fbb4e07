// The two tables the catalogue is made of, built once from the record
// layout (value_table.cpp) and from the plug-in's rule tables
// (alarm_table.cpp). Internal to the catalogue; users go through Catalogue.
#pragma once

#include <vector>

#include "tools/smdhost/catalogue/alarm_entry.hpp"
#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

struct ValueTable {
    std::vector<ValueEntry> values;  // record order
    std::vector<ValueFamily> families;
};

struct AlarmTable {
    std::vector<AlarmEntry> alarms;  // by rule set, then by rule (family), then by instance
    std::vector<AlarmFamily> families;
};

ValueTable build_value_table();

// Count bytes and values are named through `values`.
AlarmTable build_alarm_table(const ValueTable& values);

}  // namespace smdcatalogue
