// The 1257-byte data record as the signal catalogue's named values: what
// `smdhost decode` and `smdhost history` show, and what the history store
// keeps per record in its values table.
//
// Values are read through the catalogue (value_reading.hpp): bounded byte
// copies, whatever the record holds. A value is "reported" when the count
// bytes of the record cover it (rect.12.* needs rect.count >= 12); by default
// only reported values are shown, with `all` every value up to the record's
// capacities, as stored. Counts come from outside (a stored record, pasted
// hex): none ever takes a reading past its array, and one above its capacity
// is told as a note.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/smdhost/catalogue/value_entry.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"

namespace smdrecords {

constexpr std::size_t kRecordSize = smdcatalogue::kRecordSize;

// The catalogue entries a listing may show, in record order. With an empty
// list of patterns, every entry. False, with the message in `error`, when a
// pattern matches no name; the message names the pattern (and the nearest
// name where it has no wildcard).
bool select_columns(const std::string& patterns, std::vector<const smdcatalogue::ValueEntry*>& out,
                    std::string& error);

struct NamedValue {
    const smdcatalogue::ValueEntry* entry = nullptr;
    smdcatalogue::Reading reading;
    bool shown = false;  // reported by the record, or every value was asked for
};

struct RecordValues {
    std::vector<NamedValue> values;  // one per column given, in that order
    std::vector<std::string> notes;  // counts above capacity, reserved bytes set, a time that is no date
};

// The values of `columns` in `record` (exactly kRecordSize bytes); shown are
// those the record reports, or with `all` every one of them.
RecordValues read_record(const unsigned char* record,
                         const std::vector<const smdcatalogue::ValueEntry*>& columns, bool all);

// The shown values only. One JSON object on one line:
//   {"values":{"record.data_id":1,"ac.1.a":230.5,...},"units":{"ac.1.a":"V",...},"notes":[]}
// Numbers as the shortest text that reads back as the same float; the
// invalid-value marker "invalid", non-finite floats "nan"/"inf"/"-inf"; the
// time stamp as text, null when never stamped, "invalid" when no date.
// "units" holds the values that have one.
std::string to_json(const RecordValues& v);

// One "name  value unit" line per shown value, each starting with
// `indent`, then the notes.
std::string to_text(const RecordValues& v, const std::string& indent = std::string());

// CSV cells, one per column: the value's text without its unit, an empty
// cell where the value is not shown.
std::string csv_cells(const RecordValues& v);
// The heading of each column: "dc.1.voltage [V]", a bare name without a unit.
std::string csv_headings(const std::vector<const smdcatalogue::ValueEntry*>& columns);

}  // namespace smdrecords
