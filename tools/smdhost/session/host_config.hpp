// The configuration file of a bench-host session: the device's JSON
// configuration, handed whole to InitSetting, whose optional member "host"
// holds what the real host keeps for the device.
#pragma once

#include <map>
#include <string>

#include <json/value.h>

#include "host/smd_vdevice.hpp"

namespace smdconfig {

struct HostSettings {
    unsigned data_id = 1;
    std::map<std::string, int> levels;
    std::map<std::string, float> thresholds;
    std::map<std::string, SMDVDevice::BAOSetting> reports;
};

// Reads `path` (at most kMaxConfigFile bytes) and parses it: a JSON object,
// nested at most kMaxJsonDepth levels, nothing after it. False with the
// reason, naming the file, in `error`.
// `unreadable`, when given, tells a file that opened but could not be read
// whole (a folder, too large) from one that does not open or does not parse.
bool load_config(const std::string& path, Json::Value& config, std::string& error,
                 bool* unreadable = nullptr);
// The same for configuration text already read; `name` names it in messages.
bool parse_config(const std::string& text, const std::string& name, Json::Value& config,
                  std::string& error);

// Takes the "host" member of `config` (absent: defaults). False with the
// reason when a member has the wrong type or range.
bool read_host_settings(const Json::Value& config, HostSettings& out, std::string& error);

// Gives the device the host state: data id, level map, threshold map and
// change-of-value settings.
void apply_host_settings(const HostSettings& settings, SMDVDevice& device);

}  // namespace smdconfig
