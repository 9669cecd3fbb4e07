// One value of the 1257-byte data record as the signal catalogue names it.
//
// Naming: lower-case segments joined by dots, from the general to the
// particular: the section ("record", "ac", "rect", "dc", "model"), then the
// instance number counted from 1 where the section has several (AC input,
// rectifier module, DC screen), then the quantity, then again an instance
// number for arrays inside the instance: "ac.1.a" (phase A voltage of AC
// input 1), "ac.current.a", "rect.12.current", "rect.12.fault",
// "dc.1.voltage", "dc.1.battery.2.current", "dc.1.fuse.4". Count bytes are
// the "count" leaf of the array they count ("rect.count",
// "dc.1.fuse.count"), alarm-state bytes sit under "alarm"
// ("ac.1.alarm.a"), user-defined arrays are "user_value", "user_switch",
// "user_alarm". No name is a prefix of another name plus a dot, so the
// names also nest as a tree (a JSON object, MQTT topics). Names are stable:
// they follow the record layout, which is an external format and fixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace smdcatalogue {

constexpr std::size_t kRecordSize = 1257;

enum class ValueType : std::uint8_t {
    u8,    // one unsigned byte (counts, state and alarm bytes)
    u32,   // unsigned 32-bit, little-endian
    f32,   // IEEE-754 single precision, little-endian, possibly unaligned
    time,  // 7 bytes: year (big-endian 16-bit), month, day, hour, minute, second, local time
};

// How the record stores a reading the power system reported invalid.
enum class InvalidMarker : std::uint8_t {
    none,           // no invalid test: the value is kept as received
    zero,           // stored as 0.0, which cannot be told from a true zero
    zero_captured,  // 0.0 when captured (the shipped device); kept as received when polled
    minus_tenth,    // stored as the marker -0.1 (bytes CD CC CC BD)
};

// A test on a count byte of the record: record[offset] >= value, or
// == value when `exact`. `value` 0 with `exact` false: no test.
struct CountTest {
    std::uint16_t offset = 0;
    std::uint8_t value = 0;
    bool exact = false;

    bool used() const { return value != 0 || exact; }
};

struct ValueEntry {
    std::string name;         // "rect.12.current"
    std::string unit;         // "V", "A", "Hz" or "" (counts, states, plain numbers, time)
    std::uint16_t offset = 0; // first byte within the record
    std::uint8_t width = 0;   // bytes
    ValueType type = ValueType::u8;
    InvalidMarker invalid = InvalidMarker::none;
    std::string description;  // English, one line
    std::string field;        // the record member it is: "rcChannel[11].i"
    // Present in a record when every used test holds: the count bytes that
    // cover this instance (its module within rect.count, its byte within the
    // module's count). No test: always present.
    CountTest presence[2];
    // Prometheus: metric name (prefix pxr52_, unit suffix) and labels, one
    // per instance number and per fixed qualifier (phase).
    std::string metric;
    std::vector<std::pair<std::string, std::string>> labels;
    std::size_t family = 0;   // index into Catalogue::value_families()
};

// The entries made from one row of the layout table: one per instance.
struct ValueFamily {
    std::string pattern;      // "rect.M.current"
    std::string description;  // "output current of rectifier module M"
    std::string instances;    // "M = module 1 to 40" ("" for a single value)
    std::vector<std::size_t> members;  // indices into Catalogue::values(), record order
};

const char* type_name(ValueType type);        // "u8", "u32", "f32", "time"
const char* invalid_name(InvalidMarker marker);  // "none", "zero", "zero-captured", "marker"
// English, for people: what an invalid reading becomes.
const char* invalid_description(InvalidMarker marker);

// The MQTT topic of a value below the output's root: "value/" + name.
std::string mqtt_topic(const ValueEntry& entry);

// `metric{label="value",...}` ("metric" alone without labels), label values
// escaped as the Prometheus text format wants.
std::string prometheus_series(const ValueEntry& entry);

// A CSV column heading: "dc.1.voltage [V]", or the bare name without a unit.
std::string heading(const ValueEntry& entry);

}  // namespace smdcatalogue
