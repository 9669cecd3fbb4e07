// UniDataDevice: the generic data device, a template on the record type T,
// the protocol base Base and the record type id ID. Holds the published
// record, the threshold mode and the threshold tables, and closes each round
// with RoundDone (publish, evaluate, store).
//
// Member functions defined outside this header (threshold loading in config/,
// threshold checks in alarm/, cache loading in access/) are explicitly
// instantiated there for the one record type of this plug-in.
#pragma once

#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

#include <json/value.h>

#include "device/local_clock.hpp"
#include "host/get_ttime.hpp"

// (rule id, threshold, recovery value, active flag, level)
using signal_rule = std::tuple<std::string, float, float, bool, int>;
using signal_rule_map = std::map<std::string, signal_rule>;

template <class T, class Base, unsigned int ID>
class UniDataDevice : public Base {
public:
    UniDataDevice() : data() {}
    ~UniDataDevice() override = default;

    using Base::LoadFromCache;
    // Takes a stored record: exactly sizeof(T) bytes, else 0 and no change.
    int LoadFromCache(const unsigned char* bytes, int len) override;
    void RoundDone() override;
    // Threshold loader of the current mode; returns PMBusProtocol::InitSetting.
    int InitSetting(const Json::Value& config) override;

    virtual void RunCheckThreshold() {}
    virtual void GenJsonData() {}

    // Change-of-value decision for one value; 1 when reported, else 0.
    int CheckAOReport(const std::string& template_id, const std::string& report_id, float value);
    // Mode 5: one rule map; `upper` for the "Up" maps.
    void CheckSignalThresholdMap(signal_rule_map& rules, bool upper);
    // Mode 1: the "AI" entries of ai_map against value_map.
    void CheckAIMap();

    T data;  // the published record
    int b_mode = 1;
    std::map<std::string, std::string> id_triple_map;
    std::map<std::string, std::string> signal_name_map;
    std::map<std::string, std::string> alarm_map;
    signal_rule_map up_map;
    signal_rule_map up2_map;
    signal_rule_map low_map;
    signal_rule_map low2_map;
    std::mutex threshold_mutex;
    Json::Value value_map;
    std::map<std::string, std::pair<std::string, std::string>> ai_map;
};

template <class T, class Base, unsigned int ID>
void UniDataDevice<T, Base, ID>::RoundDone() {
    this->data_valid = 1;
    this->last_update = pxr52::local_now();
    const auto stamp = get_ttime(this->last_update);
    std::memcpy(data.time, stamp.data(), sizeof data.time);
    this->SendSP(ID, &data, static_cast<int>(sizeof(T)), false);
    this->Reset();
    this->alarm_seq = 1;
    this->batch_result = 0;
    this->RunCheckThreshold();
    if (b_mode == 1) {
        this->GenJsonData();
        std::lock_guard<std::mutex> lock(threshold_mutex);
        CheckAIMap();
    } else if (b_mode == 5) {
        this->GenJsonData();
        std::lock_guard<std::mutex> lock(threshold_mutex);
        CheckSignalThresholdMap(up_map, true);
        CheckSignalThresholdMap(up2_map, true);
        CheckSignalThresholdMap(low_map, false);
        CheckSignalThresholdMap(low2_map, false);
    }
    std::cout << "rvSize is " << this->rule_values.size() << '\n';
    this->batch_result |= static_cast<unsigned char>(this->DoBatchCheckThreshold(this->rule_values));
    this->SaveDeviceHistory(&data, static_cast<int>(sizeof(T)));
    this->rule_values.clear();
}
