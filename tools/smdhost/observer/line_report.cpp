#include "tools/smdhost/observer/line_report.hpp"

namespace smdobserver {

const char* pair_status_name(PairStatus status) {
    switch (status) {
        case PairStatus::ok: return "ok";
        case PairStatus::bad_frame: return "bad_frame";
        case PairStatus::no_response: return "no_response";
        case PairStatus::not_asked: return "not_asked";
    }
    return "unknown";
}

unsigned long long FaultCounts::total() const {
    unsigned long long sum = 0;
    for (auto v : n) sum += v;
    return sum;
}

FaultCounts& FaultCounts::operator+=(const FaultCounts& other) {
    for (std::size_t k = 0; k < n.size(); ++k) n[k] += other.n[k];
    return *this;
}

std::string LinePosition::text() const {
    if (!file.empty()) return file + ":" + std::to_string(line);
    return "byte " + std::to_string(offset);
}

const char* cycle_end_name(CycleEnd end) {
    switch (end) {
        case CycleEnd::dc_alarm_response: return "42/44 response";
        case CycleEnd::restart: return "40/42 command";
        case CycleEnd::next_cycle: return "next cycle";
        case CycleEnd::end_of_input: return "end of input";
    }
    return "unknown";
}

}  // namespace smdobserver
