#include "tools/smdhost/catalogue/value_reading.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "device/le_bytes.hpp"

namespace smdcatalogue {

namespace {

bool is_marker(const unsigned char* four) {
    return four[0] == 0xCD && four[1] == 0xCC && four[2] == 0xCC && four[3] == 0xBD;
}

bool test_holds(const CountTest& t, const unsigned char* record) {
    if (!t.used()) return true;
    const unsigned char count = record[t.offset];
    return t.exact ? count == t.value : count >= t.value;
}

// The 7-byte stamp: false when it is no date; `never` when all zero.
bool read_time(const unsigned char* t, std::tm& tm, bool& never) {
    never = true;
    for (int k = 0; k < 7; ++k) never = never && t[k] == 0;
    if (never) return false;
    const int year = t[0] << 8 | t[1];
    if (t[2] < 1 || t[2] > 12 || t[3] < 1 || t[3] > 31 || t[4] > 23 || t[5] > 59 || t[6] > 60)
        return false;
    tm = std::tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = t[2] - 1;
    tm.tm_mday = t[3];
    tm.tm_hour = t[4];
    tm.tm_min = t[5];
    tm.tm_sec = t[6];
    tm.tm_isdst = -1;
    return true;
}

}  // namespace

std::string float_text(float v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[32];
    for (int digits = 6; digits < 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v) return buf;
    }
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

bool is_present(const ValueEntry& entry, const unsigned char* record, std::size_t size) {
    if (record == nullptr || size != kRecordSize) return false;
    if (static_cast<std::size_t>(entry.offset) + entry.width > size) return false;
    for (const CountTest& t : entry.presence)
        if (!test_holds(t, record)) return false;
    return true;
}

Reading read_value(const ValueEntry& entry, const unsigned char* record, std::size_t size) {
    Reading r;
    if (record == nullptr || size != kRecordSize ||
        static_cast<std::size_t>(entry.offset) + entry.width > size)
        return r;
    r.present = is_present(entry, record, size);
    const unsigned char* p = record + entry.offset;
    switch (entry.type) {
        case ValueType::u8:
            r.valid = true;
            r.number = p[0];
            r.text = std::to_string(p[0]);
            break;
        case ValueType::u32: {
            pxr52::le_u32 v;
            std::memcpy(v.b, p, 4);
            r.valid = true;
            r.number = v.get();
            r.text = std::to_string(v.get());
            break;
        }
        case ValueType::f32: {
            const float v = pxr52::load_f32(p);
            if (entry.invalid == InvalidMarker::minus_tenth && is_marker(p)) {
                r.text = "invalid";
                break;
            }
            r.number = v;
            r.valid = std::isfinite(v);
            r.text = float_text(v);
            break;
        }
        case ValueType::time: {
            std::tm tm{};
            bool never = false;
            if (!read_time(p, tm, never)) {
                r.text = never ? "" : "invalid";
                break;
            }
            char buf[32];
            std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02u:%02u:%02u", p[0] << 8 | p[1], p[2],
                          p[3], p[4], p[5], p[6]);
            r.text = buf;
            const std::time_t t = std::mktime(&tm);
            r.valid = t != static_cast<std::time_t>(-1);
            r.number = static_cast<double>(t);
            break;
        }
    }
    return r;
}

}  // namespace smdcatalogue
