#include "tools/smdhost/session/host_config.hpp"

#include <cmath>
#include <exception>
#include <limits>
#include <memory>

#include <json/reader.h>

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/input_file.hpp"

namespace smdconfig {

namespace {

bool is_number(const Json::Value& v) { return v.isNumeric() && !v.isBool(); }

bool as_float(const Json::Value& v, float& out) {
    if (!is_number(v)) return false;
    const double d = v.asDouble();
    if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) return false;
    out = static_cast<float>(d);
    return true;
}

bool as_flag(const Json::Value& v, bool& out) {
    if (v.isBool()) {
        out = v.asBool();
        return true;
    }
    if (v.isIntegral()) {
        out = v.asLargestInt() != 0;
        return true;
    }
    return false;
}

bool read_report(const std::string& id, const Json::Value& item, SMDVDevice::BAOSetting& r,
                 std::string& error) {
    if (!item.isObject()) {
        error = "\"host\".\"reports\".\"" + id + "\" must be an object";
        return false;
    }
    // Unset fields start at zero: the host never reads indeterminate values.
    r.abs_enable = false;
    r.abs_band = 0.0f;
    r.pct_enable = false;
    r.pct_band = 0.0f;
    r.period_enable = false;
    r.period_min = 0.0f;
    r.last_time = 0;
    r.last_value = 0.0f;
    struct FlagField {
        const char* name;
        bool SMDVDevice::BAOSetting::*field;
    };
    struct FloatField {
        const char* name;
        float SMDVDevice::BAOSetting::*field;
    };
    const FlagField flags[] = {{"abs_enable", &SMDVDevice::BAOSetting::abs_enable},
                               {"pct_enable", &SMDVDevice::BAOSetting::pct_enable},
                               {"period_enable", &SMDVDevice::BAOSetting::period_enable}};
    const FloatField floats[] = {{"abs_band", &SMDVDevice::BAOSetting::abs_band},
                                 {"pct_band", &SMDVDevice::BAOSetting::pct_band},
                                 {"period_min", &SMDVDevice::BAOSetting::period_min},
                                 {"last_value", &SMDVDevice::BAOSetting::last_value}};
    const std::string where = "\"host\".\"reports\".\"" + id + "\".";
    for (const auto& f : flags) {
        if (!item.isMember(f.name)) continue;
        if (!as_flag(item[f.name], r.*(f.field))) {
            error = where + f.name + " must be true, false or an integer";
            return false;
        }
    }
    for (const auto& f : floats) {
        if (!item.isMember(f.name)) continue;
        if (!as_float(item[f.name], r.*(f.field))) {
            error = where + f.name + " must be a finite number";
            return false;
        }
    }
    if (item.isMember("last_time")) {
        const Json::Value& t = item["last_time"];
        if (!is_number(t) || t.asDouble() < 0 || t.asDouble() > 4294967295.0) {
            error = where + "last_time must be seconds since the epoch (0 to 4294967295)";
            return false;
        }
        r.last_time = static_cast<std::uint32_t>(t.asDouble());
    }
    return true;
}

}  // namespace

bool parse_config(const std::string& text, const std::string& name, Json::Value& config,
                  std::string& error) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    // Text after the JSON value is not ignored: a configuration whose end
    // was pasted twice, or cut, is refused.
    builder["failIfExtra"] = true;
    builder["stackLimit"] = smdcli::kMaxJsonDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errs;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &config, &errs)) {
            // The reader's message spans lines ("* Line 1, Column 19\n  Extra
            // ..."); one line is enough here.
            std::string one;
            for (std::size_t k = 0; k < errs.size(); ++k) {
                char c = errs[k] == '\n' ? ' ' : errs[k];
                if (c == '*' && (k == 0 || errs[k - 1] == '\n')) continue;
                if (c == ' ' && (one.empty() || one.back() == ' ')) continue;
                one += c;
            }
            while (!one.empty() && one.back() == ' ') one.pop_back();
            error = name + ": not valid JSON: " + one;
            return false;
        }
    } catch (const Json::Exception&) {
        // The reader throws when the nesting passes its stack limit.
        error = name + ": not a usable configuration: nested deeper than " +
                std::to_string(smdcli::kMaxJsonDepth) + " levels";
        return false;
    }
    if (!config.isObject()) {
        error = name + ": the configuration must be a JSON object";
        return false;
    }
    return true;
}

bool load_config(const std::string& path, Json::Value& config, std::string& error,
                 bool* unreadable) {
    std::string text;
    smdinput::Problem problem = smdinput::Problem::none;
    if (unreadable != nullptr) *unreadable = false;
    if (!smdinput::read_small_file(path, smdcli::kMaxConfigFile, "a configuration file", text,
                                   error, &problem)) {
        if (unreadable != nullptr) *unreadable = problem == smdinput::Problem::unreadable;
        return false;
    }
    return parse_config(text, path == "-" ? "<stdin>" : path, config, error);
}

bool read_host_settings(const Json::Value& config, HostSettings& out, std::string& error) {
    out = HostSettings{};
    if (!config.isObject() || !config.isMember("host")) return true;
    const Json::Value& host = config["host"];
    if (host.isNull()) return true;
    if (!host.isObject()) {
        error = "\"host\" must be an object";
        return false;
    }
    if (host.isMember("dataId")) {
        const Json::Value& id = host["dataId"];
        if (!id.isIntegral() || id.isBool() || id.asLargestInt() < 0 ||
            id.asLargestInt() > 4294967295LL) {
            error = "\"host\".\"dataId\" must be an integer from 0 to 4294967295";
            return false;
        }
        out.data_id = static_cast<unsigned>(id.asLargestUInt());
    }
    const char* maps[] = {"levels", "thresholds", "reports"};
    for (const char* m : maps) {
        if (host.isMember(m) && !host[m].isNull() && !host[m].isObject()) {
            error = std::string("\"host\".\"") + m + "\" must be an object";
            return false;
        }
    }
    const Json::Value& levels = host["levels"];
    for (const auto& name : levels.getMemberNames()) {
        const Json::Value& v = levels[name];
        if (!v.isIntegral() || v.isBool() || !v.isInt()) {
            error = "\"host\".\"levels\".\"" + name + "\" must be an integer";
            return false;
        }
        out.levels[name] = v.asInt();
    }
    const Json::Value& thresholds = host["thresholds"];
    for (const auto& name : thresholds.getMemberNames()) {
        float f;
        if (!as_float(thresholds[name], f)) {
            error = "\"host\".\"thresholds\".\"" + name + "\" must be a finite number";
            return false;
        }
        out.thresholds[name] = f;
    }
    const Json::Value& reports = host["reports"];
    for (const auto& name : reports.getMemberNames()) {
        SMDVDevice::BAOSetting r;
        if (!read_report(name, reports[name], r, error)) return false;
        out.reports[name] = r;
    }
    return true;
}

void apply_host_settings(const HostSettings& settings, SMDVDevice& device) {
    device.data_id = settings.data_id;
    device.level_map = settings.levels;
    device.threshold_map = settings.thresholds;
    device.bao_map = settings.reports;
}

}  // namespace smdconfig
