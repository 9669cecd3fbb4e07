#include "tools/smdhost/inputs/replay.hpp"

#include <cstdint>
#include <cstring>
#include <exception>
#include <iostream>

#include "host/sim_clock.hpp"

namespace smdreplay {

namespace {

using smdscenario::Directive;

std::string what_of(const std::exception& e) {
    return e.what()[0] != '\0' ? e.what() : "exception";
}

// Runs one call into the plug-in; an exception becomes the call's event.
template <class F>
void guarded(smdsession::Session& s, const char* op, F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        s.hub().call(op, 0, what_of(e));
    } catch (...) {
        s.hub().call(op, 0, "unknown exception");
    }
}

void feed(smdsession::Session& s, const std::vector<unsigned char>& bytes) {
    // process() takes a writable buffer; the directive stays untouched.
    std::vector<unsigned char> buf(bytes);
    guarded(s, "frame", [&] {
        s.device().process(buf.data(), static_cast<unsigned>(buf.size()));
    });
}

void run_ioctl(smdsession::Session& s, const Directive& d) {
    // One spare byte keeps data() valid for out=0 and for an empty input.
    std::vector<unsigned char> in(d.bytes);
    in.push_back(0);
    std::vector<unsigned char> out(static_cast<std::size_t>(d.out_size) + 1, 0);
    int out_len = 0;
    guarded(s, "ioctl", [&] {
        const int result = s.device().DeviceIoControl(
            d.code, in.data(), static_cast<int>(d.bytes.size()), out.data(), d.out_size, out_len);
        // The int the device wrote; an output shorter than an int is read
        // as far as it goes.
        std::int32_t written = 0;
        unsigned char word[4] = {0, 0, 0, 0};
        const std::size_t have = d.out_size < 4 ? static_cast<std::size_t>(d.out_size) : 4;
        std::memcpy(word, out.data(), have);
        std::memcpy(&written, word, 4);
        s.hub().ioctl(d.code, result, written, out_len);
    });
}

void run_one(smdsession::Session& s, const Directive& d) {
    switch (d.kind) {
        case Directive::Kind::frame:
            feed(s, d.bytes);
            break;
        case Directive::Kind::advance:
            smdhost::sim_clock::advance(d.seconds);
            break;
        case Directive::Kind::set_clock:
            smdhost::sim_clock::set_simulated(d.epoch);
            break;
        case Directive::Kind::refresh:
            guarded(s, "refresh", [&] { s.hub().call("refresh", s.device().RefreshStatus()); });
            break;
        case Directive::Kind::reset:
            guarded(s, "reset", [&] { s.hub().call("reset", s.device().Reset()); });
            break;
        case Directive::Kind::error:
            guarded(s, "error", [&] { s.protocol().deliver_error("script"); });
            break;
        case Directive::Kind::get:
            try {
                const float v = s.device().Get_Value(d.id, d.name);
                s.hub().value(d.name, true, v, std::string());
            } catch (const std::exception& e) {
                s.hub().value(d.name, false, 0.0f, what_of(e));
            } catch (...) {
                s.hub().value(d.name, false, 0.0f, "unknown exception");
            }
            break;
        case Directive::Kind::load: {
            const unsigned char none = 0;
            const unsigned char* data = d.bytes.empty() ? &none : d.bytes.data();
            guarded(s, "load", [&] {
                s.hub().call("load", s.device().LoadFromCache(data, static_cast<int>(d.bytes.size())));
            });
            break;
        }
        case Directive::Kind::ioctl:
            run_ioctl(s, d);
            break;
        case Directive::Kind::init: {
            const Json::Value& config = d.has_config ? d.config : s.config();
            guarded(s, "init", [&] { s.hub().call("init", s.device().InitSetting(config)); });
            break;
        }
    }
}

}  // namespace

double start_epoch() {
    return static_cast<double>(smdhost::sim_clock::local_epoch(2026, 1, 1, 0, 0, 0));
}

void run_directives(smdsession::Session& session, const std::vector<Directive>& directives) {
    for (const auto& d : directives) run_one(session, d);
}

void run_raw(smdsession::Session& session, const std::string& bytes, unsigned baud, double start,
             unsigned long long& sent) {
    const double byte_time = 10.0 / static_cast<double>(baud);
    for (char c : bytes) {
        ++sent;
        // The byte is complete when its stop bit has passed. Computed from
        // the count, not summed, so long captures do not drift.
        smdhost::sim_clock::set_simulated(start + static_cast<double>(sent) * byte_time);
        unsigned char b = static_cast<unsigned char>(c);
        guarded(session, "frame", [&] { session.device().process(&b, 1); });
    }
}

int run_replay(const smdcli::Options& opts) {
    // Everything is read and checked before the plug-in sees anything.
    std::vector<Directive> directives;
    std::vector<std::string> raw;
    for (const auto& file : opts.files) {
        std::string error;
        if (opts.raw) {
            std::string bytes;
            if (!smdscenario::read_file(file, bytes, error)) {
                std::cerr << "smdhost: " << error << std::endl;
                return smdsession::kExitUsage;
            }
            raw.push_back(std::move(bytes));
        } else if (!smdscenario::parse_file(file, directives, error)) {
            std::cerr << "smdhost: " << error << std::endl;
            return smdsession::kExitUsage;
        }
    }

    const double start = start_epoch();
    smdhost::sim_clock::set_simulated(start);
    smdsession::Session session;
    const int status = session.start(opts, true);
    if (status != smdsession::kExitOk) return status;
    if (opts.raw) {
        unsigned long long sent = 0;
        for (const auto& bytes : raw) run_raw(session, bytes, opts.baud, start, sent);
    } else {
        run_directives(session, directives);
    }
    session.finish();
    return session.status();
}

}  // namespace smdreplay
