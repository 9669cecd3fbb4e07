// SMDVDevice: the host's data device. Owns what the real host keeps per device
// (data-valid flag, time of the last publication, queued rules, level and
// threshold maps, change-of-value settings) and offers the publish, history,
// check and report operations the device calls.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/ptime.hpp>
#include <json/value.h>

#include "host/host_api.hpp"
#include "host/host_event.hpp"
#include "host/rule_value.hpp"
#include "host/vdevice_interface.hpp"

class SMDController;

class SMD_HOST_API SMDVDevice : public VDeviceInterface {
public:
    // One change-of-value report setting. The default constructor clears the
    // three enable flags and leaves the other fields unset, as the host does.
    struct BAOSetting {
        bool abs_enable;
        float abs_band;            // half-width of the absolute band
        bool pct_enable;
        float pct_band;            // half-width of the band, percent of last_value
        bool period_enable;
        float period_min;          // report period, minutes
        std::uint32_t last_time;   // last report, seconds since the epoch
        float last_value;

        BAOSetting() : abs_enable(false), pct_enable(false), period_enable(false) {}
    };

    SMDVDevice();
    ~SMDVDevice() override;

    int DeviceIoControl(int code, const void* in, int in_len, void* out, int out_size,
                        int& out_len) override;

    virtual int Reset();
    virtual int InitV(SMDVDevice* parent, unsigned int id, const Json::Value& config);
    virtual int Init(std::weak_ptr<SMDController> controller, unsigned int id,
                     const Json::Value& config);
    virtual int InitSetting(const Json::Value& config);
    virtual bool IsSupportDevice(const std::string& type) const;
    // Interface defaults: a device of this framework has no child devices.
    virtual std::shared_ptr<SMDVDevice> GetChildVDevice(unsigned int id) {
        (void)id;
        return std::shared_ptr<SMDVDevice>();
    }
    virtual std::vector<std::shared_ptr<SMDVDevice>> GetAllChildVDevices() {
        return std::vector<std::shared_ptr<SMDVDevice>>();
    }
    virtual int SendSP(unsigned int type, const void* data, int len, bool delay);
    virtual int SendDelayData(unsigned int type, const void* data, int len);
    virtual int SendDoData(const std::string& id, int value);
    virtual int ReadDi(const std::string& id, int& value);
    virtual int ReadAi(const std::string& id, float& value);
    virtual float Get_SP_Value(unsigned int type, const std::string& name);

    // Host operations the device calls (not virtual).
    int SaveDeviceHistory(const void* data, int len);
    int CheckThreshold(const std::string& id, const std::string& name, const float& value,
                       int arg);
    int CheckThresholdBool(int level, const std::string& key, const std::string& id,
                           const std::string& text1, const std::string& text2, bool active,
                           std::uint16_t count);
    int CheckAOReport(const std::string& id, float value);
    // Evaluates the queued rules (raising and clearing host alarms) and
    // returns 0. Does not empty the list: the device does.
    int DoBatchCheckThreshold(std::vector<rule_value>& rules);

    boost::posix_time::ptime last_update;  // time of the last publication
    unsigned char data_valid = 0;          // 1 once a record exists
    std::uint16_t alarm_seq = 0;           // alarm sequence counter
    std::vector<rule_value> rule_values;   // queued threshold rules
    unsigned char batch_result = 0;        // OR of the batch results
    std::map<std::string, int> level_map;          // alarm level per signal id
    std::map<std::string, float> threshold_map;    // threshold per signal id
    std::map<std::string, BAOSetting> bao_map;     // change-of-value settings per id

    // Host-layer state that the real host keeps elsewhere.
    // Alarm state after the last batch, by key + '\x1f' + id: level while active.
    std::map<std::string, int> active_alarms;
    // Where every call is reported; null records nothing.
    smdhost::HostListener* host_listener = nullptr;
    // Results the host operations give, so tests can drive failure paths.
    int host_init_result = 1;
    int host_refresh_result = 1;
    int host_ioctl_result = 0;

protected:
    void emit(const smdhost::HostEvent& event) const {
        if (host_listener != nullptr) host_listener->on_event(event);
    }
};
