#include "tools/smdhost/outputs/record_count.hpp"

#include "host/sim_clock.hpp"
#include "tools/smdhost/observer/event_time.hpp"

namespace smdevents {

namespace {

constexpr int kRecordType = 5535;  // the data record's type in SendSP

}  // namespace

void RecordCount::host_event(const smdhost::HostEvent& e) {
    if (e.kind != smdhost::HostEvent::Kind::publish || e.code != kRecordType) return;
    ++records_;
    last_ = smdhost::sim_clock::now();
}

std::string RecordCount::text() const {
    if (records_ == 0) return "no record yet";
    return std::to_string(records_) + (records_ == 1 ? " record" : " records") + ", the last at " +
           smdobserver::iso_time(last_);
}

}  // namespace smdevents
