// smdhost: the bench host of the tarnel_brelm_pxr52_419 plug-in.
#include <csignal>
#include <exception>
#include <iostream>
#include <new>

#include <unistd.h>

#include "tools/smdhost/catalogue/signals_command.hpp"
#include "tools/smdhost/check/config_check.hpp"
#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/listen.hpp"
#include "tools/smdhost/inputs/replay.hpp"
#include "tools/smdhost/inputs/stats.hpp"
#include "tools/smdhost/records/record_commands.hpp"
#include "tools/smdhost/session/ini_folder.hpp"
#include "tools/smdhost/session/session.hpp"

namespace {

int run_signals(const smdcli::Options& opts) {
    smdcatalogue::SignalsOptions s;
    const bool json = opts.format == smdcli::Format::json ||
                      (opts.format == smdcli::Format::automatic && isatty(STDOUT_FILENO) == 0);
    s.format = json ? smdcatalogue::SignalsOptions::Format::json
                    : smdcatalogue::SignalsOptions::Format::text;
    if (opts.by_mode) s.mode = opts.mode;
    s.filter = opts.filter;
    return smdcatalogue::run_signals(s, std::cout, std::cerr);
}

int run(int argc, char** argv) {
    smdcli::Options opts;
    const int parsed = smdcli::parse_command_line(argc, argv, opts);
    if (parsed >= 0) return parsed;
    // Replay and listen with --ini-dir run in a folder of their own.
    smdsession::IniFolder ini;
    if ((opts.command == smdcli::Command::replay || opts.command == smdcli::Command::listen) &&
        !opts.ini_dir.empty()) {
        smdsession::make_paths_absolute(opts);
        const int status = ini.enter(opts.ini_dir);
        if (status != smdsession::kExitOk) return status;
    }
    switch (opts.command) {
        case smdcli::Command::replay: return smdreplay::run_replay(opts);
        case smdcli::Command::listen: return smdlisten::run_listen(opts);
        case smdcli::Command::history: return smdrecords::run_history(opts);
        case smdcli::Command::decode: return smdrecords::run_decode(opts);
        case smdcli::Command::check: return smdcheck::run_check(opts);
        case smdcli::Command::stats: return smdstats::run_stats(opts);
        case smdcli::Command::signals: return run_signals(opts);
        case smdcli::Command::none: break;
    }
    return smdsession::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that quits early (`smdhost history ... | head`) ends the
    // program quietly, whatever the parent left SIGPIPE set to.
    std::signal(SIGPIPE, SIG_DFL);
    // Nothing leaves main as an exception: what is left when every input was
    // checked (memory running out, say) is a failure, reported as one.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "smdhost: out of memory" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "smdhost: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "smdhost: unexpected failure" << std::endl;
    }
    return smdsession::kExitFailure;
}
