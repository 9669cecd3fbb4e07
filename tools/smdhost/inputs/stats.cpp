#include "tools/smdhost/inputs/stats.hpp"

#include <iostream>
#include <vector>

#include <unistd.h>

#include "host/pmbus_protocol.hpp"
#include "host/sim_clock.hpp"
#include "tools/smdhost/inputs/input_set.hpp"
#include "tools/smdhost/inputs/replay.hpp"
#include "tools/smdhost/inputs/scenario_reader.hpp"
#include "tools/smdhost/observer/event_time.hpp"
#include "tools/smdhost/observer/line_observer.hpp"
#include "tools/smdhost/observer/observer_tap.hpp"
#include "tools/smdhost/observer/report_json.hpp"
#include "tools/smdhost/observer/report_text.hpp"
#include "tools/smdhost/session/output.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdstats {

namespace {

using smdscenario::Directive;
using smdscenario::ScenarioReader;

// The host's protocol engine with no device behind it: it frames the line
// for the tap and takes every frame.
class LineOnly : public PMBusProtocol {
public:
    int process_payload() override { return 1; }
};

struct Run {
    LineOnly line;
    smdobserver::LineObserver observer{smdhost::sim_clock::now()};
    smdobserver::ObserverTap tap{observer, &smdhost::sim_clock::now};

    Run() {
        line.accept_lf_eoi = true;  // as replay: captures edited as text
        line.frame_tap = &tap;
    }
    void hear(std::vector<unsigned char>& bytes) {
        observer.bytes(smdhost::sim_clock::now(), bytes.size());
        line.process(bytes.data(), static_cast<unsigned>(bytes.size()));
    }
};

int fail(int status, const std::string& message) {
    std::cerr << "smdhost: " << message << std::endl;
    return status;
}

int read_scenarios(Run& run, std::vector<smdinput::Input>& inputs) {
    double clock = smdhost::sim_clock::now();
    for (auto& in : inputs) {
        ScenarioReader reader(*in.file, in.file->name(), smdinput::folder_for(in));
        Directive d;
        std::string error;
        for (;;) {
            const auto st = reader.next(d, clock, true, error);
            if (st == ScenarioReader::Status::end) break;
            if (st == ScenarioReader::Status::malformed) return fail(smdsession::kExitUsage, error);
            if (st == ScenarioReader::Status::read_error)
                return fail(smdsession::kExitFailure, error);
            switch (d.kind) {
                case Directive::Kind::frame:
                case Directive::Kind::raw:
                    run.tap.at_line(reader.name(), reader.line());
                    run.hear(d.bytes);
                    break;
                case Directive::Kind::advance:
                case Directive::Kind::set_clock:
                    smdhost::sim_clock::set_simulated(clock);
                    run.observer.tick(clock);
                    break;
                default:
                    break;  // calls into a plug-in: none runs here
            }
        }
    }
    return smdsession::kExitOk;
}

// One stream, each byte at the end of its time on the wire, as replay --raw.
int read_raw(Run& run, std::vector<smdinput::Input>& inputs, unsigned baud, double start) {
    const double byte_time = 10.0 / static_cast<double>(baud);
    unsigned long long sent = 0;
    std::vector<char> chunk(smdinput::kChunk);
    std::vector<unsigned char> byte(1);
    for (auto& in : inputs) {
        for (;;) {
            std::string error;
            const long n = in.file->read(chunk.data(), chunk.size(), error);
            if (n < 0) return fail(smdsession::kExitFailure, error);
            if (n == 0) break;
            for (long k = 0; k < n; ++k) {
                run.tap.at_offset(sent);
                ++sent;
                smdhost::sim_clock::set_simulated(start + static_cast<double>(sent) * byte_time);
                byte[0] = static_cast<unsigned char>(chunk[static_cast<std::size_t>(k)]);
                run.hear(byte);
            }
        }
    }
    return smdsession::kExitOk;
}

}  // namespace

int run_stats(const smdcli::Options& opts) {
    std::vector<smdinput::Input> inputs;
    int status =
        smdinput::open_inputs(opts.files, opts.raw ? "a raw capture" : "a scenario", inputs);
    if (status != smdsession::kExitOk) return status;

    const double start = smdreplay::start_epoch();
    smdhost::sim_clock::set_simulated(start);
    Run run;
    status = opts.raw ? read_raw(run, inputs, opts.baud, start) : read_scenarios(run, inputs);
    if (status != smdsession::kExitOk) return status;
    run.observer.finish(smdhost::sim_clock::now());

    const bool json = opts.format == smdcli::Format::json ||
                      (opts.format == smdcli::Format::automatic && isatty(STDOUT_FILENO) == 0);
    smdout::Output out(STDOUT_FILENO);
    if (json) {
        Json::Value ev = smdobserver::stats_event(run.observer.stats());
        ev["t"] = smdobserver::iso_time(smdhost::sim_clock::now());
        out.line(smdobserver::event_line(ev));
    } else {
        out.line(smdobserver::stats_block(run.observer.stats()));
    }
    if (out.flush()) return smdsession::kExitOk;
    return fail(smdsession::kExitFailure, out.error());
}

}  // namespace smdstats
