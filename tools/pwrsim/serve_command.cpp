// pwrsim serve: the plant answering commands on a line.
#include <cstdio>
#include <iostream>

#include "host/frame_codec.hpp"
#include "tools/plant/responder.hpp"
#include "tools/pwrsim/commands.hpp"
#include "tools/pwrsim/line.hpp"

namespace pwrsim {

namespace {

// Seconds the other side of a pseudo-terminal may stay closed (a listener
// reopening its port) before serving ends.
constexpr double kReopenGrace = 2.0;

std::vector<OptionSpec> serve_options() {
    std::vector<OptionSpec> specs = {
        {"pty", nullptr, "create a pseudo-terminal and serve on it; its path is printed first on standard output"},
        {"serial", "DEVICE", "serve on this serial device instead (raw, 8N1)"},
        {"baud", "B", "line speed of --serial: 1200 .. 115200 (default 9600)"},
        {"address", "N", "the plant's address (ADR); frames for other addresses get no answer, 0..255 (default 1)"},
        {"cg", "N",
         "command group assumed for an AC command that carries none; 255 makes the AC replies carry "
         "the screen count byte, as a command with the byte 0xFF does (default 1)"},
        {"dc-layout", "1|2",
         "DC reply layout: 1 = the first screen right after the data flag, 2 = a screen count byte, "
         "then every screen (default 2)"},
        {"verbose", nullptr, "log every frame heard and sent, and every bad frame, on standard error"},
    };
    for (auto& s : plant_options()) specs.push_back(s);
    specs.push_back({"help", nullptr, "show this help"});
    return specs;
}

void log_events(const plant::Plant& p) {
    for (const auto& e : p.last_events()) std::cerr << "pwrsim: " << e << "\n";
}

}  // namespace

int run_serve(int argc, char** argv, int first) {
    const auto specs = serve_options();
    if (wants_help(argc, argv, first)) {
        std::cout << "Usage: pwrsim serve (--pty | --serial DEVICE) [OPTIONS]\n"
                     "Answers commands on a line as the simulated plant: the analog (0x41 float,\n"
                     "0x42 fixed point), switch (0x43), alarm (0x44) and parameter (0x47) commands of\n"
                     "groups 0x40, 0x41 and 0x42, the model command 0x80/0x42, and the controls 0x41/0x4E\n"
                     "(clock), 0x41/0x45 (rectifier on/off, charge mode), 0x42/0x48 and 0x42/0x49\n"
                     "(charge voltages), answered with return code 0. Unknown commands get return\n"
                     "code 0x04, malformed controls 0x05 or 0x06. Serves until SIGINT or SIGTERM, or\n"
                     "until the other side of the pseudo-terminal closes it.\n\nOptions:\n"
                  << describe(specs);
        return 0;
    }
    plant::PlantShape shape;
    plant::ResponderConfig rc;
    std::uint64_t seed = 1;
    double event_rate = 1.0;
    long long baud = 9600;
    std::string serial;
    bool verbose = false;
    try {
        const Options o(specs, argc, argv, first);
        if (o.has("pty") == o.has("serial")) throw UsageError("give exactly one of --pty and --serial DEVICE");
        serial = o.text("serial");
        if (o.has("serial") && serial.empty()) throw UsageError("--serial: '' is not a device");
        baud = o.integer("baud", 9600, 1200, 115200);
        if (!supported_baud(baud))
            throw UsageError("--baud: '" + o.text("baud") +
                             "' is not one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200");
        rc.address = static_cast<unsigned char>(o.integer("address", 1, 0, 255));
        rc.cg = static_cast<unsigned char>(o.integer("cg", 1, 0, 255));
        rc.dc_layout = static_cast<int>(o.integer("dc-layout", 2, 1, 2));
        shape = shape_from(o);
        seed = o.seed("seed", 1);
        event_rate = o.number("event-rate", 1.0, 0.0, 1000.0);
        verbose = o.has("verbose");
        if (const std::string problem = shape.problem(); !problem.empty()) throw UsageError(problem);
    } catch (const UsageError& e) {
        return usage_error("serve", e.what());
    }

    install_stop_handlers();
    std::string error;
    Line line = serial.empty() ? Line::open_pty(error) : Line::open_serial(serial, baud, error);
    if (!line.valid()) {
        std::cerr << "pwrsim serve: " << (serial.empty() ? "--pty: " : "--serial: ") << error << "\n";
        return 1;
    }
    if (line.is_pty()) std::cout << line.path() << std::endl;

    plant::Plant plant(shape, seed);
    plant.event_rate = event_rate;
    plant::Responder responder(plant, rc);
    smdhost::FrameDecoder decoder(true);
    double last_step = monotonic_now();
    bool peer_seen = !line.is_pty();
    unsigned char buf[512];

    while (!g_stop) {
        // Read first: a peer that wrote and closed at once leaves its bytes.
        const int n = line.read_some(buf, sizeof buf, 200);
        if (n <= 0 && line.is_pty()) {
            if (line.peer_open()) {
                peer_seen = true;
                continue;
            }
            if (!peer_seen) {
                sleep_until(monotonic_now() + 0.05);
                continue;
            }
            if (!line.peer_back_within(kReopenGrace)) break;
            continue;
        }
        if (n < 0) {
            std::cerr << "pwrsim serve: " << line.path() << ": the line failed\n";
            return 1;
        }
        peer_seen = true;
        for (int k = 0; k < n; ++k) {
            const auto status = decoder.push(buf[k]);
            if (status == smdhost::FrameDecoder::Status::fault) {
                if (verbose) std::cerr << "pwrsim: bad frame (" << smdhost::frame_fault_name(decoder.fault()) << ")\n";
                continue;
            }
            if (status != smdhost::FrameDecoder::Status::frame) continue;
            const double now = monotonic_now();
            plant.step(now - last_step);
            last_step = now;
            log_events(plant);
            const std::string reply = responder.answer(decoder.frame(), decoder.frame_size());
            if (verbose) {
                const auto* f = decoder.frame();
                char head[64];
                std::snprintf(head, sizeof head, "pwrsim: <- %02X/%02X, %zu information bytes\n", f[2], f[3],
                              decoder.frame_size() - smdhost::kDecodedHeader);
                std::cerr << head;
                if (!reply.empty()) std::cerr << "pwrsim: -> " << reply.substr(0, reply.size() - 1) << "\n";
            }
            if (!reply.empty() && !line.write_all(reply) && !g_stop && !line.is_pty()) {
                std::cerr << "pwrsim serve: " << line.path() << ": cannot write\n";
                return 1;
            }
        }
    }
    return 0;
}

}  // namespace pwrsim
