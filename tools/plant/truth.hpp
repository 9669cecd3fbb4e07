// The record a correct capture publishes for a round of replies in the
// capture layouts (ReplyLayout::capture()), built from the plant's state
// alone: the decoders are not consulted.
//
// What a capture makes of the replies:
//   - fixed-point values become code / 100 in single precision (DC user
//     values code / 1); a code whose two bytes are equal and non-zero is the
//     invalid marker and becomes 0.0, or -0.1 for the AC phase currents and
//     the DC user values;
//   - counts are clipped to the record's capacities (battery groups 2,
//     branches 20, user values 9, fuse bytes 42, user DC alarms 5, rectifier
//     user switch 1 and user alarms 7) and only the values that fit are kept;
//   - user-defined AC values, switches and alarms and the rectifiers' analog
//     user values have no room: their counts are stored as 0;
//   - a second screen that the plant does not have stays zero, as do the
//     time stamp (the publisher stamps it), the 0x80/0x42 values and every
//     reserved byte.
#pragma once

#include <string>

#include "device/record.hpp"
#include "tools/plant/plant_model.hpp"

namespace plant {

pxr52_419_Data_t truth_record(const PlantState& state, unsigned data_id);

// Upper-case hex of a record's 1257 bytes.
std::string record_hex(const pxr52_419_Data_t& record);

}  // namespace plant
