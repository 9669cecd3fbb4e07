// UniDataDevice::InitSetting: the threshold mode and its threshold tables.
//
//   mode 1  the per-device threshold file under ./ini/ ("AI", "ALARM")
//   mode 3  "thresholdSetting" into the name and id-triple tables
//   mode 5  "thresholdSetting" into the four signal-rule tables
//   other   nothing
// The host protocol engine's own settings reader runs last; an error of the
// INI reader leaves before it, through this function, to the caller.
#include <iostream>

#include "config/config_text.hpp"
#include "config/threshold_loaders.hpp"
#include "device/device_types.hpp"

template <class T, class Base, unsigned int ID>
int UniDataDevice<T, Base, ID>::InitSetting(const Json::Value& config) {
    data.data_id.set(this->DataId());
    const Json::Value& app = pxr52::member_of(config, "appSetting");
    if (app.isObject() && pxr52::read_int_setting(app, "b_mode", b_mode))
        std::cout << "InitSetting " << data.data_id.get() << " b_mode_:" << b_mode << '\n';

    const unsigned id = data.data_id.get();
    switch (b_mode) {
        case 1:
            pxr52::load_threshold_file(pxr52::find_threshold_file(id, this->DeviceType()), id,
                                       ai_map, alarm_map);
            break;
        case 3:
            pxr52::load_threshold_names(config, id, signal_name_map, id_triple_map,
                                        this->level_map, this->threshold_map);
            break;
        case 5:
            pxr52::load_signal_rules(config, up_map, up2_map, low_map, low2_map);
            break;
        default:
            break;
    }
    return Base::InitSetting(config);
}

template int DataDevice::InitSetting(const Json::Value&);
