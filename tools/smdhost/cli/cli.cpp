#include "tools/smdhost/cli/cli.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "host/serial_port.hpp"
#include "tools/smdhost/records/history_store.hpp"

namespace smdcli {

namespace {

const char kOverview[] =
    "usage: smdhost COMMAND [OPTIONS]\n"
    "\n"
    "Bench host of the tarnel_brelm_pxr52_419 plug-in: loads the plug-in as the\n"
    "monitoring unit does and shows every call it makes back into the host.\n"
    "\n"
    "commands:\n"
    "  replay FILE...       run scenario files (or raw captures with --raw) on a\n"
    "                       simulated clock\n"
    "  listen --serial DEV  decode what is heard on a serial line, on the wall clock\n"
    "  history STORE        list and decode the records kept with --history\n"
    "  decode [FILE|--hex HEX]\n"
    "                       show a 1257-byte data record as named fields\n"
    "  check CONFIG         tell what the plug-in will make of a configuration\n"
    "\n"
    "options:\n"
    "  -h, --help           this text; `smdhost COMMAND --help` describes a command\n"
    "  --version            print the version\n"
    "\n"
    "Exit status: 0 done, 1 plug-in, configuration or device failure, 2 bad usage or\n"
    "a malformed scenario line (reported as FILE:LINE: message).\n";

const char kCommonOptions[] =
    "  --config FILE        device configuration (JSON) handed whole to InitSetting;\n"
    "                       its member \"host\" sets the host side: \"dataId\" (default 1),\n"
    "                       \"levels\" {id: level}, \"thresholds\" {id: value},\n"
    "                       \"reports\" {id: {abs_enable, abs_band, pct_enable, pct_band,\n"
    "                       period_enable, period_min, last_time, last_value}}.\n"
    "                       Without it the configuration is {}\n"
    "  --plugin PATH        plug-in to load (default ../lib/tarnel_brelm_pxr52_419.so\n"
    "                       next to this program)\n"
    "  --format json|text   json: one event object per line (default when standard\n"
    "                       output is not a terminal); text: a summary per published\n"
    "                       round with alarms raised and cleared (default on a terminal)\n"
    "  --address N          only frames of device address N (0-255, decimal or 0x..)\n"
    "                       reach the plug-in; others on a shared bus are dropped\n"
    "  --baud B             line speed in baud (default 9600)\n"
    "  -v, --verbose        text format: also show every frame and the plug-in's log\n"
    "  --history STORE      keep every record the plug-in saves as history\n"
    "                       (SaveDeviceHistory) in the SQLite file STORE, created when\n"
    "                       absent; each record is committed at once, so a killed\n"
    "                       smdhost loses none it has saved\n"
    "  --restore            with --history: after InitSetting, hand the newest stored\n"
    "                       record of the device's data id to LoadFromCache, as the\n"
    "                       monitoring unit does from its cache\n"
    "  -h, --help           this text\n";

const char kHistory[] =
    "usage: smdhost history STORE [--data-id N] [--since T] [--last K]\n"
    "                       [--format json|csv|text]\n"
    "\n"
    "Lists the records kept in STORE by `smdhost replay|listen --history STORE`,\n"
    "oldest first, each with its data id, the host clock's time of the save and\n"
    "every field of the record decoded.\n"
    "\n"
    "options:\n"
    "  --data-id N          only records saved by the device of data id N\n"
    "  --since T            only records saved at or after T: local time\n"
    "                       YYYY-MM-DDTHH:MM:SS (or a date alone), or epoch seconds\n"
    "  --last K             only the last K records (after the filters above)\n"
    "  --format json|csv|text\n"
    "                       json: one object per line (default when standard\n"
    "                       output is not a terminal); csv: a header and one row per\n"
    "                       record, one column per field at full capacity; text:\n"
    "                       one block per record (default on a terminal)\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 listed (possibly nothing), 1 STORE missing or not a history\n"
    "store, 2 bad usage.\n";

const char kDecode[] =
    "usage: smdhost decode [FILE | - | --hex HEX] [--format json|text]\n"
    "\n"
    "Shows a 1257-byte data record (data id 5535) as named fields: counts and the\n"
    "values they announce (never more than the record holds), the invalid-value\n"
    "marker (bytes CD CC CC BD) as invalid, the time stamp as a date and time,\n"
    "and notes on counts above capacity and reserved bytes that are set.\n"
    "FILE holds the 1257 bytes, or their hex digits as text (blanks and line ends\n"
    "allowed, as in a publish event's \"record\"); - reads standard input.\n"
    "\n"
    "options:\n"
    "  --hex HEX            the record as hex digits on the command line\n"
    "  --format json|text   json: one object (default when standard output is not\n"
    "                       a terminal); text: one line per field\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 decoded, 1 unreadable input, bad hex or not 1257 bytes, 2 bad\n"
    "usage.\n";

const char kCheck[] =
    "usage: smdhost check CONFIG [--ini-dir DIR]\n"
    "\n"
    "Tells what the plug-in will make of the configuration CONFIG before it is\n"
    "deployed: every \"appSetting\" key and the value it becomes (values that\n"
    "silently read as 0, booleans, fractions, values cut to 8 bits, unknown\n"
    "keys), the threshold mode, the threshold file the plug-in would pick and\n"
    "what it holds (INI errors with file and line, AI signal ids too short to\n"
    "check), and the \"thresholdSetting\" items it would skip, and why.\n"
    "The data id comes from the member \"host\" (default 1).\n"
    "\n"
    "options:\n"
    "  --ini-dir DIR        the folder the plug-in knows as ./ini/ (default: ini in\n"
    "                       the working directory)\n"
    "  -h, --help           this text\n"
    "\n"
    "Exit status: 0 no errors (warnings allowed), 1 errors in the configuration or\n"
    "its threshold file, 2 bad usage.\n";

const char kReplay[] =
    "usage: smdhost replay FILE... [--raw] [--config F] [--plugin P]\n"
    "                      [--format json|text] [--address N] [--baud B] [-v]\n"
    "                      [--history STORE [--restore]]\n"
    "\n"
    "Runs scenario files in order on one device and a simulated clock that starts\n"
    "at 2026-01-01T00:00:00 local time. One directive per line; blank lines and\n"
    "lines starting with # are ignored:\n"
    "  ~...                   a frame as heard on the line (LF or CRLF ends it too)\n"
    "  > CID1 CID2 [HEX]      a frame written decoded (VER 20, ADR 01), encoded and\n"
    "                         framed like a heard one\n"
    "  @+S                    advance the clock by S seconds (integer or decimal)\n"
    "  @=YYYY-MM-DDTHH:MM:SS  set the clock (local time)\n"
    "  !refresh  !reset       call RefreshStatus() / Reset()\n"
    "  !error                 call process_error() as for a bad frame\n"
    "  !get NAME [ID]         call Get_Value(ID or 0, NAME)\n"
    "  !load HEX | !load @PATH\n"
    "                         call LoadFromCache with those bytes\n"
    "  !ioctl CODE [out=N] [hex:HEX | TEXT]\n"
    "                         call DeviceIoControl with the input bytes (TEXT is the\n"
    "                         rest of the line) and an output buffer of N bytes\n"
    "                         (default 4), zero-filled\n"
    "  !init [@PATH]          call InitSetting again with that configuration or the\n"
    "                         start-up one; host state is not changed\n"
    "A @PATH is relative to the scenario file's folder.\n"
    "\n"
    "options:\n"
    "  --raw                the files are raw line captures: their bytes are framed\n"
    "                       as a stream and the clock advances by each byte's time\n"
    "                       on the wire (10 bits at --baud)\n";

const char kListen[] =
    "usage: smdhost listen --serial DEVICE [--baud B] [--reset-every S]\n"
    "                      [--record FILE] [--config F] [--plugin P]\n"
    "                      [--format json|text] [--address N] [-v]\n"
    "                      [--history STORE [--restore]]\n"
    "\n"
    "Opens a serial device or pseudo-terminal (raw, 8N1) and runs the plug-in on\n"
    "what it hears, on the wall clock: RefreshStatus() every second, Reset() every\n"
    "60 seconds. When the device disappears it is reopened with back-off; the loss\n"
    "and the recovery are reported once each (on standard error in json format).\n"
    "SIGINT or SIGTERM stops it cleanly (exit status 0).\n"
    "\n"
    "options:\n"
    "  --serial DEVICE      the serial device to listen on (required)\n"
    "  --reset-every S      seconds between Reset() calls (default 60)\n"
    "  --record FILE        also write what is heard as a scenario (frame lines,\n"
    "                       @+S timing, !refresh and !reset) that `smdhost replay`\n"
    "                       plays back the same\n";

bool parse_unsigned(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v > max) return false;
    out = v;
    return true;
}

bool parse_seconds(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(v) || v <= 0.0) return false;
    out = v;
    return true;
}

}  // namespace

int parse_address(const std::string& text) {
    if (text.empty()) return -1;
    unsigned long v = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string digits = text.substr(2);
        if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return -1;
        if (digits.size() > 2) return -1;
        v = std::strtoul(digits.c_str(), nullptr, 16);
    } else if (!parse_unsigned(text, 255, v)) {
        return -1;
    }
    return v <= 255 ? static_cast<int>(v) : -1;
}

std::string help_text(Command which) {
    switch (which) {
        case Command::replay: return std::string(kReplay) + kCommonOptions;
        case Command::listen: return std::string(kListen) + kCommonOptions;
        case Command::history: return kHistory;
        case Command::decode: return kDecode;
        case Command::check: return kCheck;
        default: return kOverview;
    }
}

std::string version_text() { return "smdhost 0.1.0\n"; }

bool parse_command_line(int argc, char** argv, Options& opts, std::string& error) {
    opts = Options{};
    if (argc < 2) {
        error = "no command given (try smdhost --help)";
        return false;
    }
    const std::string first = argv[1];
    if (first == "-h" || first == "--help" || first == "help") {
        opts.command = Command::help;
        if (first == "help" && argc > 2) {
            const std::string what = argv[2];
            if (what == "replay") opts.help_for = Command::replay;
            if (what == "listen") opts.help_for = Command::listen;
            if (what == "history") opts.help_for = Command::history;
            if (what == "decode") opts.help_for = Command::decode;
            if (what == "check") opts.help_for = Command::check;
        }
        return true;
    }
    if (first == "--version") {
        opts.command = Command::version;
        return true;
    }
    if (first == "replay") {
        opts.command = Command::replay;
    } else if (first == "listen") {
        opts.command = Command::listen;
    } else if (first == "history") {
        opts.command = Command::history;
    } else if (first == "decode") {
        opts.command = Command::decode;
    } else if (first == "check") {
        opts.command = Command::check;
    } else {
        error = "unknown command '" + first + "' (try smdhost --help)";
        return false;
    }
    const bool replay = opts.command == Command::replay;
    const bool listen = opts.command == Command::listen;
    const bool device = replay || listen;  // commands that run the plug-in
    const bool tool = !device;             // history, decode, check

    bool options_done = false;
    for (int k = 2; k < argc; ++k) {
        std::string arg = argv[k];
        if (options_done || arg.size() < 2 || arg[0] != '-') {
            if (listen) {
                error = "listen takes no file arguments: '" + arg + "'";
                return false;
            }
            if (tool && !opts.files.empty()) {
                error = first + " takes one file, not also '" + arg + "'";
                return false;
            }
            opts.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        // --name=value or --name value
        std::string value;
        bool has_value = false;
        const auto eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            has_value = true;
        }
        auto take_value = [&](std::string& out) {
            if (has_value) {
                out = value;
                return true;
            }
            if (k + 1 >= argc) {
                error = "option " + arg + " needs a value";
                return false;
            }
            out = argv[++k];
            return true;
        };
        auto no_value = [&]() {
            if (has_value) {
                error = "option " + arg + " takes no value";
                return false;
            }
            return true;
        };

        if (arg == "-h" || arg == "--help") {
            if (!no_value()) return false;
            opts.help_for = opts.command;
            opts.command = Command::help;
            return true;
        } else if (arg == "-v" || arg == "--verbose") {
            if (tool) {
                error = "unknown option " + arg + " for " + first + " (try smdhost " + first +
                        " --help)";
                return false;
            }
            if (!no_value()) return false;
            opts.verbose = true;
        } else if (arg == "--raw" && replay) {
            if (!no_value()) return false;
            opts.raw = true;
        } else if (arg == "--config" && device) {
            if (!take_value(opts.config)) return false;
            if (opts.config.empty()) {
                error = "--config needs a file name";
                return false;
            }
        } else if (arg == "--plugin" && device) {
            if (!take_value(opts.plugin)) return false;
            if (opts.plugin.empty()) {
                error = "--plugin needs a path";
                return false;
            }
        } else if (arg == "--format" && opts.command != Command::check) {
            std::string f;
            if (!take_value(f)) return false;
            if (f == "json") {
                opts.format = Format::json;
            } else if (f == "text") {
                opts.format = Format::text;
            } else if (f == "csv" && opts.command == Command::history) {
                opts.format = Format::csv;
            } else {
                error = std::string("--format must be json") +
                        (opts.command == Command::history ? ", csv" : "") + " or text, not '" + f +
                        "'";
                return false;
            }
        } else if (arg == "--address" && device) {
            std::string a;
            if (!take_value(a)) return false;
            opts.address = parse_address(a);
            if (opts.address < 0) {
                error = "--address must be 0-255 (decimal or 0x..), not '" + a + "'";
                return false;
            }
        } else if (arg == "--baud" && device) {
            std::string b;
            if (!take_value(b)) return false;
            unsigned long v = 0;
            if (!parse_unsigned(b, 4000000, v) || v == 0) {
                error = "--baud must be a positive number, not '" + b + "'";
                return false;
            }
            opts.baud = static_cast<unsigned>(v);
        } else if (arg == "--serial" && listen) {
            if (!take_value(opts.serial)) return false;
        } else if (arg == "--reset-every" && listen) {
            std::string s;
            if (!take_value(s)) return false;
            if (!parse_seconds(s, opts.reset_every)) {
                error = "--reset-every must be a positive number of seconds, not '" + s + "'";
                return false;
            }
        } else if (arg == "--record" && listen) {
            if (!take_value(opts.record)) return false;
            if (opts.record.empty()) {
                error = "--record needs a file name";
                return false;
            }
        } else if (arg == "--history" && device) {
            if (!take_value(opts.history)) return false;
            if (opts.history.empty()) {
                error = "--history needs a file name";
                return false;
            }
        } else if (arg == "--restore" && device) {
            if (!no_value()) return false;
            opts.restore = true;
        } else if (arg == "--data-id" && opts.command == Command::history) {
            std::string v;
            if (!take_value(v)) return false;
            unsigned long id = 0;
            if (!parse_unsigned(v, 4294967295UL, id)) {
                error = "--data-id must be an integer from 0 to 4294967295, not '" + v + "'";
                return false;
            }
            opts.by_data_id = true;
            opts.data_id = static_cast<long long>(id);
        } else if (arg == "--since" && opts.command == Command::history) {
            std::string v;
            if (!take_value(v)) return false;
            if (!smdhistory::parse_time(v, opts.since)) {
                error = "--since must be YYYY-MM-DDTHH:MM:SS (local time) or epoch seconds, not '" +
                        v + "'";
                return false;
            }
            opts.by_since = true;
        } else if (arg == "--last" && opts.command == Command::history) {
            std::string v;
            if (!take_value(v)) return false;
            unsigned long k = 0;
            if (!parse_unsigned(v, 2147483647UL, k)) {
                error = "--last must be a count of records, not '" + v + "'";
                return false;
            }
            opts.last = static_cast<long long>(k);
        } else if (arg == "--hex" && opts.command == Command::decode) {
            if (!take_value(opts.hex)) return false;
            opts.has_hex = true;
        } else if (arg == "--ini-dir" && opts.command == Command::check) {
            if (!take_value(opts.ini_dir)) return false;
            if (opts.ini_dir.empty()) {
                error = "--ini-dir needs a folder";
                return false;
            }
        } else {
            error = "unknown option " + arg + " for " + first + " (try smdhost " + first +
                    " --help)";
            return false;
        }
    }

    if (replay && opts.files.empty()) {
        error = "replay needs at least one FILE";
        return false;
    }
    if (opts.restore && opts.history.empty()) {
        error = "--restore needs --history STORE to restore from";
        return false;
    }
    if (opts.command == Command::history && opts.files.empty()) {
        error = "history needs the STORE file";
        return false;
    }
    if (opts.command == Command::check && opts.files.empty()) {
        error = "check needs the CONFIG file";
        return false;
    }
    if (opts.command == Command::decode) {
        if (opts.has_hex && !opts.files.empty()) {
            error = "decode takes a FILE or --hex, not both";
            return false;
        }
        if (!opts.has_hex && opts.files.empty()) {
            error = "decode needs a FILE, - or --hex HEX";
            return false;
        }
    }
    if (listen) {
        if (opts.serial.empty()) {
            error = "listen needs --serial DEVICE";
            return false;
        }
        if (!smdhost::baud_supported(opts.baud)) {
            error = "--baud " + std::to_string(opts.baud) + " is not a serial line speed";
            return false;
        }
    }
    return true;
}

}  // namespace smdcli
