#include "tools/smdhost/cli/cli.hpp"

#include <memory>

#include <CLI/CLI.hpp>

#include "tools/common/cli_options.hpp"
#include "tools/smdhost/outputs/http/listen_address.hpp"
#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"
#include "tools/smdhost/session/local_time.hpp"

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
    "                       show a 1257-byte data record as named values\n"
    "  check CONFIG...      tell what the plug-in will make of configurations\n"
    "  stats FILE...        health of a capture: frames, faults, cycles, no plug-in\n"
    "  signals [FILTER]     list every value, alarm, threshold and report by name\n"
    "                       and id: the signal catalogue\n"
    "\n"
    "`smdhost COMMAND --help` describes a command.\n";

const char kExitStatus[] =
    "Exit status: 0 done; 1 plug-in, configuration, device, input or output failure\n"
    "(the reason on standard error); 2 bad usage or a malformed scenario line\n"
    "(reported as FILE:LINE: message).";

const char kReplay[] =
    "usage: smdhost replay FILE... [--raw] [--config F] [--plugin P]\n"
    "                      [--format json|text] [--diagnostics] [--address N]\n"
    "                      [--baud B] [-v] [--history STORE [--restore]]\n"
    "                      [--http ADDR:PORT [--linger S]] [--mqtt URL]\n"
    "                      [--ini-dir DIR]\n"
    "       smdhost replay FILE... --device ADDR=CONFIG... [options but --config\n"
    "                      and --address]\n"
    "\n"
    "Runs scenario files in order on one device (one per --device) and a simulated\n"
    "clock that starts at 2026-01-01T00:00:00 local time. One directive per line;\n"
    "blank lines and lines starting with # are ignored:\n"
    "  ~...                   a frame as heard on the line (LF or CRLF ends it too)\n"
    "  > [adr=N] CID1 CID2 [HEX]\n"
    "                         a frame written decoded (VER 20, ADR 01 or N), encoded\n"
    "                         and framed like a heard one\n"
    "  !raw HEX               bytes as heard on the line, framed as they come with\n"
    "                         no line end added (listen --record writes these where\n"
    "                         a frame line cannot hold what was heard)\n"
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
    "With several devices (--device) a ! directive acts on every device, or with\n"
    "adr=N as its first argument (!get adr=2 NAME) on the device of address N.\n"
    "A @PATH is relative to the scenario file's folder and read when its line runs:\n"
    "a !load file holds at most 1 MiB. A line holds at most 1 MiB; a UTF-8\n"
    "byte-order mark at the start of a file is skipped. The clock stays between\n"
    "1400-01-01T00:00:00 and 9999-12-31T23:59:59 local time, the calendar of the\n"
    "plug-in's time functions; a line that would take it out is malformed.\n"
    "Scenario files are checked whole before the plug-in sees any of them;\n"
    "- (standard input) and pipes run as they come and stop at the first malformed\n"
    "line.\n"
    "\n"
    "Beside the plug-in the bench host follows the other master's interrogation\n"
    "cycles on the line: the text view numbers rounds by cycle, shows each dropped\n"
    "cycle with its reason and ends with a summary of the line.\n";

const char kListen[] =
    "usage: smdhost listen --serial DEVICE [--baud B] [--parity P] [--stop-bits N]\n"
    "                      [--reset-every S] [--record FILE] [--config F]\n"
    "                      [--plugin P] [--format json|text] [--diagnostics]\n"
    "                      [--address N] [-v] [--history STORE [--restore]]\n"
    "                      [--http ADDR:PORT] [--mqtt URL] [--ini-dir DIR]\n"
    "       smdhost listen --serial DEVICE --device ADDR=CONFIG... [options but\n"
    "                      --config and --address]\n"
    "\n"
    "Opens a serial device or pseudo-terminal (raw, 8N1 unless told otherwise),\n"
    "locked for exclusive use, and runs the plug-in on what it hears, on the wall\n"
    "clock: RefreshStatus() every second, Reset() every 60 seconds. When the device\n"
    "disappears it is reopened with back-off; the loss and the recovery are reported\n"
    "once each (on standard error in json format). A silence longer than three\n"
    "interrogation cycles and the line's return are told once each too (text\n"
    "view; with --diagnostics on standard error). SIGINT, SIGTERM or SIGHUP stops\n"
    "it cleanly (exit status 0) after the line's summary. Under systemd\n"
    "(NOTIFY_SOCKET set) it reports readiness once the line is open, its state as\n"
    "STATUS=, feeds the watchdog (WATCHDOG_USEC) from the line loop and says\n"
    "STOPPING=1 when it stops.\n";

const char kHistory[] =
    "usage: smdhost history STORE [--data-id N] [--since T] [--last K]\n"
    "                       [--fields NAME,...] [--all] [--format json|csv|text]\n"
    "\n"
    "Lists the records kept in STORE by `smdhost replay|listen --history STORE`,\n"
    "oldest first, each with its data id, the host clock's time of the save and\n"
    "its values by signal catalogue name (`smdhost signals` lists them). The store\n"
    "is only read. The same values are in its SQLite view history_value:\n"
    "  sqlite3 STORE \"select saved_at, value from history_value\n"
    "                 where name = 'dc.1.voltage'\"\n";

const char kHistoryStatus[] =
    "Exit status: 0 listed (possibly nothing), 1 STORE missing or not a history\n"
    "store, or the listing could not be written, 2 bad usage.";

const char kDecode[] =
    "usage: smdhost decode [FILE | - | --hex HEX] [--fields NAME,...] [--all]\n"
    "                      [--format json|text]\n"
    "\n"
    "Shows a 1257-byte data record (data id 5535) by signal catalogue name and\n"
    "unit (`smdhost signals` lists them): counts and the values they announce\n"
    "(never more than the record holds), the invalid-value marker\n"
    "(bytes CD CC CC BD) as invalid, the time stamp as a date and time, and notes\n"
    "on counts above capacity and reserved bytes that are set.\n"
    "FILE (at most 1 MiB) holds the 1257 bytes, or their hex digits as text\n"
    "(blanks and line ends allowed between bytes, as in a publish event's\n"
    "\"record\"); - reads standard input.\n";

const char kDecodeStatus[] =
    "Exit status: 0 decoded, 1 unreadable input, bad hex, not 1257 bytes or output\n"
    "not written, 2 bad usage.";

const char kCheck[] =
    "usage: smdhost check CONFIG... [--ini-dir DIR] [--strict] [--format text|json]\n"
    "\n"
    "Tells what the plug-in will make of the configuration CONFIG before it is\n"
    "deployed: every \"appSetting\" key and the value it becomes (values that\n"
    "silently read as 0, booleans, fractions, values cut to 8 bits, unknown\n"
    "keys), the threshold mode, the threshold file the plug-in would pick and\n"
    "what it holds (INI errors with file and line, AI signal ids too short to\n"
    "check), and the \"thresholdSetting\" items it would skip, and why. Signal ids\n"
    "in \"host\".\"levels\", \"thresholds\" and \"reports\" that the plug-in never\n"
    "reads in the configuration's threshold mode are warnings naming the nearest\n"
    "known id; ids that \"thresholdSetting\" or the threshold file define are warned\n"
    "of when they lie one character from a known id.\n"
    "The data id comes from the member \"host\" (default 1). CONFIG and the\n"
    "threshold file hold at most 1 MiB each. Several configurations (the devices\n"
    "of one line, each PATH or ADDR=PATH as --device takes it) are checked one\n"
    "after the other; two with the same data id, or two at one address, are an\n"
    "error.\n";

const char kCheckStatus[] =
    "Exit status: 0 no errors (warnings allowed, unless --strict), 1 errors in the\n"
    "configuration or its threshold file (with --strict: warnings too), or CONFIG\n"
    "cannot be read (the reason on standard error), 2 bad usage.";

const char kSignals[] =
    "usage: smdhost signals [--format json|text] [--mode N] [FILTER]\n"
    "\n"
    "Prints the signal catalogue: every value of the 1257-byte record (name, unit,\n"
    "offset, type, how an invalid reading is stored, description) and every alarm,\n"
    "threshold check and report the plug-in can send (id, host key, texts, level\n"
    "or the \"host\" member that decides it, threshold modes and settings,\n"
    "description), per channel, module and screen up to the record's capacities.\n"
    "FILTER is a comma-separated list of shell-style patterns matched segment by\n"
    "segment against value names (\"dc.*.voltage\", \"rect.12\" for a whole module)\n"
    "and against ids, keys and the values an entry reads (\"2206*\").\n";

const char kSignalsStatus[] =
    "Exit status: 0 listed, 1 FILTER matches nothing (the nearest name or id is\n"
    "suggested) or the output could not be written, 2 bad usage.";

const char kFieldsHelp[] =
    "only the values whose catalogue names match: a comma-separated list of "
    "shell-style patterns, matched segment by segment (\"dc.*.voltage,rect.*.current\"; "
    "\"rect.12\" is every value of module 12); a pattern that matches no name is refused";

const char kAllHelp[] =
    "every value up to the record's capacities, also those beyond their count byte "
    "(shown as stored); by default only the values the record reports";

const char kStats[] =
    "usage: smdhost stats FILE... [--raw] [--baud B] [--format json|text]\n"
    "\n"
    "A quick health check of a scenario or a raw capture (--raw) from the field,\n"
    "without a configuration or the plug-in: frames per minute by kind, bad frames\n"
    "by failure kind and their share, the interrogation cycles seen and how many\n"
    "completed (all eight replies accepted), the cycle period, the longest silence\n"
    "and, per command pair, the share of cycles it was answered in. Input is read as\n"
    "it comes, like replay's; of a scenario only frame lines (~..., >, !raw) and\n"
    "clock lines (@+, @=) count, other directives are ignored.\n";

const char kStatsStatus[] =
    "Exit status: 0 summarised, 1 input that cannot be read or output not written,\n"
    "2 bad usage or a malformed scenario line (FILE:LINE: message).";

const char kConfigHelp[] =
    "device configuration (JSON, at most 1 MiB, nested at most 128 levels) handed "
    "whole to InitSetting; its member \"host\" sets the host side: \"dataId\" "
    "(default 1), \"levels\" {id: level}, \"thresholds\" {id: value}, \"reports\" "
    "{id: {abs_enable, abs_band, pct_enable, pct_band, period_enable, period_min, "
    "last_time, last_value}}. Without it the configuration is {}";

// Adds one --device to `devices`; a second device at an address already
// taken is refused, naming both.
void add_device(const std::string& text, std::vector<DeviceOption>& devices) {
    DeviceOption d;
    const std::string why = read_device_option(text, d);
    if (!why.empty()) throw CLI::ValidationError("--device", why);
    for (const DeviceOption& other : devices)
        if (other.address == d.address)
            throw CLI::ValidationError("--device", "'" + text + "': address " +
                                                       std::to_string(d.address) +
                                                       " already has a device ('" +
                                                       other.text() + "')");
    devices.push_back(d);
}

// What replay and listen share; the format word is mapped afterwards.
void add_device_options(CLI::App& cmd, Options& o, std::string& format) {
    cmd.add_option_function<std::vector<std::string>>(
           "--device",
           [&o](const std::vector<std::string>& texts) {
               for (const auto& t : texts) add_device(t, o.devices);
           },
           "one device on address ADDR (0-255, decimal or 0x..) with its configuration "
           "CONFIG, for a line that carries several plants; repeat it for each. Each device "
           "is made from the one plug-in with its own data id (CONFIG's \"host\" member; they "
           "must differ), maps and threshold file, and hears only the frames of its address "
           "(and every bad frame); frames of an address with no device are counted and "
           "dropped. With more than one, every event carries \"adr\" and the text view "
           "prefixes each line with the device. Not with --config or --address")
        ->type_name("ADDR=CONFIG")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    toolcli::add_text(cmd, "--config", o.config, kConfigHelp, "FILE");
    toolcli::add_text(cmd, "--plugin", o.plugin,
                      "plug-in to load (default ../lib/tarnel_brelm_pxr52_419.so next to this "
                      "program)",
                      "PATH");
    toolcli::add_choice(cmd, "--format", format, {"json", "text"},
                        "json: one event object per line (default when standard output is not a "
                        "terminal); text: a summary per published round with alarms raised and "
                        "cleared (default on a terminal)");
    toolcli::add_address(cmd, "--address", o.address,
                         "only frames of device address N (0-255, decimal or 0x..) reach the "
                         "plug-in; others on a shared bus are dropped");
    cmd.add_flag("-v,--verbose", o.verbose,
                 "text format: also show every frame dissected (time, scenario line or byte "
                 "offset, ADR, CID1, CID2 or RTN, LENID, information bytes; for a bad frame what "
                 "was wrong) and the plug-in's log");
    cmd.add_flag("--diagnostics", o.diagnostics,
                 "json format: also a \"cycle\" event per interrogation cycle heard (each "
                 "command pair's outcome, whether the plug-in published and why not) and a "
                 "\"line\" event with the line's totals at the end; a silence and the line's "
                 "return are told on standard error. The text view always shows these");
    toolcli::add_text(cmd, "--history", o.history,
                      "keep every record the plug-in saves as history (SaveDeviceHistory) in the "
                      "SQLite file STORE, created when absent; each record is committed at once, "
                      "so a killed smdhost loses none it has saved, and a store that vanishes "
                      "during the run is reported",
                      "STORE");
    toolcli::add_text(cmd, "--http", o.http,
                      "serve the monitor over HTTP at [ADDR:]PORT (address 127.0.0.1 unless one is "
                      "given; [::1]:PORT for IPv6): /metrics for "
                      "Prometheus, / the dashboard, /events the events as server-sent events, "
                      "/api/ JSON of current values, alarms, line health and, with --history, "
                      "stored values; read-only. The address served is told on standard error",
                      "ADDR:PORT")
        ->check([](const std::string& text) {
            try {
                smdhttp::parse_listen_address(text);
            } catch (const std::invalid_argument& e) {
                return std::string(e.what());
            }
            return std::string();
        });
    cmd.add_flag("--restore", o.restore,
                 "with --history: after InitSetting, hand the newest stored record of the "
                 "device's data id to LoadFromCache, as the monitoring unit does from its cache "
                 "(a stored row that is not 1257 bytes is refused with a warning)");
    toolcli::add_text(cmd, "--mqtt", o.mqtt,
                      "publish to the MQTT broker at mqtt://HOST[:PORT][/ROOT] (port 1883; ROOT "
                      "default pxr52/DATAID, with several devices ROOT/DATAID), every message "
                      "retained, QoS 1: ROOT/status \"online\", \"stale\" (no record for 61 s) "
                      "or \"offline\" (a stop, and the last will); ROOT/value/NAME per catalogue "
                      "value of a record, as text; ROOT/alarm/ID {\"active\",\"level\",\"text\"} "
                      "when first checked and on every change; ROOT/record the record as one "
                      "JSON object. Reconnects with back-off; the line never waits for the "
                      "broker, and on reconnect it gets the latest values, never stale ones",
                      "URL");
    toolcli::add_text(cmd, "--ini-dir", o.ini_dir,
                      "the folder the plug-in reads as ./ini/ (its threshold files), whatever "
                      "the working directory: smdhost makes every path it is given absolute "
                      "and runs in a private temporary folder holding only ini, a link to DIR",
                      "DIR");
}

Format format_of(const std::string& word) {
    if (word == "json") return Format::json;
    if (word == "text") return Format::text;
    if (word == "csv") return Format::csv;
    return Format::automatic;
}

}  // namespace

std::string read_device_option(const std::string& text, DeviceOption& out) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq + 1 >= text.size())
        return "'" + text + "' is not ADDR=CONFIG (a device address, '=', a configuration file)";
    bool negative = false;
    unsigned long long adr = 0;
    const std::string why = toolcli::read_whole(text.substr(0, eq), 0, 255, negative, adr);
    if (!why.empty() || adr > 255)
        return "'" + text + "': the address '" + text.substr(0, eq) +
               "' is not a device address (0-255, decimal or 0x..)";
    out.address = static_cast<int>(adr);
    out.config = text.substr(eq + 1);
    return std::string();
}

int parse_command_line(int argc, char** argv, Options& o) {
    o = Options{};
    // "smdhost help [COMMAND]" is "smdhost [COMMAND] --help".
    std::vector<std::string> words(argv, argv + argc);
    if (words.size() >= 2 && words[1] == "help") {
        words.erase(words.begin() + 1);
        if (words.size() > 2) words.resize(2);
        words.push_back("--help");
    }
    std::vector<const char*> args;
    for (const auto& w : words) args.push_back(w.c_str());

    auto app = toolcli::make_app("smdhost", kOverview, "smdhost " SMD_VERSION);
    app->footer(kExitStatus);
    app->require_subcommand(1);
    std::string format;

    CLI::App* replay = app->add_subcommand("replay", kReplay);
    replay->footer(kExitStatus);
    replay->add_option("FILE", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    replay->add_flag("--raw", o.raw,
                     "the files are raw line captures: their bytes are framed as a stream, read "
                     "as they come, and the clock advances by each byte's time on the wire (10 "
                     "bits at --baud)");
    add_device_options(*replay, o, format);
    toolcli::add_baud(*replay, "--baud", o.baud,
                      "line speed of a raw capture: " + serial::baud_list() + " (default 9600)");
    toolcli::add_decimal(*replay, "--linger", o.linger, 0.0, 1e9, false,
                         "with --http: keep serving S seconds after the input ended (the last "
                         "values, then stale after 61 s); SIGINT or SIGTERM ends it early");

    CLI::App* listen = app->add_subcommand("listen", kListen);
    listen->footer(kExitStatus);
    toolcli::add_text(*listen, "--serial", o.serial,
                      "the serial device to listen on (required); a second listener on a "
                      "device already held is refused",
                      "DEVICE");
    toolcli::add_baud(*listen, "--baud", o.baud,
                      "line speed: " + serial::baud_list() + " (default 9600)");
    std::string parity = "none";
    toolcli::add_choice(*listen, "--parity", parity, {"none", "even", "odd"},
                        "parity bit (default none); with parity, a character that fails it "
                        "reaches the framing as a NUL byte, which spoils its frame");
    toolcli::add_whole(*listen, "--stop-bits", o.stop_bits, 1, 2, "stop bits (default 1)",
                       "1|2");
    toolcli::add_decimal(*listen, "--reset-every", o.reset_every, 0.0, 1e9, true,
                         "seconds between Reset() calls (default 60)");
    toolcli::add_text(*listen, "--record", o.record,
                      "also write what is heard as a scenario that `smdhost replay` plays back "
                      "the same: frame lines (bad ones too), !raw lines for what a frame line "
                      "cannot hold (a flood of SOI without an end), @+S timing, !refresh and "
                      "!reset; a write error stops listening with exit status 1",
                      "FILE");
    add_device_options(*listen, o, format);

    CLI::App* history = app->add_subcommand("history", kHistory);
    history->footer(kHistoryStatus);
    history->add_option("STORE", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    toolcli::add_whole(*history, "--data-id", o.data_id, 0, 4294967295LL,
                       "only records saved by the device of data id N");
    CLI::Option* since = history->add_option_function<std::string>(
        "--since",
        [&o](const std::string& text) {
            std::string why;
            double epoch = 0.0;
            if (!smdtime::parse_local_loose(text, epoch, why) &&
                !toolcli::read_decimal(text, -1e15, 1e15, false, epoch).empty())
                throw CLI::ValidationError(
                    "--since", "'" + text +
                                   "' is not YYYY-MM-DDTHH:MM:SS (local time), a date or epoch "
                                   "seconds");
            o.since = epoch;
            o.by_since = true;
        },
        "only records saved at or after T: local time YYYY-MM-DDTHH:MM:SS (or a date alone), "
        "or epoch seconds");
    since->type_name("T");
    toolcli::add_whole(*history, "--last", o.last, 0, 2147483647LL,
                       "only the last K records (after the filters above)", "K");
    toolcli::add_text(*history, "--fields", o.fields, kFieldsHelp, "NAME,...");
    history->add_flag("--all", o.all, kAllHelp);
    toolcli::add_choice(*history, "--format", format, {"json", "csv", "text"},
                        "json: one object per line (default when standard output is not a "
                        "terminal); csv: a header and one row per record, one column per value "
                        "(\"name [unit]\"), the values any listed record reports (empty cells "
                        "where a record does not); text: one block per record (default on a "
                        "terminal)");

    CLI::App* decode = app->add_subcommand("decode", kDecode);
    decode->footer(kDecodeStatus);
    decode->add_option("FILE", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    decode->add_option("--hex", o.hex, "the record as hex digits on the command line")
        ->type_name("HEX");
    toolcli::add_text(*decode, "--fields", o.fields, kFieldsHelp, "NAME,...");
    decode->add_flag("--all", o.all, kAllHelp);
    toolcli::add_choice(*decode, "--format", format, {"json", "text"},
                        "json: one object {\"values\": {name: value}, \"units\": {name: unit}, "
                        "\"notes\": [...]} (default when standard output is not a terminal); "
                        "text: one line per value");

    CLI::App* check = app->add_subcommand("check", kCheck);
    check->footer(kCheckStatus);
    check->add_option("CONFIG", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    toolcli::add_text(*check, "--ini-dir", o.ini_dir,
                      "the folder the plug-in knows as ./ini/ (default: ini in the working "
                      "directory)",
                      "DIR");
    check->add_flag("--strict", o.strict, "warnings fail the check too (exit status 1)");
    toolcli::add_choice(*check, "--format", format, {"text", "json"},
                        "text: the report for people (default); json: one object with the "
                        "errors and warnings, each with its message, file, member and id, for "
                        "scripts");

    CLI::App* stats = app->add_subcommand("stats", kStats);
    stats->footer(kStatsStatus);
    stats->add_option("FILE", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    stats->add_flag("--raw", o.raw, "the files are raw line captures, timed by --baud");
    toolcli::add_baud(*stats, "--baud", o.baud,
                      "line speed of a raw capture: " + serial::baud_list() + " (default 9600)");
    toolcli::add_choice(*stats, "--format", format, {"json", "text"},
                        "json: one \"stats\" object (default when standard output is not a "
                        "terminal); text: a table (default on a terminal)");

    CLI::App* signals = app->add_subcommand("signals", kSignals);
    signals->footer(kSignalsStatus);
    signals->add_option("FILTER", o.files)->group("")->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    toolcli::add_choice(*signals, "--format", format, {"json", "text"},
                        "json: one object per line, the values first (default when standard "
                        "output is not a terminal); text: tables for people (default on a "
                        "terminal)");
    toolcli::add_whole(*signals, "--mode", o.mode, 0, 2147483647,
                       "only the alarms, thresholds and reports the plug-in sends in threshold "
                       "mode N (\"appSetting\".\"b_mode\"); values are listed whatever the mode");

    if (args.size() < 2) return toolcli::usage_error(*app, "no command given");
    const std::string first = args[1];
    if (!first.empty() && first[0] != '-' &&
        app->get_subcommands([&first](const CLI::App* c) { return c->get_name() == first; })
            .empty())
        return toolcli::usage_error(*app, "unknown command '" + first + "'");
    const int parsed = toolcli::parse(*app, static_cast<int>(args.size()), args.data());
    if (parsed >= 0) return parsed;

    CLI::App* cmd = nullptr;
    if (replay->parsed()) o.command = Command::replay, cmd = replay;
    if (listen->parsed()) o.command = Command::listen, cmd = listen;
    if (history->parsed()) o.command = Command::history, cmd = history;
    if (decode->parsed()) o.command = Command::decode, cmd = decode;
    if (check->parsed()) o.command = Command::check, cmd = check;
    if (stats->parsed()) o.command = Command::stats, cmd = stats;
    if (signals->parsed()) o.command = Command::signals, cmd = signals;
    if (cmd == nullptr) return toolcli::usage_error(*app, "no command given");
    o.format = format_of(format);
    o.has_hex = decode->count("--hex") > 0;
    o.by_data_id = history->count("--data-id") > 0;
    o.by_mode = signals->count("--mode") > 0;
    serial::parity_from_text(parity, o.parity);

    switch (o.command) {
        case Command::replay:
        case Command::stats:
            if (o.files.empty())
                return toolcli::usage_error(*cmd, cmd->get_name() + " needs at least one FILE");
            break;
        case Command::listen:
            if (o.serial.empty()) return toolcli::usage_error(*cmd, "listen needs --serial DEVICE");
            break;
        case Command::history:
            if (o.files.size() != 1)
                return toolcli::usage_error(*cmd, o.files.empty() ? "history needs the STORE file"
                                                                  : "history takes one STORE file");
            break;
        case Command::check:
            if (o.files.empty()) return toolcli::usage_error(*cmd, "check needs the CONFIG file");
            break;
        case Command::decode:
            if (o.has_hex && !o.files.empty())
                return toolcli::usage_error(*cmd, "decode takes a FILE or --hex, not both");
            if (!o.has_hex && o.files.size() != 1)
                return toolcli::usage_error(*cmd, o.files.empty()
                                                      ? "decode needs a FILE, - or --hex HEX"
                                                      : "decode takes one FILE");
            break;
        case Command::signals:
            // Several FILTER words are one list: `signals dc.1 rect.2` is `signals dc.1,rect.2`.
            for (const std::string& f : o.files) o.filter += (o.filter.empty() ? "" : ",") + f;
            o.files.clear();
            break;
        case Command::none:
            break;
    }
    if (replay->count("--linger") > 0 && o.http.empty())
        return toolcli::usage_error(*cmd, "--linger needs --http ADDR:PORT to serve from");
    if (!o.devices.empty() && (!o.config.empty() || o.address >= 0))
        return toolcli::usage_error(
            *cmd, std::string("--device gives each device its address and configuration: not with ") +
                      (!o.config.empty() ? "--config" : "--address"));
    if (o.restore && o.history.empty())
        return toolcli::usage_error(*cmd, "--restore needs --history STORE to restore from");
    if (!o.mqtt.empty()) {
        try {
            smdmqtt::parse_mqtt_url(o.mqtt);
        } catch (const std::invalid_argument& e) {
            return toolcli::usage_error(*cmd, std::string("--mqtt: ") + e.what());
        }
    }
    return -1;
}

}  // namespace smdcli
