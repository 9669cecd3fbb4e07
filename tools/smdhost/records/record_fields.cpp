#include "tools/smdhost/records/record_fields.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include "device/record.hpp"
#include "tools/smdhost/outputs/csv.hpp"
#include "tools/smdhost/outputs/json_events.hpp"

namespace smdfields {

namespace {

using Kind = Node::Kind;

static_assert(sizeof(pxr52_419_Data_t) == kRecordSize, "record size");

// Offsets of the nested structures, from the one layout definition.
constexpr std::size_t kAc = offsetof(pxr52_419_Data_t, acChannel);
constexpr std::size_t kRc = offsetof(pxr52_419_Data_t, rcChannel);
constexpr std::size_t kDc[2] = {offsetof(pxr52_419_Data_t, dc0), offsetof(pxr52_419_Data_t, dc1)};

// Bytes no writer touches; a set one means the record did not come from a
// correct device.
struct Reserved {
    std::size_t offset;
    std::size_t width;
};
const Reserved kReserved[] = {
    {offsetof(pxr52_419_Data_t, reserved0), 4},
    {offsetof(pxr52_419_Data_t, reserved1), 7},
    {kDc[0] + offsetof(dcScreen_t, reserved0), 4},
    {kDc[0] + offsetof(dcScreen_t, reserved1), 7},
    {kDc[1] + offsetof(dcScreen_t, reserved0), 4},
    {kDc[1] + offsetof(dcScreen_t, reserved1), 7},
};

class Walker {
public:
    Walker(const unsigned char* rec, std::vector<std::string>& notes) : rec_(rec), notes_(notes) {}

    Node leaf(Kind kind, const char* name, std::size_t offset, const char* unit = "") const {
        Node n;
        n.kind = kind;
        n.name = name;
        n.unit = unit;
        n.offset = offset;
        switch (kind) {
            case Kind::u8:
                n.integer = rec_[offset];
                n.raw[0] = rec_[offset];
                break;
            case Kind::u32: {
                pxr52::le_u32 v;
                std::memcpy(v.b, rec_ + offset, 4);
                n.integer = v.get();
                std::memcpy(n.raw, rec_ + offset, 4);
                break;
            }
            case Kind::f32:
                std::memcpy(n.raw, rec_ + offset, 4);
                n.real = pxr52::load_f32(n.raw);
                n.invalid = is_invalid_marker(n.raw);
                break;
            case Kind::time:
                std::memcpy(n.raw, rec_ + offset, 7);
                break;
            case Kind::object:
            case Kind::list:
                break;
        }
        return n;
    }

    // A counted array of `capacity` leaves of `width` bytes from `offset`;
    // `count_path` names its count byte in notes. The count byte at
    // `count_offset` is bounded by the capacity; count_offset npos: a fixed
    // array, always full.
    Node list(const char* name, Kind kind, std::size_t offset, std::size_t width, int capacity,
              std::size_t count_offset, const std::string& count_path, const char* unit = "") {
        Node n = counted(name, capacity, count_offset, count_path);
        for (int k = 0; k < capacity; ++k) {
            Node e = leaf(kind, "", offset + static_cast<std::size_t>(k) * width, unit);
            e.present = static_cast<unsigned>(k) < n.count;
            n.items.push_back(std::move(e));
        }
        return n;
    }

    // A count byte whose array has no room at all: only its value can be
    // checked.
    void capacity_zero(std::size_t count_offset, const std::string& count_path) {
        counted("", 0, count_offset, count_path);
    }

    Node counted(const char* name, int capacity, std::size_t count_offset,
                 const std::string& count_path) {
        Node n;
        n.kind = Kind::list;
        n.name = name;
        const unsigned cap = static_cast<unsigned>(capacity);
        if (count_offset == npos) {
            n.count = cap;
            return n;
        }
        const unsigned stored = rec_[count_offset];
        n.count = std::min(stored, cap);
        if (stored > cap)
            notes_.push_back(count_path + " is " + std::to_string(stored) + ", above the capacity " +
                             std::to_string(cap) + ": " + std::to_string(cap) +
                             (cap == 1 ? " value shown" : " values shown"));
        return n;
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

private:
    const unsigned char* rec_;
    std::vector<std::string>& notes_;
};

Node object(const char* name) {
    Node n;
    n.kind = Kind::object;
    n.name = name;
    return n;
}

Node ac_channel(Walker& w, int i) {
    const std::size_t base = kAc + static_cast<std::size_t>(i) * sizeof(acChannel_t);
    const std::string path = "acChannel[" + std::to_string(i) + "].";
    Node n = object("");
    n.items.push_back(w.leaf(Kind::f32, "a", base + offsetof(acChannel_t, a), "V"));
    n.items.push_back(w.leaf(Kind::f32, "b", base + offsetof(acChannel_t, b), "V"));
    n.items.push_back(w.leaf(Kind::f32, "c", base + offsetof(acChannel_t, c), "V"));
    n.items.push_back(w.leaf(Kind::f32, "f", base + offsetof(acChannel_t, f), "Hz"));
    n.items.push_back(w.leaf(Kind::u8, "p40_41_count", base + offsetof(acChannel_t, p40_41_count)));
    w.capacity_zero(base + offsetof(acChannel_t, p40_41_count), path + "p40_41_count");
    n.items.push_back(w.leaf(Kind::u8, "a_alarm", base + offsetof(acChannel_t, a_alarm)));
    n.items.push_back(w.leaf(Kind::u8, "b_alarm", base + offsetof(acChannel_t, b_alarm)));
    n.items.push_back(w.leaf(Kind::u8, "c_alarm", base + offsetof(acChannel_t, c_alarm)));
    n.items.push_back(w.leaf(Kind::u8, "f_alarm", base + offsetof(acChannel_t, f_alarm)));
    n.items.push_back(w.leaf(Kind::u8, "p40_44_count", base + offsetof(acChannel_t, p40_44_count)));
    w.capacity_zero(base + offsetof(acChannel_t, p40_44_count), path + "p40_44_count");
    return n;
}

Node rc_channel(Walker& w, int i) {
    const std::size_t base = kRc + static_cast<std::size_t>(i) * sizeof(rcChannel_t);
    const std::string path = "rcChannel[" + std::to_string(i) + "].";
    Node n = object("");
    n.items.push_back(w.leaf(Kind::f32, "i", base + offsetof(rcChannel_t, i), "A"));
    n.items.push_back(w.leaf(Kind::u8, "p41_41_count", base + offsetof(rcChannel_t, p41_41_count)));
    w.capacity_zero(base + offsetof(rcChannel_t, p41_41_count), path + "p41_41_count");
    n.items.push_back(w.list("sw_state", Kind::u8, base + offsetof(rcChannel_t, sw_state), 1, 3,
                             Walker::npos, ""));
    n.items.push_back(w.leaf(Kind::u8, "p41_43_count", base + offsetof(rcChannel_t, p41_43_count)));
    n.items.push_back(w.list("p41_43", Kind::u8, base + offsetof(rcChannel_t, p41_43), 1,
                             P41_43_SIZE, base + offsetof(rcChannel_t, p41_43_count),
                             path + "p41_43_count"));
    n.items.push_back(w.leaf(Kind::u8, "fault", base + offsetof(rcChannel_t, fault)));
    n.items.push_back(w.leaf(Kind::u8, "p41_44_count", base + offsetof(rcChannel_t, p41_44_count)));
    n.items.push_back(w.list("p41_44", Kind::u8, base + offsetof(rcChannel_t, p41_44), 1,
                             P41_44_SIZE, base + offsetof(rcChannel_t, p41_44_count),
                             path + "p41_44_count"));
    return n;
}

Node dc_screen(Walker& w, int k) {
    const std::size_t base = kDc[k];
    const std::string path = "dc[" + std::to_string(k) + "].";
    auto at = [base](std::size_t member) { return base + member; };
    Node n = object("");
    n.items.push_back(w.leaf(Kind::f32, "dc_v", at(offsetof(dcScreen_t, dc_v)), "V"));
    n.items.push_back(w.leaf(Kind::f32, "dc_i", at(offsetof(dcScreen_t, dc_i)), "A"));
    n.items.push_back(w.leaf(Kind::u8, "m_count", at(offsetof(dcScreen_t, m_count))));
    n.items.push_back(w.list("m", Kind::f32, at(offsetof(dcScreen_t, m)), 4, M_SIZE,
                             at(offsetof(dcScreen_t, m_count)), path + "m_count", "A"));
    n.items.push_back(w.leaf(Kind::u8, "n_count", at(offsetof(dcScreen_t, n_count))));
    n.items.push_back(w.list("n", Kind::f32, at(offsetof(dcScreen_t, n)), 4, N_SIZE,
                             at(offsetof(dcScreen_t, n_count)), path + "n_count", "A"));
    n.items.push_back(w.leaf(Kind::u8, "p_count", at(offsetof(dcScreen_t, p_count))));
    n.items.push_back(w.list("p", Kind::f32, at(offsetof(dcScreen_t, p)), 4, P_SIZE,
                             at(offsetof(dcScreen_t, p_count)), path + "p_count"));
    n.items.push_back(w.leaf(Kind::u8, "dc_v_alarm", at(offsetof(dcScreen_t, dc_v_alarm))));
    n.items.push_back(w.leaf(Kind::u8, "alert_m_count", at(offsetof(dcScreen_t, alert_m_count))));
    n.items.push_back(w.list("alert_m", Kind::u8, at(offsetof(dcScreen_t, alert_m)), 1,
                             ALERT_M_SIZE, at(offsetof(dcScreen_t, alert_m_count)),
                             path + "alert_m_count"));
    n.items.push_back(w.leaf(Kind::u8, "alert_p_count", at(offsetof(dcScreen_t, alert_p_count))));
    n.items.push_back(w.list("alert_p", Kind::u8, at(offsetof(dcScreen_t, alert_p)), 1,
                             ALERT_P_SIZE, at(offsetof(dcScreen_t, alert_p_count)),
                             path + "alert_p_count"));
    return n;
}

// The shortest decimal text that reads back as exactly `v` (2.62f gives
// "2.62", not "2.61999989"); at most 9 significant digits are ever needed.
std::string number_text(float v) {
    char buf[32];
    for (int digits = 6; digits < 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
        if (std::strtof(buf, nullptr) == v) return buf;
    }
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    return buf;
}

// Text of a leaf for text and CSV: floats %.9g, the marker "invalid",
// times as text ("" never stamped).
std::string leaf_text(const Node& n, bool with_unit) {
    switch (n.kind) {
        case Kind::u8:
        case Kind::u32:
            return std::to_string(n.integer);
        case Kind::f32: {
            if (n.invalid) return with_unit ? "invalid (CD CC CC BD)" : "invalid";
            std::string s = number_text(n.real);
            if (with_unit && !n.unit.empty()) s += " " + n.unit;
            return s;
        }
        case Kind::time: {
            std::string t;
            if (!time_text(n.raw, t))
                return with_unit ? "invalid (" + smdevents::hex_upper(n.raw, 7) + ")" : "invalid";
            if (t.empty() && with_unit) return "not stamped";
            return t;
        }
        case Kind::object:
        case Kind::list:
            break;
    }
    return std::string();
}

void json_value(const Node& n, std::string& out) {
    switch (n.kind) {
        case Kind::object: {
            out += '{';
            bool first = true;
            for (const Node& m : n.items) {
                if (!first) out += ',';
                first = false;
                out += smdevents::json_string(m.name);
                out += ':';
                json_value(m, out);
            }
            out += '}';
            break;
        }
        case Kind::list: {
            out += '[';
            bool first = true;
            for (const Node& e : n.items) {
                if (!e.present) continue;
                if (!first) out += ',';
                first = false;
                json_value(e, out);
            }
            out += ']';
            break;
        }
        case Kind::u8:
        case Kind::u32:
            out += std::to_string(n.integer);
            break;
        case Kind::f32:
            if (n.invalid)
                out += "\"invalid\"";
            else if (!std::isfinite(n.real))
                out += smdevents::json_float(n.real);  // "nan", "inf", "-inf"
            else
                out += number_text(n.real);
            break;
        case Kind::time: {
            std::string t;
            if (!time_text(n.raw, t))
                out += "\"invalid\"";
            else if (t.empty())
                out += "null";
            else
                out += smdevents::json_string(t);
            break;
        }
    }
}

// Calls `f(path, leaf, present)` for every leaf in walk order; `present` is
// false below an element beyond its count.
template <class F>
void each_leaf(const Node& n, const std::string& path, bool present, F&& f) {
    if (n.kind == Kind::object) {
        for (const Node& m : n.items)
            each_leaf(m, path.empty() ? m.name : path + "." + m.name, present, f);
    } else if (n.kind == Kind::list) {
        for (std::size_t k = 0; k < n.items.size(); ++k) {
            const Node& e = n.items[k];
            each_leaf(e, path + "[" + std::to_string(k) + "]", present && e.present, f);
        }
    } else {
        f(path, n, present);
    }
}

}  // namespace

bool is_invalid_marker(const unsigned char* four) {
    return four[0] == 0xCD && four[1] == 0xCC && four[2] == 0xCC && four[3] == 0xBD;
}

bool time_text(const unsigned char* t, std::string& out) {
    const unsigned year = static_cast<unsigned>(t[0]) << 8 | t[1];
    bool zero = true;
    for (int k = 0; k < 7; ++k) zero = zero && t[k] == 0;
    if (zero) {
        out.clear();
        return true;
    }
    if (t[2] < 1 || t[2] > 12 || t[3] < 1 || t[3] > 31 || t[4] > 23 || t[5] > 59 || t[6] > 60)
        return false;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u", year, t[2], t[3], t[4], t[5],
                  t[6]);
    out = buf;
    return true;
}

Decoded decode_record(const unsigned char* rec) {
    Decoded d;
    Walker w(rec, d.notes);
    Node& root = d.root;
    root.kind = Kind::object;
    auto add = [&root](Node n) { root.items.push_back(std::move(n)); };
    using R = pxr52_419_Data_t;

    add(w.leaf(Kind::u32, "data_id", offsetof(R, data_id)));
    add(w.leaf(Kind::time, "time", offsetof(R, time)));
    add(w.leaf(Kind::f32, "ia", offsetof(R, ia), "A"));
    add(w.leaf(Kind::f32, "ib", offsetof(R, ib), "A"));
    add(w.leaf(Kind::f32, "ic", offsetof(R, ic), "A"));
    add(w.leaf(Kind::u8, "ia_alarm", offsetof(R, ia_alarm)));
    add(w.leaf(Kind::u8, "ib_alarm", offsetof(R, ib_alarm)));
    add(w.leaf(Kind::u8, "ic_alarm", offsetof(R, ic_alarm)));
    add(w.leaf(Kind::u8, "airlock_count", offsetof(R, airlock_count)));
    add(w.list("airlock", Kind::u8, offsetof(R, airlock), 1, AIRLOCK_MAX, offsetof(R, airlock_count),
               "airlock_count"));
    add(w.leaf(Kind::u8, "p40_43_count", offsetof(R, p40_43_count)));
    w.capacity_zero(offsetof(R, p40_43_count), "p40_43_count");

    add(w.leaf(Kind::u8, "channel_count", offsetof(R, channel_count)));
    Node ac = w.counted("acChannel", CHANNEL_MAX, offsetof(R, channel_count), "channel_count");
    // Notes of a channel beyond the count would describe bytes nobody
    // reported: such channels are walked with a scratch list.
    std::vector<std::string> scratch;
    Walker quiet(rec, scratch);
    for (int i = 0; i < CHANNEL_MAX; ++i) {
        const bool present = static_cast<unsigned>(i) < ac.count;
        Node c = ac_channel(present ? w : quiet, i);
        c.present = present;
        ac.items.push_back(std::move(c));
    }
    add(std::move(ac));

    add(w.leaf(Kind::f32, "rc_v", offsetof(R, rc_v), "V"));
    add(w.leaf(Kind::u8, "rc_count", offsetof(R, rc_count)));
    Node rc = w.counted("rcChannel", RC_MAX, offsetof(R, rc_count), "rc_count");
    for (int i = 0; i < RC_MAX; ++i) {
        const bool present = static_cast<unsigned>(i) < rc.count;
        Node c = rc_channel(present ? w : quiet, i);
        c.present = present;
        rc.items.push_back(std::move(c));
    }
    add(std::move(rc));

    // Both screens are always in the record; a system with one screen leaves
    // the second one zero.
    Node dc;
    dc.kind = Kind::list;
    dc.name = "dc";
    dc.count = 2;
    for (int k = 0; k < 2; ++k) dc.items.push_back(dc_screen(w, k));
    add(std::move(dc));

    add(w.list("p80_42", Kind::f32, offsetof(R, p80_42), 4, 2, Walker::npos, ""));

    for (const Reserved& r : kReserved) {
        for (std::size_t k = 0; k < r.width; ++k) {
            if (rec[r.offset + k] == 0) continue;
            d.notes.push_back("reserved bytes at offsets " + std::to_string(r.offset) + " to " +
                              std::to_string(r.offset + r.width - 1) + " are not zero: " +
                              smdevents::hex_upper(rec + r.offset, r.width));
            break;
        }
    }
    std::string t;
    if (!time_text(rec + offsetof(R, time), t))
        d.notes.push_back("time bytes " + smdevents::hex_upper(rec + offsetof(R, time), 7) +
                          " are not a date and time");
    return d;
}

std::string to_json(const Decoded& d) {
    std::string out;
    json_value(d.root, out);
    if (!d.notes.empty()) {
        out.pop_back();  // the closing brace
        out += ",\"notes\":[";
        for (std::size_t k = 0; k < d.notes.size(); ++k) {
            if (k != 0) out += ',';
            out += smdevents::json_string(d.notes[k]);
        }
        out += "]}";
    }
    return out;
}

std::string to_text(const Decoded& d, const std::string& indent) {
    std::vector<std::pair<std::string, std::string>> rows;
    std::size_t width = 0;
    each_leaf(d.root, std::string(), true,
              [&](const std::string& path, const Node& leaf, bool present) {
        if (!present) return;
        rows.emplace_back(path, leaf_text(leaf, true));
        width = std::max(width, path.size());
    });
    std::string out;
    for (const auto& r : rows)
        out += indent + r.first + std::string(width + 2 - r.first.size(), ' ') + r.second + "\n";
    for (const auto& n : d.notes) out += indent + "note: " + n + "\n";
    return out;
}

std::string csv_header(const Decoded& d) {
    std::string out;
    each_leaf(d.root, std::string(), true, [&](const std::string& path, const Node&, bool) {
        if (!out.empty()) out += ',';
        out += smdcsv::cell(path);
    });
    return out;
}

std::string csv_row(const Decoded& d) {
    std::string out;
    bool first = true;
    each_leaf(d.root, std::string(), true,
              [&](const std::string&, const Node& leaf, bool present) {
        if (!first) out += ',';
        first = false;
        if (present) out += smdcsv::cell(leaf_text(leaf, false));
    });
    return out;
}

}  // namespace smdfields
