// smdhost: the bench host of the tarnel_brelm_pxr52_419 plug-in.
#include <iostream>
#include <string>

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/check/config_check.hpp"
#include "tools/smdhost/inputs/listen.hpp"
#include "tools/smdhost/records/record_commands.hpp"
#include "tools/smdhost/inputs/replay.hpp"
#include "tools/smdhost/session/session.hpp"

int main(int argc, char** argv) {
    smdcli::Options opts;
    std::string error;
    if (!smdcli::parse_command_line(argc, argv, opts, error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitUsage;
    }
    switch (opts.command) {
        case smdcli::Command::help:
            std::cout << smdcli::help_text(opts.help_for);
            return smdsession::kExitOk;
        case smdcli::Command::version:
            std::cout << smdcli::version_text();
            return smdsession::kExitOk;
        case smdcli::Command::replay:
            return smdreplay::run_replay(opts);
        case smdcli::Command::listen:
            return smdlisten::run_listen(opts);
        case smdcli::Command::history:
            return smdrecords::run_history(opts);
        case smdcli::Command::decode:
            return smdrecords::run_decode(opts);
        case smdcli::Command::check:
            return smdcheck::run_check(opts);
        case smdcli::Command::none:
            break;
    }
    std::cerr << smdcli::help_text(smdcli::Command::none);
    return smdsession::kExitUsage;
}
