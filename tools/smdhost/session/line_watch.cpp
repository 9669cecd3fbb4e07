#include "tools/smdhost/session/line_watch.hpp"

#include "host/sim_clock.hpp"
#include "tools/smdhost/observer/report_text.hpp"

namespace smdsession {

LineWatch::LineWatch(smdevents::EventHub& hub, PMBusProtocol& protocol, bool dissect)
    : hub_(hub),
      protocol_(protocol),
      observer_(smdhost::sim_clock::now(), this),
      tap_(observer_, &smdhost::sim_clock::now) {
    if (dissect) tap_.set_dissection([this](const std::string& text) { hub_.frame_dissected(text); });
    protocol_.frame_tap = &tap_;
}

LineWatch::~LineWatch() {
    if (protocol_.frame_tap == &tap_) protocol_.frame_tap = nullptr;
}

void LineWatch::bytes(std::size_t n) { observer_.bytes(smdhost::sim_clock::now(), n); }

void LineWatch::tick() { observer_.tick(smdhost::sim_clock::now()); }

void LineWatch::published() {
    if (!loading_) observer_.publish(smdhost::sim_clock::now());
}

void LineWatch::finish() {
    if (finished_) return;
    finished_ = true;
    observer_.finish(smdhost::sim_clock::now());
    smdobserver::LineTotals totals = observer_.totals();
    totals.alarms_active = static_cast<int>(protocol_.active_alarms.size());
    if (no_device_ != nullptr) totals.no_device = *no_device_;
    hub_.line_summary(totals);
}

std::string LineWatch::round_label() const {
    if (loading_) return "record loaded from cache";
    return observer_.in_cycle() ? smdobserver::cycle_header(observer_.cycle_number())
                                : std::string("record");
}

}  // namespace smdsession
