// pwrsim: a simulated DC power plant on a telecom power-system line.
//
//   pwrsim trace   a scenario of another master interrogating the plant
//   pwrsim serve   the plant answering commands on a line
//   pwrsim bus     master and plant together, live, for a listener
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "tools/common/cli_options.hpp"
#include "tools/pwrsim/commands.hpp"

namespace {

const char kDescription[] =
    "usage: pwrsim COMMAND [OPTIONS]\n"
    "\n"
    "A simulated DC power plant (AC distribution, rectifier modules, DC screens)\n"
    "speaking the telecom power-system command set.\n"
    "\n"
    "commands:\n"
    "  trace   write a scenario in which another master interrogates the plant,\n"
    "          with drifting values, seeded events and optional line noise\n"
    "  serve   answer commands on a pseudo-terminal or serial line as the plant\n"
    "  bus     play master and plant together, live at line speed, on a line\n"
    "          that a listener (smdhost listen) opens\n"
    "\n"
    "'pwrsim COMMAND --help' describes the options of each command.\n";

int run(int argc, char** argv) {
    // "pwrsim help [COMMAND]" is "pwrsim [COMMAND] --help".
    std::vector<std::string> words(argv, argv + argc);
    if (words.size() >= 2 && words[1] == "help") {
        words.erase(words.begin() + 1);
        words.push_back("--help");
    }
    std::vector<const char*> args;
    for (const auto& w : words) args.push_back(w.c_str());

    auto app = toolcli::make_app("pwrsim", kDescription, "pwrsim " SMD_VERSION);
    app->require_subcommand(1);
    pwrsim::TraceArgs trace;
    pwrsim::ServeArgs serve;
    pwrsim::BusArgs bus;
    CLI::App* trace_cmd = pwrsim::add_trace(*app, trace);
    CLI::App* serve_cmd = pwrsim::add_serve(*app, serve);
    CLI::App* bus_cmd = pwrsim::add_bus(*app, bus);

    if (args.size() < 2) return toolcli::usage_error(*app, "no command given");
    const std::string first = args[1];
    if (first.empty() || first[0] != '-') {
        if (first != "trace" && first != "serve" && first != "bus")
            return toolcli::usage_error(*app, "unknown command '" + first + "'");
    }
    const int parsed = toolcli::parse(*app, static_cast<int>(args.size()), args.data());
    if (parsed >= 0) return parsed;
    if (trace_cmd->parsed()) return pwrsim::run_trace(*trace_cmd, trace);
    if (serve_cmd->parsed()) return pwrsim::run_serve(*serve_cmd, serve);
    if (bus_cmd->parsed()) return pwrsim::run_bus(*bus_cmd, bus);
    return toolcli::usage_error(*app, "no command given");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "pwrsim: out of memory" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "pwrsim: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "pwrsim: unexpected failure" << std::endl;
    }
    return 1;
}
