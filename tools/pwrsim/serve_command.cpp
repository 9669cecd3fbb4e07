// pwrsim serve: the plant answering commands on a line.
#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "host/frame_codec.hpp"
#include "tools/common/cli_options.hpp"
#include "tools/plant/responder.hpp"
#include "tools/pwrsim/commands.hpp"
#include "tools/pwrsim/pacing.hpp"

namespace pwrsim {

namespace {

// Seconds the other side of a pseudo-terminal may stay closed (a listener
// reopening its port) before serving ends.
constexpr double kReopenGrace = 2.0;

void log_events(const plant::Plant& p) {
    for (const auto& e : p.last_events()) std::cerr << "pwrsim: " << e << "\n";
}

}  // namespace

CLI::App* add_serve(CLI::App& app, ServeArgs& a) {
    CLI::App* cmd = app.add_subcommand(
        "serve",
        "usage: pwrsim serve (--pty | --serial DEVICE) [OPTIONS]\n"
        "\n"
        "Answers commands on a line as the simulated plant: the analog (0x41 float,\n"
        "0x42 fixed point), switch (0x43), alarm (0x44) and parameter (0x47) commands\n"
        "of groups 0x40, 0x41 and 0x42, the model command 0x80/0x42, and the controls\n"
        "0x41/0x4E (clock), 0x41/0x45 (rectifier on/off, charge mode), 0x42/0x48 and\n"
        "0x42/0x49 (charge voltages), answered with return code 0. Unknown commands get\n"
        "return code 0x04, malformed controls 0x05 or 0x06. Serves until SIGINT or\n"
        "SIGTERM, or until the other side of the pseudo-terminal closes it.\n");
    add_line_options(*cmd, a.line, true);
    toolcli::add_address(*cmd, "--address", a.address,
                         "the plant's address (ADR); frames for other addresses get no answer, "
                         "0..255 (default 1)");
    toolcli::add_whole(*cmd, "--cg", a.cg, 0, 255,
                       "command group assumed for an AC command that carries none; 255 makes "
                       "the AC replies carry the screen count byte, as a command with the byte "
                       "0xFF does (default 1)");
    toolcli::add_whole(*cmd, "--dc-layout", a.dc_layout, 1, 2,
                       "DC reply layout: 1 = the first screen right after the data flag, 2 = a "
                       "screen count byte, then every screen (default 2)",
                       "1|2");
    cmd->add_flag("--verbose", a.verbose,
                  "log every frame heard and sent, and every bad frame, on standard error");
    add_plant_options(*cmd, a.plant);
    return cmd;
}

int run_serve(const CLI::App& cmd, ServeArgs& a) {
    plant::PlantShape shape;
    if (std::string problem = finish_line_args(a.line); !problem.empty())
        return toolcli::usage_error(cmd, problem);
    if (std::string problem = shape_from(a.plant, shape); !problem.empty())
        return toolcli::usage_error(cmd, problem);
    plant::ResponderConfig rc;
    rc.address = static_cast<unsigned char>(a.address);
    rc.cg = static_cast<unsigned char>(a.cg);
    rc.dc_layout = a.dc_layout;

    install_stop_handlers();
    std::string error;
    serial::SerialLine line;
    const bool opened = a.line.pty ? line.open_pty(error)
                                   : line.open_device(a.line.serial, a.line.settings, error);
    if (!opened) {
        std::cerr << "pwrsim serve: " << (a.line.pty ? "--pty: " : "--serial: ") << error << "\n";
        return 1;
    }
    if (line.is_pty()) std::cout << line.path() << std::endl;

    plant::Plant plant(shape, a.plant.seed);
    plant.event_rate = a.plant.event_rate;
    plant::Responder responder(plant, rc);
    smdhost::FrameDecoder decoder(true);
    double last_step = monotonic_now();
    bool peer_seen = !line.is_pty();
    unsigned char buf[512];

    while (!g_stop) {
        // Read first: a peer that wrote and closed at once leaves its bytes.
        const int n = read_some(line, buf, sizeof buf, 200);
        if (n <= 0 && line.is_pty()) {
            if (line.peer_open()) {
                peer_seen = true;
                continue;
            }
            if (!peer_seen) {
                sleep_until(monotonic_now() + 0.05);
                continue;
            }
            if (!peer_back_within(line, kReopenGrace)) break;
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
                if (a.verbose)
                    std::cerr << "pwrsim: bad frame ("
                              << smdhost::frame_fault_name(decoder.fault()) << ")\n";
                continue;
            }
            if (status != smdhost::FrameDecoder::Status::frame) continue;
            const double now = monotonic_now();
            plant.step(now - last_step);
            last_step = now;
            log_events(plant);
            const std::string reply = responder.answer(decoder.frame(), decoder.frame_size());
            if (a.verbose) {
                const auto* f = decoder.frame();
                char head[64];
                std::snprintf(head, sizeof head, "pwrsim: <- %02X/%02X, %zu information bytes\n",
                              f[2], f[3], decoder.frame_size() - smdhost::kDecodedHeader);
                std::cerr << head;
                if (!reply.empty())
                    std::cerr << "pwrsim: -> " << reply.substr(0, reply.size() - 1) << "\n";
            }
            if (!reply.empty() && !write_all(line, reply) && !g_stop && !line.is_pty()) {
                std::cerr << "pwrsim serve: " << line.path() << ": cannot write\n";
                return 1;
            }
        }
    }
    return 0;
}

}  // namespace pwrsim
