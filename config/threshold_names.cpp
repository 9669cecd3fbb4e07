// Mode 3: "thresholdSetting" read into the name and id-triple tables.
//
//   "thresholdSetting": { "0406001": { "SignalName": "交流电压",
//       "NMAlarmID": "0406001001", "ID": "406001", "SignalNumber": "1" } }
//   -> signal_name_map["0406001"] = "交流电压"
//      id_triple_map["0406001"]   = "0406001001;406001;1;"
#include <iostream>
#include <string>

#include "config/config_text.hpp"
#include "config/threshold_loaders.hpp"

namespace pxr52 {

void load_threshold_names(const Json::Value& config, unsigned data_id, text_table& names,
                          text_table& triples, std::map<std::string, int>& levels,
                          std::map<std::string, float>& thresholds) {
    std::cout << "here 1\n";
    const Json::Value& setting = member_of(config, "thresholdSetting");
    if (setting.isNull()) return;
    std::cout << "here 2\n";
    // Only an object has named items; any other value holds none.
    if (!setting.isObject()) return;

    // The parts of the triple, each followed by ";" whether present or not.
    static const char* const kParts[] = {"NMAlarmID", "ID", "SignalNumber"};

    for (const std::string& name : setting.getMemberNames()) {  // ascending names
        std::cout << "here " << name << '\n';
        const Json::Value& item = setting[name];
        if (!item.isObject()) continue;

        std::string text;
        const Json::Value& signal_name = item["SignalName"];
        if (!signal_name.isNull() && scalar_text(signal_name, text)) names[name] = text;

        std::string triple;
        for (const char* part : kParts) {
            const Json::Value& v = item[part];
            if (v.isNull()) {
                std::cout << data_id << ' ' << part << " is missing\n";
            } else if (scalar_text(v, text)) {
                triple += text;
            }
            triple += ';';
        }
        std::cout << "mobile:" << name << ':' << triple << " level:" << levels[name]
                  << " value:" << thresholds[name] << '\n';
        triples[name] = triple;
    }
}

}  // namespace pxr52
