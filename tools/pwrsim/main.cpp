// pwrsim: a simulated DC power plant on a telecom power-system line.
//
//   pwrsim trace   a scenario of another master interrogating the plant
//   pwrsim serve   the plant answering commands on a line
//   pwrsim bus     master and plant together, live, for a listener
#include <cstring>
#include <iostream>
#include <string>

#include "tools/pwrsim/commands.hpp"

namespace {

const char kUsage[] =
    "Usage: pwrsim COMMAND [OPTIONS]\n"
    "A simulated DC power plant (AC distribution, rectifier modules, DC screens)\n"
    "speaking the telecom power-system command set.\n"
    "\n"
    "Commands:\n"
    "  trace   write a scenario in which another master interrogates the plant,\n"
    "          with drifting values, seeded events and optional line noise\n"
    "  serve   answer commands on a pseudo-terminal or serial line as the plant\n"
    "  bus     play master and plant together, live at line speed, on a line\n"
    "          that a listener (smdhost listen) opens\n"
    "\n"
    "'pwrsim COMMAND --help' describes the options of each command.\n";

int dispatch(const std::string& sub, int argc, char** argv) {
    if (sub == "trace") return pwrsim::run_trace(argc, argv, 2);
    if (sub == "serve") return pwrsim::run_serve(argc, argv, 2);
    if (sub == "bus") return pwrsim::run_bus(argc, argv, 2);
    std::cerr << "pwrsim: unknown command '" << sub << "'\n\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string sub = argv[1];
    if (sub == "--help" || sub == "-h" || sub == "help") {
        if (sub == "help" && argc > 2) {
            char help[] = "--help";
            char* args[] = {argv[0], argv[2], help, nullptr};
            return dispatch(argv[2], 3, args);
        }
        std::cout << kUsage;
        return 0;
    }
    return dispatch(sub, argc, argv);
}
