#include "tools/smdhost/catalogue/alarm_entry.hpp"

namespace smdcatalogue {

namespace {

bool need_holds(Need need, bool value) {
    return need == Need::any || (need == Need::set) == value;
}

}  // namespace

const char* kind_name(SignalKind kind) {
    switch (kind) {
        case SignalKind::alarm: return "alarm";
        case SignalKind::threshold: return "threshold";
        case SignalKind::report: return "report";
    }
    return "?";
}

std::uint8_t mode_bit(int b_mode) {
    switch (b_mode) {
        case 1: return kMode1;
        case 2: return kMode2;
        case 3: return kMode3;
        case 5: return kMode5;
        default: return kModeOther;
    }
}

std::vector<std::string> mode_names(std::uint8_t modes) {
    std::vector<std::string> out;
    if ((modes & kMode1) != 0) out.emplace_back("1");
    if ((modes & kMode2) != 0) out.emplace_back("2");
    if ((modes & kMode3) != 0) out.emplace_back("3");
    if ((modes & kMode5) != 0) out.emplace_back("5");
    if ((modes & kModeOther) != 0) out.emplace_back("other");
    return out;
}

bool applies(const When& w, const Situation& s) {
    if ((w.modes & mode_bit(s.b_mode)) == 0) return false;
    if (!need_holds(w.has_ac, s.has_ac) || !need_holds(w.has_dc, s.has_dc) ||
        !need_holds(w.has_a, s.has_a) || !need_holds(w.has_b, s.has_b) ||
        !need_holds(w.has_c, s.has_c) || !need_holds(w.ac_type_zero, s.ac_type == 0))
        return false;
    const std::uint8_t line = s.ac_line == 1 ? kLine1 : s.ac_line == 2 ? kLine2 : kLineOther;
    if ((w.ac_lines & line) == 0) return false;
    if (w.two_screens && s.dc_number <= 1) return false;
    if (w.level && !s.levels) return false;
    if (w.due && !s.due) return false;
    if (s.record != nullptr) {
        for (const CountTest& t : w.counts) {
            if (!t.used()) continue;
            const unsigned char count = s.record[t.offset];
            if (t.exact ? count != t.value : count < t.value) return false;
        }
    }
    return true;
}

}  // namespace smdcatalogue
