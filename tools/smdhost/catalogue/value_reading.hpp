// Reading one catalogue value out of a record: bounded, byte copies,
// little-endian, whatever the record's bytes hold.
#pragma once

#include <cstddef>
#include <string>

#include "tools/smdhost/catalogue/value_entry.hpp"

namespace smdcatalogue {

struct Reading {
    // The record holds the entry (it is long enough) and the count bytes
    // cover the instance.
    bool present = false;
    // A number: not the invalid marker, not NaN or infinite, for a time a
    // date and time (not all zero). Entries whose invalid readings become
    // 0.0 read as valid 0.
    bool valid = false;
    // u8, u32, f32: the value; time: seconds since the epoch, the stamp
    // read as local time.
    double number = 0.0;
    // For people and text outputs: the shortest decimal text that reads
    // back as the same float, "invalid" for the marker, "nan", "inf",
    // "-inf"; a time as YYYY-MM-DDTHH:MM:SS, "" when never stamped,
    // "invalid" when the bytes are no date. Filled whether present or not;
    // "" when the record is too short to hold the value.
    std::string text;
};

// Whether the count bytes cover the entry's instance; false for a record
// shorter than kRecordSize.
bool is_present(const ValueEntry& entry, const unsigned char* record, std::size_t size);

// The entry's value in `record` (`size` bytes; anything but kRecordSize
// bytes reads as not present). A value beyond its count is still read
// (present false): the bytes are there, only nobody reported them.
Reading read_value(const ValueEntry& entry, const unsigned char* record, std::size_t size);

// The shortest decimal text that reads back as exactly `v` (2.62f gives
// "2.62"); "nan", "inf", "-inf" for non-finite values.
std::string float_text(float v);

}  // namespace smdcatalogue
