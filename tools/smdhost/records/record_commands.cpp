#include "tools/smdhost/records/record_commands.hpp"

#include <cstdio>
#include <iostream>

#include <unistd.h>

#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/outputs/csv.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/records/history_store.hpp"
#include "tools/smdhost/records/record_fields.hpp"
#include "tools/smdhost/session/output.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdrecords {

namespace {

using smdfields::kRecordSize;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
    hexcodec::DecodeError why;
    if (!hexcodec::decode(text, out, why)) {
        error = source + ": " + hexcodec::describe(why);
        return false;
    }
    if (out.size() != kRecordSize) {
        error = source + ": " + std::to_string(2 * out.size()) + " hex digits hold " +
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

bool full_record(const smdhistory::StoredRecord& r) { return r.record.size() == kRecordSize; }

std::string length_problem(const smdhistory::StoredRecord& r) {
    return "record of " + std::to_string(r.record.size()) + " bytes, not " +
           std::to_string(kRecordSize);
}

// The end of a listing: what could not be written is a failure, told once.
int finish_output(smdout::Output& out) {
    if (out.flush()) return smdsession::kExitOk;
    std::cerr << "smdhost: " << out.error() << std::endl;
    return smdsession::kExitFailure;
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
        if (!smdinput::read_small_file(opts.files[0], smdcli::kMaxRecordFile, "a record file",
                                       bytes, error)) {
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
    smdout::Output out(STDOUT_FILENO);
    if (json_wanted(opts.format))
        out.line(smdfields::to_json(d));
    else
        out.text(smdfields::to_text(d));
    return finish_output(out);
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

    smdout::Output out(STDOUT_FILENO);
    const bool csv = opts.format == smdcli::Format::csv;
    const bool json = !csv && json_wanted(opts.format);
    if (csv) {
        // The columns come from the layout, not from a row: an empty listing
        // still has its header, and every row has the same columns.
        const unsigned char zero[kRecordSize] = {};
        // device_data_id: the data id of the device that saved the row; the
        // record's own data_id column follows with the fields.
        smdcsv::Row header;
        header.add("row").add("device_data_id").add("saved_at").add("epoch").add("len");
        header.add_cells(smdfields::csv_header(smdfields::decode_record(zero)));
        out.line(header.str());
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
            s += ",\"hex\":\"" + hexcodec::upper(r.record.data(), r.record.size()) + "\"}";
            out.line(s);
        } else if (csv) {
            smdcsv::Row row;
            row.add(std::to_string(r.row)).add(std::to_string(r.data_id)).add(r.saved_at);
            row.add(epoch_text(r.epoch)).add(std::to_string(r.record.size()));
            // A short row keeps its place with an empty first field cell.
            row.add_cells(full ? smdfields::csv_row(smdfields::decode_record(r.record.data()))
                               : std::string());
            out.line(row.str());
        } else {
            std::string s = shown > 1 ? "\n" : "";
            s += "record " + std::to_string(r.row) + "  data id " + std::to_string(r.data_id) +
                 "  saved " + r.saved_at + "  " + std::to_string(r.record.size()) + " bytes\n";
            if (full)
                s += smdfields::to_text(smdfields::decode_record(r.record.data()), "  ");
            else
                s += "  (" + length_problem(r) + ": not decoded)\n";
            out.text(s);
        }
    }, error);
    if (!ok) {
        out.flush();
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    if (shown == 0 && !json && !csv) out.line("no stored record matches");
    return finish_output(out);
}

}  // namespace smdrecords
