// The 1257-byte data record as named fields: one walk over the layout that
// `smdhost decode` and `smdhost history` share.
//
// The walk builds a tree that mirrors the record: top-level fields, the AC
// channels, the rectifiers, the two DC screens, with every counted array at
// its full capacity. An element beyond the array's count byte is marked not
// present: the JSON and text forms leave it out, CSV leaves its cell empty,
// so every CSV row has the same columns. Counts are bytes from outside (a
// stored record, a pasted hex string): no count ever makes the walk read past
// its array; a count above the capacity is reported as a note.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace smdfields {

constexpr std::size_t kRecordSize = 1257;

// Bytes CD CC CC BD: the marker (-0.1f) a capture stores for a reading the
// power system reported invalid.
bool is_invalid_marker(const unsigned char* four);

struct Node {
    enum class Kind { object, list, u8, u32, f32, time };

    Kind kind = Kind::object;
    std::string name;          // member name; "" for a list element
    std::string unit;          // f32 leaves: "V", "A", "Hz" or ""
    std::size_t offset = 0;    // leaves: record offset of the first byte
    bool present = true;       // false: list element beyond the count byte
    unsigned count = 0;        // list: elements present (count byte bounded by capacity)
    std::vector<Node> items;   // object members, list elements

    // Leaf values, read from the record.
    std::uint32_t integer = 0;  // u8, u32
    float real = 0.0f;          // f32
    bool invalid = false;       // f32: the invalid marker
    unsigned char raw[7] = {0, 0, 0, 0, 0, 0, 0};  // bytes as stored (f32 4, time 7)
};

struct Decoded {
    Node root;                        // kind object
    std::vector<std::string> notes;   // counts above capacity, reserved bytes set
};

// Walks a record of exactly kRecordSize bytes.
Decoded decode_record(const unsigned char* record);

// The 7-byte time stamp (year big-endian 16-bit, month, day, hour, minute,
// second) as "YYYY-MM-DDTHH:MM:SS"; "" when all seven bytes are zero (never
// stamped); false when the bytes do not form a date and time.
bool time_text(const unsigned char* seven, std::string& out);

// One JSON object on one line: nested like the record, floats as the
// shortest text that reads back as the same float, the invalid marker as "invalid", non-finite floats as
// "nan"/"inf"/"-inf", the time as text (null when never stamped), plus
// "notes" when there are any.
std::string to_json(const Decoded& d);

// One "path  value" line per present field (path like dc[0].m[1]), each line
// starting with `indent`, then the notes.
std::string to_text(const Decoded& d, const std::string& indent = std::string());

// CSV: the header of every field column (same for every record), and one row
// of values (empty cells for elements beyond their count).
std::string csv_header(const Decoded& d);
std::string csv_row(const Decoded& d);

}  // namespace smdfields
