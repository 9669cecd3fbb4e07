// Where the values of a published record came from. A round that lost both
// its DC alarm reply and the next AC analog command is completed by the next
// cycle's replies, so its record may hold values of either cycle; what it
// may never hold is a value that no accepted reply of those cycles carried
// (a refused reply's, or one older than the window). The check compares the
// record field by field with the records the window's clean cycles publish
// and with what their rectifier analog replies write.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "device/record.hpp"

namespace testing_support {

struct RecordField {
    std::size_t offset;
    std::size_t size;
};

// Every value of the record: the 32-bit numbers whole, every other byte on
// its own. The publication time stamp is no reply's value and is left out.
inline const std::vector<RecordField>& record_fields() {
    static const std::vector<RecordField> fields = [] {
        static pxr52_419_Data_t r{};
        std::vector<std::size_t> width(sizeof r, 1);
        auto wide = [&](const void* p) {
            width[static_cast<std::size_t>(static_cast<const unsigned char*>(p) - r.bytes())] = 4;
        };
        wide(&r.data_id);
        wide(&r.ia);
        wide(&r.ib);
        wide(&r.ic);
        for (const acChannel_t& c : r.acChannel)
            for (const le_f32* v : {&c.a, &c.b, &c.c, &c.f}) wide(v);
        wide(&r.rc_v);
        for (const rcChannel_t& c : r.rcChannel) wide(&c.i);
        for (int k = 0; k < 2; ++k) {
            const dcScreen_t& s = r.dc(k);
            wide(&s.dc_v);
            wide(&s.dc_i);
            for (const le_f32& v : s.m) wide(&v);
            for (const le_f32& v : s.n) wide(&v);
            for (const le_f32& v : s.p) wide(&v);
        }
        for (const le_f32& v : r.p80_42) wide(&v);
        const std::size_t time = static_cast<std::size_t>(r.time - r.bytes());
        std::vector<RecordField> out;
        for (std::size_t k = 0; k < sizeof r; k += width[k])
            if (k < time || k >= time + sizeof r.time) out.push_back({k, width[k]});
        return out;
    }();
    return fields;
}

// The values a cycle's 0x41/0x42 reply writes, given the record that cycle
// publishes: that reply writes the whole rectifier table, so after a later
// one every switch and alarm byte of a rectifier is zero until the switch
// and alarm replies are decoded again.
inline pxr52_419_Data_t rectifier_analog_writes(const pxr52_419_Data_t& rec) {
    pxr52_419_Data_t out = rec;
    for (rcChannel_t& c : out.rcChannel) {
        const le_f32 current = c.i;
        std::memset(&c, 0, sizeof c);
        c.i = current;
    }
    return out;
}

// The first field of `rec` whose value is that field's value in none of the
// `window` records; nullptr when every value is found there.
inline const RecordField* foreign_field(const unsigned char* rec,
                                        const std::vector<const unsigned char*>& window) {
    for (const RecordField& f : record_fields()) {
        bool found = false;
        for (const unsigned char* w : window)
            found = found || std::memcmp(rec + f.offset, w + f.offset, f.size) == 0;
        if (!found) return &f;
    }
    return nullptr;
}

}  // namespace testing_support
