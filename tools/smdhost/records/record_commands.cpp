#include "tools/smdhost/records/record_commands.hpp"

#include <cstdio>
#include <iostream>

#include <unistd.h>

#include "tools/smdhost/records/history_store.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/records/record_fields.hpp"
#include "tools/smdhost/inputs/scenario.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdrecords {

namespace {

using smdfields::kRecordSize;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Text that may be meant as hex: printable ASCII and blanks only.
bool looks_like_text(const std::string& bytes) {
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!is_blank(c) && (u < 0x20 || u >= 0x7F)) return false;
    }
    return true;
}

bool parse_record_hex(const std::string& source, const std::string& text,
                      std::vector<unsigned char>& out, std::string& error) {
    out.clear();
    std::size_t digits = 0;
    int high = -1;
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (is_blank(c)) continue;
        const int v = hex_value(c);
        if (v < 0) {
            char shown[8];
            std::snprintf(shown, sizeof shown, static_cast<unsigned char>(c) < 0x20 ||
                                                       static_cast<unsigned char>(c) >= 0x7F
                                                   ? "\\x%02X"
                                                   : "%c",
                          static_cast<unsigned char>(c));
            error = source + ": '" + shown + "' at character " + std::to_string(k + 1) +
                    " is not a hex digit";
            return false;
        }
        ++digits;
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<unsigned char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) {
        error = source + ": odd number of hex digits (" + std::to_string(digits) + ")";
        return false;
    }
    if (out.size() != kRecordSize) {
        error = source + ": " + std::to_string(digits) + " hex digits hold " +
                std::to_string(out.size()) + (out.size() == 1 ? " byte" : " bytes") +
                "; a record is " + std::to_string(kRecordSize) +
                " bytes (" + std::to_string(2 * kRecordSize) + " hex digits)";
        return false;
    }
    return true;
}

bool json_wanted(smdcli::Format f) {
    return f == smdcli::Format::json ||
           (f == smdcli::Format::automatic && isatty(STDOUT_FILENO) == 0);
}

std::string epoch_text(double epoch) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", epoch);
    return buf;
}

// A CSV cell: quoted when it holds a separator, a quote or a line end (a
// store written by another program may hold anything in saved_at).
std::string csv_text(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string s = "\"";
    for (char c : text) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + "\"";
}

bool full_record(const smdhistory::StoredRecord& r) { return r.record.size() == kRecordSize; }

std::string length_problem(const smdhistory::StoredRecord& r) {
    return "record of " + std::to_string(r.record.size()) + " bytes, not " +
           std::to_string(kRecordSize);
}

}  // namespace

bool record_from_input(const std::string& source, const std::string& bytes, bool hex_only,
                       std::vector<unsigned char>& record, std::string& error) {
    if (!hex_only && bytes.size() == kRecordSize) {
        record.assign(bytes.begin(), bytes.end());
        return true;
    }
    if (hex_only || looks_like_text(bytes)) {
        if (bytes.empty()) {
            error = source + ": empty; a record is " + std::to_string(kRecordSize) + " bytes";
            return false;
        }
        return parse_record_hex(source, bytes, record, error);
    }
    error = source + ": " + std::to_string(bytes.size()) + " bytes; a record is " +
            std::to_string(kRecordSize) + " bytes";
    return false;
}

int run_decode(const smdcli::Options& opts) {
    std::string source = "--hex";
    std::string bytes = opts.hex;
    std::string error;
    if (!opts.has_hex) {
        source = opts.files[0] == "-" ? "standard input" : opts.files[0];
        if (!smdscenario::read_file(opts.files[0], bytes, error)) {
            std::cerr << "smdhost: " << error << std::endl;
            return smdsession::kExitFailure;
        }
    }
    std::vector<unsigned char> record;
    if (!record_from_input(source, bytes, opts.has_hex, record, error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    const smdfields::Decoded d = smdfields::decode_record(record.data());
    if (json_wanted(opts.format))
        std::cout << smdfields::to_json(d) << '\n';
    else
        std::cout << smdfields::to_text(d);
    std::cout.flush();
    return std::cout ? smdsession::kExitOk : smdsession::kExitFailure;
}

int run_history(const smdcli::Options& opts) {
    smdhistory::HistoryStore store;
    std::string error;
    if (!store.open_for_reading(opts.files[0], error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    smdhistory::Query q;
    q.by_data_id = opts.by_data_id;
    q.data_id = opts.data_id;
    q.by_since = opts.by_since;
    q.since = opts.since;
    q.last = opts.last;

    const bool csv = opts.format == smdcli::Format::csv;
    const bool json = !csv && json_wanted(opts.format);
    if (csv) {
        // The columns come from the layout, not from a row: an empty listing
        // still has its header, and every row has the same columns.
        const unsigned char zero[kRecordSize] = {};
        // device_data_id: the data id of the device that saved the row; the
        // record's own data_id column follows with the fields.
        std::cout << "row,device_data_id,saved_at,epoch,len,"
                  << smdfields::csv_header(smdfields::decode_record(zero)) << '\n';
    }
    std::size_t shown = 0;
    const bool ok = store.list(q, [&](const smdhistory::StoredRecord& r) {
        ++shown;
        const bool full = full_record(r);
        if (json) {
            std::string s = "{\"row\":" + std::to_string(r.row) +
                            ",\"data_id\":" + std::to_string(r.data_id) +
                            ",\"saved_at\":" + smdevents::json_string(r.saved_at) +
                            ",\"epoch\":" + epoch_text(r.epoch) +
                            ",\"len\":" + std::to_string(r.record.size()) + ",\"record\":";
            if (full)
                s += smdfields::to_json(smdfields::decode_record(r.record.data()));
            else
                s += "null,\"error\":" + smdevents::json_string(length_problem(r));
            s += ",\"hex\":\"" + smdevents::hex_upper(r.record.data(), r.record.size()) + "\"}";
            std::cout << s << '\n';
        } else if (csv) {
            std::cout << r.row << ',' << r.data_id << ',' << csv_text(r.saved_at) << ','
                      << epoch_text(r.epoch) << ',' << r.record.size() << ',';
            if (full) std::cout << smdfields::csv_row(smdfields::decode_record(r.record.data()));
            std::cout << '\n';
        } else {
            if (shown > 1) std::cout << '\n';
            std::cout << "record " << r.row << "  data id " << r.data_id << "  saved "
                      << r.saved_at << "  " << r.record.size() << " bytes\n";
            if (full)
                std::cout << smdfields::to_text(smdfields::decode_record(r.record.data()), "  ");
            else
                std::cout << "  (" << length_problem(r) << ": not decoded)\n";
        }
    }, error);
    std::cout.flush();
    if (!ok) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    if (shown == 0 && !json && !csv) std::cout << "no stored record matches\n";
    return std::cout ? smdsession::kExitOk : smdsession::kExitFailure;
}

}  // namespace smdrecords
