// rule_value: one queued threshold rule of the host framework.
//
// The plug-in never creates, reads or changes one: the host's check operations
// append them to SMDVDevice::rule_values during a round, and the plug-in only
// counts the list, submits it with DoBatchCheckThreshold and clears it.
#pragma once

#include <cstdint>
#include <string>

#include "host/host_api.hpp"

struct SMD_HOST_API rule_value {
    enum class Kind : std::uint8_t { analog, boolean };

    Kind kind = Kind::analog;
    int level = 0;        // boolean rules: the alarm level
    std::string key;      // boolean rules: the alarm key
    std::string id;       // threshold id (analog) or signal id (boolean)
    std::string name;     // analog rules: the signal name (may be empty)
    std::string text1;    // boolean rules
    std::string text2;    // boolean rules
    float value = 0.0f;   // analog rules
    bool active = false;  // boolean rules: the state the device decided
    std::uint16_t count = 0;
    int arg = 0;          // analog rules: the last argument of CheckThreshold
};
