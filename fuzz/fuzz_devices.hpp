// Devices for the fuzz targets, configured from the input: which class, the
// threshold mode, the settings the decoders and rules read, and the host's
// level, threshold and change-of-value maps with ids the rule sets look up.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "device/device_types.hpp"
#include "device/pxr52_419.hpp"
#include "device/tarnel_brelm_pxr52_419.hpp"
#include "fuzz/fuzz_support.hpp"

namespace fuzzing {

enum class DeviceKind : std::uint8_t { shipped, model, power };

inline std::unique_ptr<PowerDevice> make_device(DeviceKind kind) {
    switch (kind) {
        case DeviceKind::shipped: return std::make_unique<Tarnel_BRELM_PXR52_419>();
        case DeviceKind::model: return std::make_unique<pxr52_419>();
        case DeviceKind::power: break;
    }
    return std::make_unique<PowerDevice>();
}

// b_mode: the four documented modes and, for the fifth choice, any value.
inline int threshold_mode(Input& in) {
    static const int kModes[] = {1, 2, 3, 5};
    const std::uint8_t s = in.u8();
    if (s % 5 < 4) return kModes[s % 5];
    return static_cast<std::int8_t>(in.u8());
}

// The settings of the rules and the decoders.
//   flags: has_ac has_dc has_a has_b has_c has_tower float_mode (bits 0..6)
//   then ac_line, ac_type, open_41_43, skip_41_41 (signed bytes), cg,
//   no_dc_number (signed byte), dc_i_adjust (signed byte), dc_number (i32)
inline void configure(PowerDevice& dev, Input& in) {
    const std::uint8_t flags = in.u8();
    dev.has_ac = flags & 1;
    dev.has_dc = (flags >> 1) & 1;
    dev.has_a = (flags >> 2) & 1;
    dev.has_b = (flags >> 3) & 1;
    dev.has_c = (flags >> 4) & 1;
    dev.has_tower = (flags >> 5) & 1;
    dev.float_mode = (flags >> 6) & 1;
    dev.ac_line = static_cast<std::int8_t>(in.u8());
    dev.ac_type = static_cast<std::int8_t>(in.u8());
    dev.open_41_43 = static_cast<std::int8_t>(in.u8());
    dev.skip_41_41 = static_cast<std::int8_t>(in.u8());
    dev.cg = in.u8();
    dev.no_dc_number = static_cast<std::int8_t>(in.u8());
    dev.dc_i_adjust = static_cast<std::int8_t>(in.u8());
    dev.dc_number = in.i32();
}

// Signal ids the rule sets look up, so that random levels reach them.
inline std::string signal_id(Input& in) {
    static const char* const kIds[] = {
        "120600180010", "220600120010", "220600130010", "220600140010", "220600160010",
        "220600170010", "210600320010", "210600330010", "210600340010", "210600320020",
        "210600330020", "210600340020", "120600480010", "120600480020", "120600480030",
        "120600480040", "419110100001", "419610401001", "419610801001", "419110500001",
    };
    // Families numbered per rectifier or fuse: prefix + three digits + "0".
    static const char* const kFamilies[] = {"12060069", "12060002", "12060047", "12060004"};
    constexpr std::size_t kFixed = sizeof kIds / sizeof kIds[0];
    const std::uint8_t s = in.u8();
    if (s < kFixed) return kIds[s];
    if (s == 0xFF) return in.text();
    char num[8];
    std::snprintf(num, sizeof num, "%03u", static_cast<unsigned>(in.u8()));
    return std::string(kFamilies[s % 4]) + num + "0";
}

inline float any_float(Input& in) {
    const Bytes b = in.bytes(4);
    unsigned char raw[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < b.size(); ++k) raw[k] = b[k];
    return pxr52::load_f32(raw);
}

// Level map, threshold map and change-of-value settings. One flag level
// applied to every fixed id switches all rules on at once.
inline void host_maps(PowerDevice& dev, Input& in) {
    const int all_level = static_cast<std::int8_t>(in.u8());
    if (all_level != 0)
        for (std::uint8_t s = 0; s < 20; ++s) {
            const std::uint8_t one[1] = {s};
            Input pick(one, 1);
            dev.level_map[signal_id(pick)] = all_level;
        }
    for (int n = in.u8() % 16; n > 0; --n) {
        std::string id = signal_id(in);
        dev.level_map[id] = static_cast<std::int8_t>(in.u8());
    }
    for (int n = in.u8() % 16; n > 0; --n) {
        std::string id = signal_id(in);
        dev.threshold_map[id] = any_float(in);
    }
    for (int n = in.u8() % 8; n > 0; --n) {
        SMDVDevice::BAOSetting s;
        const std::uint8_t f = in.u8();
        s.abs_enable = f & 1;
        s.pct_enable = (f >> 1) & 1;
        s.period_enable = (f >> 2) & 1;
        s.abs_band = any_float(in);
        s.pct_band = any_float(in);
        s.period_min = any_float(in);
        s.last_time = static_cast<std::uint32_t>(in.i32());
        s.last_value = any_float(in);
        std::string id = signal_id(in);
        dev.bao_map[id] = s;
    }
}

// Mode-1 "AI" entries, mode-5 signal rules and the values they are checked
// against, set directly (the loaders have their own targets).
inline void threshold_tables(PowerDevice& dev, Input& in) {
    for (int n = in.u8() % 8; n > 0; --n) {
        std::string key = in.text();
        std::string id = in.text();
        std::string name = in.text();
        dev.ai_map[key] = {id, name};
    }
    signal_rule_map* maps[] = {&dev.up_map, &dev.up2_map, &dev.low_map, &dev.low2_map};
    for (int n = in.u8() % 8; n > 0; --n) {
        signal_rule_map& m = *maps[in.u8() % 4];
        std::string name = in.text();
        std::string id = in.text();
        const float threshold = any_float(in);
        const float recovery = any_float(in);
        const int level = static_cast<std::int8_t>(in.u8());
        m[name] = signal_rule(id, threshold, recovery, false, level);
    }
    for (int n = in.u8() % 8; n > 0; --n) {
        std::string name = in.text();
        switch (in.u8() % 5) {
            case 0: dev.value_map[name] = static_cast<double>(any_float(in)); break;
            case 1: dev.value_map[name] = in.i32(); break;
            case 2: dev.value_map[name] = in.text(); break;
            case 3: dev.value_map[name] = Json::Value(); break;
            default: dev.value_map[name] = (in.u8() & 1) != 0; break;
        }
    }
}

}  // namespace fuzzing
