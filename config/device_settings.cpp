// pmbuspower_419::InitSetting: the device switches of "appSetting".
//
// Every key is read the same way: present when not null, its text taken
// with asString() and converted like atoi (a number N reads as "N", a
// numeric string as its leading integer, a fraction as its integer part,
// true/false as 0). An absent key keeps the member's current value, so a
// second InitSetting only overrides what it names.
#include "config/config_text.hpp"
#include "device/device_types.hpp"

namespace {

enum class Conversion {
    non_zero,  // 1 when the integer is non-zero, else 0 (1-byte flags)
    integer,   // the integer itself
    low_byte,  // the integer modulo 256 (-1 gives 255, 256 gives 0)
};

}  // namespace

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::InitSetting(const Json::Value& config) {
    // The switches in the order they are read; the member is either a
    // one-byte flag/byte or an int.
    struct Key {
        const char* name;
        Conversion conversion;
        unsigned char pmbuspower_419::*byte_member;
        int pmbuspower_419::*int_member;
    };
    static const Key keys[] = {
        {"has_ac", Conversion::non_zero, &pmbuspower_419::has_ac, nullptr},
        {"has_dc", Conversion::non_zero, &pmbuspower_419::has_dc, nullptr},
        {"no_dc_number", Conversion::integer, nullptr, &pmbuspower_419::no_dc_number},
        {"ac_line", Conversion::integer, nullptr, &pmbuspower_419::ac_line},
        {"ac_type", Conversion::integer, nullptr, &pmbuspower_419::ac_type},
        {"has_a", Conversion::non_zero, &pmbuspower_419::has_a, nullptr},
        {"has_b", Conversion::non_zero, &pmbuspower_419::has_b, nullptr},
        {"has_c", Conversion::non_zero, &pmbuspower_419::has_c, nullptr},
        {"dc_i_adjust", Conversion::integer, nullptr, &pmbuspower_419::dc_i_adjust},
        {"skip_41_41", Conversion::integer, nullptr, &pmbuspower_419::skip_41_41},
        {"has_tower", Conversion::non_zero, &pmbuspower_419::has_tower, nullptr},
        {"no_42_arg", Conversion::integer, nullptr, &pmbuspower_419::no_42_arg},
        {"no_40_arg", Conversion::integer, nullptr, &pmbuspower_419::no_40_arg},
        {"open_41_43", Conversion::integer, nullptr, &pmbuspower_419::open_41_43},
        {"cg", Conversion::low_byte, &pmbuspower_419::cg, nullptr},
    };

    const Json::Value& app = pxr52::member_of(config, "appSetting");
    if (app.isObject()) {
        for (const Key& k : keys) {
            int v = 0;
            if (!pxr52::read_int_setting(app, k.name, v)) continue;
            switch (k.conversion) {
                case Conversion::non_zero:
                    this->*k.byte_member = v != 0 ? 1 : 0;
                    break;
                case Conversion::integer:
                    this->*k.int_member = v;
                    break;
                case Conversion::low_byte:
                    // Two's complement low byte: the integer modulo 256.
                    this->*k.byte_member = static_cast<unsigned char>(static_cast<unsigned>(v) & 0xFFu);
                    break;
            }
        }
    }
    this->data.data_id.set(this->DataId());
    UniDataDevice<T, PMBusProtocol, ID>::InitSetting(config);
    return 1;  // whatever the threshold loader and the host reader returned
}

template int PowerDevice::InitSetting(const Json::Value&);
