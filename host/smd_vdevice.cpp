#include "host/smd_vdevice.hpp"

#include <utility>

using smdhost::HostEvent;

namespace {
void alarm_key(const std::string& key, const std::string& id, std::string& out) {
    out.assign(key);
    out += '\x1f';
    out += id;
}
}  // namespace

SMDVDevice::SMDVDevice() = default;
SMDVDevice::~SMDVDevice() = default;

int SMDVDevice::DeviceIoControl(int code, const void* in, int in_len, void* out, int out_size,
                                int& out_len) {
    (void)in;
    (void)in_len;
    (void)out;
    (void)out_size;
    (void)out_len;
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::host_ioctl;
        e.code = code;
        e.result = host_ioctl_result;
        emit(e);
    }
    return host_ioctl_result;
}

int SMDVDevice::Reset() { return 1; }

int SMDVDevice::InitV(SMDVDevice* parent, unsigned int id, const Json::Value& config) {
    (void)parent;
    data_id = id;
    return InitSetting(config);
}

int SMDVDevice::Init(std::weak_ptr<SMDController> controller, unsigned int id,
                     const Json::Value& config) {
    (void)controller;
    data_id = id;
    return InitSetting(config);
}

int SMDVDevice::InitSetting(const Json::Value& config) {
    (void)config;
    return 1;
}

bool SMDVDevice::IsSupportDevice(const std::string& type) const { return type == device_type; }

int SMDVDevice::SendSP(unsigned int type, const void* data, int len, bool delay) {
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::publish;
        e.code = static_cast<int>(type);
        e.len = len;
        e.flag = delay;
        if (data != nullptr && len > 0) {
            const auto* p = static_cast<const unsigned char*>(data);
            e.bytes.assign(p, p + len);
        }
        emit(e);
    }
    return 1;
}

int SMDVDevice::SendDelayData(unsigned int type, const void* data, int len) {
    (void)type;
    (void)data;
    (void)len;
    return 0;
}

int SMDVDevice::SendDoData(const std::string& id, int value) {
    (void)id;
    (void)value;
    return -1;
}

int SMDVDevice::ReadDi(const std::string& id, int& value) {
    (void)id;
    value = 0;
    return -1;
}

int SMDVDevice::ReadAi(const std::string& id, float& value) {
    (void)id;
    value = 0.0f;
    return -1;
}

float SMDVDevice::Get_SP_Value(unsigned int type, const std::string& name) {
    (void)type;
    (void)name;
    return 0.0f;
}

int SMDVDevice::SaveDeviceHistory(const void* data, int len) {
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::history;
        e.len = len;
        if (data != nullptr && len > 0) {
            const auto* p = static_cast<const unsigned char*>(data);
            e.bytes.assign(p, p + len);
        }
        emit(e);
    }
    return 1;
}

int SMDVDevice::CheckThreshold(const std::string& id, const std::string& name,
                               const float& value, int arg) {
    // Filled in place: a rule built aside and moved in costs a move of five strings.
    rule_value& r = rule_values.emplace_back();
    r.kind = rule_value::Kind::analog;
    r.id = id;
    r.name = name;
    r.value = value;
    r.arg = arg;
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::threshold;
        e.id = id;
        e.name = name;
        e.value = value;
        e.code = arg;
        emit(e);
    }
    return 0;
}

int SMDVDevice::CheckThresholdBool(int level, const std::string& key, const std::string& id,
                                   const std::string& text1, const std::string& text2,
                                   bool active, std::uint16_t count) {
    rule_value& r = rule_values.emplace_back();
    r.kind = rule_value::Kind::boolean;
    r.level = level;
    r.key = key;
    r.id = id;
    r.text1 = text1;
    r.text2 = text2;
    r.active = active;
    r.count = count;
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::alarm;
        e.level = level;
        e.key = key;
        e.id = id;
        e.text1 = text1;
        e.text2 = text2;
        e.flag = active;
        e.count = count;
        emit(e);
    }
    return 0;
}

int SMDVDevice::CheckAOReport(const std::string& id, float value) {
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::report;
        e.id = id;
        e.value = value;
        emit(e);
    }
    return 1;
}

int SMDVDevice::DoBatchCheckThreshold(std::vector<rule_value>& rules) {
    std::string k;  // one buffer for every rule's key: no allocation per rule
    for (const auto& r : rules) {
        if (r.kind != rule_value::Kind::boolean) continue;
        alarm_key(r.key, r.id, k);
        if (r.active && r.level != 0)
            active_alarms[k] = r.level;
        else
            active_alarms.erase(k);
    }
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::batch;
        e.count = static_cast<unsigned>(rules.size());
        e.result = 0;
        emit(e);
    }
    return 0;
}
