// Mode-1 threshold file: the "AI" and "ALARM" sections of an INI file.
//
//   [AI]
//   ua1=419110100001,A相电压      key of value_map = signal id, signal name
//   [ALARM]
//   door=门磁告警,2               key = text before the first comma
#include <iostream>
#include <locale>
#include <string>
#include <utility>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include "alarm/threshold_id.hpp"
#include "config/threshold_loaders.hpp"

namespace pxr52 {

namespace {

bool ends_with(const std::string& s, const char* suffix) {
    const std::string t(suffix);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// Splits at the first comma; a value without one is both halves.
std::pair<std::string, std::string> split_first_comma(const std::string& value) {
    const auto comma = value.find(',');
    if (comma == std::string::npos) return {value, value};
    return {value.substr(0, comma), value.substr(comma + 1)};
}

}  // namespace

void load_threshold_file(const std::string& file, unsigned data_id, ai_table& ai,
                         text_table& alarms) {
    std::cout << "parse ini/yaml filename:" << file << '\n';
    if (file.empty()) return;
    // A ".yaml" file is preferred by the search but has no reader here: the
    // tables keep what they hold.
    if (ends_with(file, ".ini")) {
        namespace pt = boost::property_tree;
        pt::ptree tree;
        pt::read_ini(file, tree, std::locale());
        const pt::ptree& ai_section = tree.get_child("AI");  // throws "No such node (AI)"

        // Nothing can fail from here on: the tables change only after the
        // whole file was read and found to have its "AI" section.
        for (const auto& child : ai_section) {
            auto entry = split_first_comma(child.second.data());
            // Positions 3 and 8 of the signal id make its threshold id; a
            // shorter id is loaded as written (the table lists it) but the
            // checks pass it by. Said once here, not every round.
            if (entry.first.size() < kMinAiSignalIdLength)
                std::cout << "AI key:" << child.first << " signal id:" << entry.first
                          << " shorter than " << kMinAiSignalIdLength
                          << " characters, not checked\n";
            ai[child.first] = std::move(entry);
        }
        if (tree.count("ALARM") != 0) {
            for (const auto& child : tree.get_child("ALARM"))
                alarms[child.first] = split_first_comma(child.second.data()).first;
        }
    }
    std::cout << "AI " << data_id << '\n';
    for (const auto& e : ai)
        std::cout << "first:" << e.first << " second:" << e.second.first
                  << " name:" << e.second.second << '\n';
}

}  // namespace pxr52
