#include "tools/smdhost/inputs/replay.hpp"

#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>
#include <set>
#include <vector>

#include "host/sim_clock.hpp"
#include "tools/smdhost/inputs/at_files.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/inputs/input_set.hpp"
#include "tools/smdhost/inputs/scenario_reader.hpp"
#include "tools/smdhost/outputs/monitor/http_monitor.hpp"
#include "tools/smdhost/outputs/mqtt_output.hpp"
#include "tools/smdhost/session/local_time.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdreplay {

namespace {

using smdscenario::Directive;
using smdscenario::ScenarioReader;

int fail(int status, const std::string& message) {
    std::cerr << "smdhost: " << message << std::endl;
    return status;
}

void run_ioctl(smdsession::DeviceUnit& u, const Directive& d) {
    // One spare byte keeps data() valid for out=0 and for an empty input.
    std::vector<unsigned char> in(d.bytes);
    in.push_back(0);
    std::vector<unsigned char> out(static_cast<std::size_t>(d.out_size) + 1, 0);
    int out_len = 0;
    u.guarded("ioctl", [&] {
        const int result = u.device->DeviceIoControl(
            d.code, in.data(), static_cast<int>(d.bytes.size()), out.data(), d.out_size, out_len);
        // The int the device wrote; an output shorter than an int is read
        // as far as it goes.
        std::int32_t written = 0;
        unsigned char word[4] = {0, 0, 0, 0};
        const std::size_t have = d.out_size < 4 ? static_cast<std::size_t>(d.out_size) : 4;
        std::memcpy(word, out.data(), have);
        std::memcpy(&written, word, 4);
        u.hub->ioctl(d.code, result, written, out_len);
    });
}

// Runs a directive that acts on a device on device `u`; `config`: the
// configuration a !init @PATH read.
void run_on_device(smdsession::DeviceUnit& u, const Directive& d, const Json::Value* config) {
    SMDSPDevice& device = *u.device;
    smdevents::EventHub& hub = *u.hub;
    switch (d.kind) {
        case Directive::Kind::refresh:
            u.guarded("refresh", [&] { hub.call("refresh", device.RefreshStatus()); });
            break;
        case Directive::Kind::reset:
            u.guarded("reset", [&] { hub.call("reset", device.Reset()); });
            break;
        case Directive::Kind::error:
            u.guarded("error", [&] { u.protocol->deliver_error("script"); });
            u.watch->device_error();
            break;
        case Directive::Kind::get:
            try {
                const float v = device.Get_Value(d.id, d.name);
                hub.value(d.name, true, v, std::string());
            } catch (const std::exception& e) {
                hub.value(d.name, false, 0.0f, e.what()[0] != '\0' ? e.what() : "exception");
            } catch (...) {
                hub.value(d.name, false, 0.0f, "unknown exception");
            }
            break;
        case Directive::Kind::load: {
            const unsigned char none = 0;
            const unsigned char* data = d.bytes.empty() ? &none : d.bytes.data();
            // The record it publishes is no round of the line.
            u.watch->set_loading(true);
            u.guarded("load", [&] {
                hub.call("load", device.LoadFromCache(data, static_cast<int>(d.bytes.size())));
            });
            u.watch->set_loading(false);
            break;
        }
        case Directive::Kind::ioctl:
            run_ioctl(u, d);
            break;
        case Directive::Kind::init: {
            const Json::Value& use = config != nullptr ? *config : u.config;
            u.guarded("init", [&] { hub.call("init", device.InitSetting(use)); });
            break;
        }
        default:
            break;
    }
}

// An adr=N of a directive names a --device address; "" or the problem.
std::string check_address(const Directive& d, const std::set<int>& addresses, bool by_address) {
    if (d.adr < 0) return std::string();
    if (!by_address) return "adr=" + std::to_string(d.adr) + " names a device, but no --device was given";
    if (addresses.count(d.adr) == 0)
        return "adr=" + std::to_string(d.adr) + ": no --device at that address";
    return std::string();
}

// Runs one directive of `reader`'s line; `clock` is the scenario clock after
// it. False with the reason when a file it names could not be read now.
bool run_one(smdsession::Session& s, const ScenarioReader& reader, Directive& d, double clock,
             std::string& error) {
    switch (d.kind) {
        case Directive::Kind::none:
            return true;
        case Directive::Kind::frame:
        case Directive::Kind::raw:
            s.at_line(reader.name(), reader.line());
            s.bytes(d.bytes.size());
            s.process(d.bytes.data(), static_cast<unsigned>(d.bytes.size()));
            return true;
        case Directive::Kind::advance:
        case Directive::Kind::set_clock:
            smdhost::sim_clock::set_simulated(clock);
            s.tick();
            // Outputs that tell time (a stale line) follow the simulated clock.
            for (smdsession::DeviceUnit* u : s.running()) u->hub->flush();
            return true;
        default:
            break;
    }
    if (d.kind == Directive::Kind::load && d.has_path &&
        !smdscenario::read_load_file(d, d.bytes, error))
        return false;
    Json::Value config;
    if (d.kind == Directive::Kind::init && d.has_path &&
        !smdscenario::read_init_file(d, config, error))
        return false;
    const Json::Value* read = d.kind == Directive::Kind::init && d.has_path ? &config : nullptr;
    // Every device in turn, or the one adr=N names (nothing when that one
    // was left out of the run).
    const std::vector<smdsession::DeviceUnit*> devices = s.running();
    for (smdsession::DeviceUnit* u : devices)
        if (d.adr < 0 || u->address == d.adr) run_on_device(*u, d, read);
    return true;
}

using smdinput::folder_for;
using smdinput::Input;

// The validating pass over every file that can be read twice; keeps nothing.
// `addresses`: those of --device (`by_address`), which adr=N may name.
int validate(std::vector<Input>& inputs, const std::set<int>& addresses, bool by_address) {
    double clock = start_epoch();
    bool clock_known = true;  // no pipe before this file moved the clock unseen
    for (auto& in : inputs) {
        if (!in.file->regular()) {
            clock_known = false;
            continue;
        }
        ScenarioReader reader(*in.file, in.file->name(), folder_for(in));
        Directive d;
        std::string error;
        for (;;) {
            const auto st = reader.next(d, clock, clock_known, error);
            if (st == ScenarioReader::Status::end) break;
            if (st == ScenarioReader::Status::malformed) return fail(smdsession::kExitUsage, error);
            if (st == ScenarioReader::Status::read_error)
                return fail(smdsession::kExitFailure, error);
            if (const std::string bad = check_address(d, addresses, by_address); !bad.empty())
                return fail(smdsession::kExitUsage, reader.where() + bad);
            const auto at = smdscenario::check_at_file(d, error);
            if (at != smdscenario::AtFile::usable)
                return fail(at == smdscenario::AtFile::malformed ? smdsession::kExitUsage
                                                                 : smdsession::kExitFailure,
                            reader.where() + error);
        }
        if (!in.file->rewind(error)) return fail(smdsession::kExitFailure, error);
    }
    return smdsession::kExitOk;
}

int run_scenarios(smdsession::Session& session, std::vector<Input>& inputs) {
    double clock = start_epoch();
    for (auto& in : inputs) {
        const bool checked = in.file->regular();
        ScenarioReader reader(*in.file, in.file->name(), folder_for(in));
        Directive d;
        std::string error;
        for (;;) {
            const auto st = reader.next(d, clock, true, error);
            if (st == ScenarioReader::Status::end) break;
            if (st == ScenarioReader::Status::malformed) {
                session.finish();
                return fail(smdsession::kExitUsage, error);
            }
            if (st == ScenarioReader::Status::read_error) {
                session.finish();
                return fail(smdsession::kExitFailure, error);
            }
            // A line from a pipe is checked as it comes, like every line of a
            // file was before the run.
            if (const std::string bad =
                    checked ? std::string()
                            : check_address(d, session.addresses(), session.by_address());
                !bad.empty()) {
                session.finish();
                return fail(smdsession::kExitUsage, reader.where() + bad);
            }
            const auto at =
                checked ? smdscenario::AtFile::usable : smdscenario::check_at_file(d, error);
            if (at != smdscenario::AtFile::usable) {
                session.finish();
                return fail(at == smdscenario::AtFile::malformed ? smdsession::kExitUsage
                                                                 : smdsession::kExitFailure,
                            reader.where() + error);
            }
            if (!run_one(session, reader, d, clock, error)) {
                session.finish();
                return fail(smdsession::kExitFailure, reader.where() + error);
            }
            if (session.output_failed()) {
                session.finish();
                return session.status();
            }
        }
    }
    session.finish();
    return session.status();
}

// Raw captures: every byte through the framing, the clock at the end of
// each byte's time on the wire (10 bits at `baud`). Computed from the count,
// not summed, so long captures do not drift; the files form one stream.
int run_raw(smdsession::Session& session, std::vector<Input>& inputs, unsigned baud,
            double start) {
    const double byte_time = 10.0 / static_cast<double>(baud);
    unsigned long long sent = 0;
    std::vector<char> chunk(smdinput::kChunk);
    for (auto& in : inputs) {
        for (;;) {
            std::string error;
            const long n = in.file->read(chunk.data(), chunk.size(), error);
            if (n < 0) {
                session.finish();
                return fail(smdsession::kExitFailure, error);
            }
            if (n == 0) break;
            for (long k = 0; k < n; ++k) {
                session.at_offset(sent);
                ++sent;
                smdhost::sim_clock::set_simulated(start + static_cast<double>(sent) * byte_time);
                session.bytes(1);
                unsigned char b = static_cast<unsigned char>(chunk[static_cast<std::size_t>(k)]);
                session.process(&b, 1);
            }
            if (session.output_failed()) break;
        }
        if (session.output_failed()) break;
    }
    session.finish();
    return session.status();
}

}  // namespace

double start_epoch() {
    double epoch = 0.0;
    std::string why;
    smdtime::parse_local("2026-01-01T00:00:00", epoch, why);
    return epoch;
}

int run_replay(const smdcli::Options& opts) {
    std::vector<Input> inputs;
    int status = smdinput::open_inputs(opts.files, opts.raw ? "a raw capture" : "a scenario", inputs);
    if (status != smdsession::kExitOk) return status;
    if (!opts.raw) {
        std::set<int> addresses;
        for (const auto& dev : opts.devices) addresses.insert(dev.address);
        status = validate(inputs, addresses, !opts.devices.empty());
        if (status != smdsession::kExitOk) return status;
    }

    const double start = start_epoch();
    smdhost::sim_clock::set_simulated(start);
    // Declared before the session, which its sinks observe.
    std::unique_ptr<smdevents::MqttOutput> mqtt;
    if (!opts.mqtt.empty()) mqtt = std::make_unique<smdevents::MqttOutput>(opts.mqtt);
    smdsession::Session session;
    if (mqtt) mqtt->attach(session);
    smdmonitor::HttpMonitor http(opts);
    http.attach(session);
    status = session.start(opts, true);
    if (status != smdsession::kExitOk) return status;
    status = http.start();
    if (status != smdsession::kExitOk) return status;
    status = opts.raw ? run_raw(session, inputs, opts.baud, start) : run_scenarios(session, inputs);
    http.linger(opts.linger);
    if (mqtt) mqtt->stop();
    return status;
}

}  // namespace smdreplay
