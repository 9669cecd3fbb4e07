// pmbuspower_419::Get_Value: one named value computed from the published
// record, for the host's look-ups between rounds.
//
// Contract: returns the value, or throws std::out_of_range whose what() is
//   "数据未就绪"  no record has been published or loaded yet (data_valid != 1),
//   "数据已超时"  the last publication is 61 seconds old or older,
//   "不支持变量"  the name is not one of the names below;
// checked in that order, so a stale device answers an unknown name with the
// age text. Reads the record and the host members without a lock and changes
// nothing.
#include <cstdint>
#include <iostream>
#include <stdexcept>

#include "device/device_types.hpp"
#include "device/local_clock.hpp"

namespace {

// A record answers look-ups for ages 0..60 s after its RoundDone. A negative
// age (the clock was set back) still counts as fresh.
constexpr std::int64_t kMaxAgeSeconds = 61;

// Mains considered absent on a phase below this voltage (V). Compared in
// single precision, strictly; a NaN reading is not below it.
constexpr float kMainsAbsentBelow = 150.0f;

// "ac", "ac1", "ac2": 1.0 when every phase voltage (a, b, c) of the AC
// channels first..last is below kMainsAbsentBelow, else 0.0.
struct MainsAbsentName {
    const char* name;
    int first_channel;
    int last_channel;
};
constexpr MainsAbsentName kMainsAbsentNames[] = {
    {"ac", 0, 1},
    {"ac1", 0, 0},
    {"ac2", 1, 1},
};

bool phases_below(const acChannel_t& ch) {
    // Stops at the first phase that fails, in the order a, b, c.
    return ch.a.get() < kMainsAbsentBelow && ch.b.get() < kMainsAbsentBelow &&
           ch.c.get() < kMainsAbsentBelow;
}

}  // namespace

template <class T, unsigned int ID>
float pmbuspower_419<T, ID>::Get_Value(unsigned int id, const std::string& name) const {
    (void)id;  // every name has one value, whatever the id
    std::cout << "in pmbuspower_419 Get_Value\n";
    if (this->data_valid != 1) throw std::out_of_range("数据未就绪");
    if (pxr52::seconds_since(this->last_update) >= kMaxAgeSeconds)
        throw std::out_of_range("数据已超时");

    if (name == "out_v") return this->data.dc(0).dc_v.get();
    for (const MainsAbsentName& entry : kMainsAbsentNames) {
        if (name != entry.name) continue;
        for (int k = entry.first_channel; k <= entry.last_channel; ++k)
            if (!phases_below(this->data.acChannel[k])) return 0.0f;
        return 1.0f;
    }
    throw std::out_of_range("不支持变量");
}

template float PowerDevice::Get_Value(unsigned int, const std::string&) const;
