#include "tools/smdhost/records/record_values.hpp"

#include <algorithm>
#include <map>

#include <json/writer.h>

#include "device/record.hpp"
#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/name_filter.hpp"
#include "tools/smdhost/outputs/csv.hpp"

namespace smdrecords {

namespace {

namespace cat = smdcatalogue;

std::string json_string(const std::string& s) { return Json::valueToQuotedString(s.c_str()); }

static_assert(sizeof(pxr52_419_Data_t) == kRecordSize, "record size");

// Bytes no writer touches; a set one means the record did not come from a
// correct device.
struct Reserved {
    std::size_t offset;
    std::size_t width;
};
constexpr std::size_t kDc0 = offsetof(pxr52_419_Data_t, dc0);
constexpr std::size_t kDc1 = offsetof(pxr52_419_Data_t, dc1);
const Reserved kReserved[] = {
    {offsetof(pxr52_419_Data_t, reserved0), 4},
    {offsetof(pxr52_419_Data_t, reserved1), 7},
    {kDc0 + offsetof(dcScreen_t, reserved0), 4},
    {kDc0 + offsetof(dcScreen_t, reserved1), 7},
    {kDc1 + offsetof(dcScreen_t, reserved0), 4},
    {kDc1 + offsetof(dcScreen_t, reserved1), 7},
};

// A count byte of the record and how many values it can announce: the
// largest count any entry's presence needs from it (0 for counts whose
// values the record keeps none of).
struct CountByte {
    const cat::ValueEntry* entry;
    unsigned capacity;
};

const std::vector<CountByte>& count_bytes() {
    static const std::vector<CountByte> counts = [] {
        const cat::Catalogue& c = cat::Catalogue::get();
        std::map<std::size_t, unsigned> capacity;
        for (const cat::ValueEntry& v : c.values())
            for (const cat::CountTest& t : v.presence)
                if (t.used()) capacity[t.offset] = std::max<unsigned>(capacity[t.offset], t.value);
        std::vector<CountByte> out;
        const std::string leaf = ".count";
        for (const cat::ValueEntry& v : c.values()) {
            if (v.name.size() < leaf.size() ||
                v.name.compare(v.name.size() - leaf.size(), leaf.size(), leaf) != 0)
                continue;
            const auto it = capacity.find(v.offset);
            out.push_back({&v, it == capacity.end() ? 0u : it->second});
        }
        return out;
    }();
    return counts;
}

void add_notes(const unsigned char* record, std::vector<std::string>& notes) {
    // A count of an instance the record does not report describes bytes
    // nobody reported: only the counts that are themselves reported.
    for (const CountByte& c : count_bytes()) {
        if (!cat::is_present(*c.entry, record, kRecordSize)) continue;
        const unsigned stored = record[c.entry->offset];
        if (stored <= c.capacity) continue;
        notes.push_back(c.entry->name + " is " + std::to_string(stored) + ", above the capacity " +
                        std::to_string(c.capacity) + ": " + std::to_string(c.capacity) +
                        (c.capacity == 1 ? " value shown" : " values shown"));
    }
    for (const Reserved& r : kReserved) {
        for (std::size_t k = 0; k < r.width; ++k) {
            if (record[r.offset + k] == 0) continue;
            notes.push_back("reserved bytes at offsets " + std::to_string(r.offset) + " to " +
                            std::to_string(r.offset + r.width - 1) + " are not zero: " +
                            hexcodec::upper(record + r.offset, r.width));
            break;
        }
    }
    const cat::ValueEntry* time = cat::Catalogue::get().find_value("record.time");
    if (time != nullptr && cat::read_value(*time, record, kRecordSize).text == "invalid")
        notes.push_back("time bytes " + hexcodec::upper(record + time->offset, time->width) +
                        " are not a date and time");
}

std::string json_of(const NamedValue& v) {
    const cat::Reading& r = v.reading;
    switch (v.entry->type) {
        case cat::ValueType::u8:
        case cat::ValueType::u32:
            return r.text;
        case cat::ValueType::f32:
            // "invalid", "nan", "inf", "-inf" are strings; numbers stay numbers.
            return r.valid ? r.text : json_string(r.text);
        case cat::ValueType::time:
            return r.text.empty() ? std::string("null") : json_string(r.text);
    }
    return "null";
}

// For people: the unit after the number, what an invalid or unset reading
// is (a time that is no date has its bytes in a note).
std::string text_of(const NamedValue& v) {
    const cat::Reading& r = v.reading;
    if (v.entry->type == cat::ValueType::time) return r.text.empty() ? "not stamped" : r.text;
    if (v.entry->type == cat::ValueType::f32 && r.text == "invalid") return "invalid (CD CC CC BD)";
    return v.entry->unit.empty() || !r.valid ? r.text : r.text + " " + v.entry->unit;
}

}  // namespace

bool select_columns(const std::string& patterns, std::vector<const cat::ValueEntry*>& out,
                    std::string& error) {
    const cat::Catalogue& c = cat::Catalogue::get();
    const cat::NameFilter filter(patterns);
    std::vector<std::string> unmatched;
    out = c.select_values(filter, &unmatched);
    if (unmatched.empty()) return true;
    const std::string& p = unmatched.front();
    error = "--fields: '" + p + "' matches no value name";
    const std::string near =
        p.find_first_of("*?[") == std::string::npos ? c.nearest_value_name(p) : std::string();
    error += near.empty() ? std::string(" (smdhost signals lists them)") : "; did you mean " + near + "?";
    return false;
}

RecordValues read_record(const unsigned char* record, const std::vector<const cat::ValueEntry*>& columns,
                         bool all) {
    RecordValues out;
    out.values.reserve(columns.size());
    for (const cat::ValueEntry* e : columns) {
        NamedValue v;
        v.entry = e;
        v.reading = cat::read_value(*e, record, kRecordSize);
        v.shown = all || v.reading.present;
        out.values.push_back(std::move(v));
    }
    add_notes(record, out.notes);
    return out;
}

std::string to_json(const RecordValues& v) {
    std::string values, units;
    for (const NamedValue& n : v.values) {
        if (!n.shown) continue;
        const std::string name = json_string(n.entry->name);
        values += (values.empty() ? "" : ",") + name + ":" + json_of(n);
        if (!n.entry->unit.empty())
            units += (units.empty() ? "" : ",") + name + ":" + json_string(n.entry->unit);
    }
    std::string notes;
    for (const std::string& note : v.notes)
        notes += (notes.empty() ? "" : ",") + json_string(note);
    return "{\"values\":{" + values + "},\"units\":{" + units + "},\"notes\":[" + notes + "]}";
}

std::string to_text(const RecordValues& v, const std::string& indent) {
    std::size_t width = 0;
    for (const NamedValue& n : v.values)
        if (n.shown) width = std::max(width, n.entry->name.size());
    std::string out;
    for (const NamedValue& n : v.values) {
        if (!n.shown) continue;
        out += indent + n.entry->name + std::string(width + 2 - n.entry->name.size(), ' ') +
               text_of(n) + "\n";
    }
    for (const std::string& note : v.notes) out += indent + "note: " + note + "\n";
    return out;
}

std::string csv_cells(const RecordValues& v) {
    smdcsv::Row row;
    for (const NamedValue& n : v.values) row.add(n.shown ? n.reading.text : std::string());
    return row.str();
}

std::string csv_headings(const std::vector<const cat::ValueEntry*>& columns) {
    smdcsv::Row row;
    for (const cat::ValueEntry* e : columns) row.add(cat::heading(*e));
    return row.str();
}

}  // namespace smdrecords
