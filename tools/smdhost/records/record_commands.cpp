#include "tools/smdhost/records/record_commands.hpp"

#include <cstdio>
#include <iostream>

#include <unistd.h>

#include "tools/common/hex_codec.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/outputs/csv.hpp"
#include "tools/smdhost/outputs/json_events.hpp"
#include "tools/smdhost/records/history_store.hpp"
#include "tools/smdhost/records/record_values.hpp"
#include "tools/smdhost/session/output.hpp"
#include "tools/smdhost/session/session.hpp"

namespace smdrecords {

namespace {

using smdcatalogue::ValueEntry;

// The columns of --fields, or a usage error told on standard error.
bool columns_of(const smdcli::Options& opts, std::vector<const ValueEntry*>& columns) {
    std::string error;
    if (select_columns(opts.fields, columns, error)) return true;
    std::cerr << "smdhost: " << error << std::endl;
    return false;
}

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

// Keeps of `columns` those that some listed record reports; with no full
// record listed, those that every record has (no count decides them).
bool present_columns(smdhistory::HistoryStore& store, const smdhistory::Query& q,
                     std::vector<const ValueEntry*>& columns, std::string& error) {
    std::vector<bool> keep(columns.size(), false);
    bool any = false;
    const bool ok = store.list(q, [&](const smdhistory::StoredRecord& r) {
        if (!full_record(r)) return;
        any = true;
        for (std::size_t k = 0; k < columns.size(); ++k)
            keep[k] = keep[k] || smdcatalogue::is_present(*columns[k], r.record.data(), r.record.size());
    }, error);
    if (!ok) return false;
    std::vector<const ValueEntry*> kept;
    for (std::size_t k = 0; k < columns.size(); ++k) {
        const bool always = !columns[k]->presence[0].used() && !columns[k]->presence[1].used();
        if (any ? keep[k] : always) kept.push_back(columns[k]);
    }
    columns.swap(kept);
    return true;
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
    std::vector<const ValueEntry*> columns;
    if (!columns_of(opts, columns)) return smdsession::kExitUsage;
    std::vector<unsigned char> record;
    if (!record_from_input(source, bytes, opts.has_hex, record, error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    const RecordValues v = read_record(record.data(), columns, opts.all);
    smdout::Output out(STDOUT_FILENO);
    if (json_wanted(opts.format))
        out.line(to_json(v));
    else
        out.text(to_text(v));
    return finish_output(out);
}

int run_history(const smdcli::Options& opts) {
    std::vector<const ValueEntry*> columns;
    if (!columns_of(opts, columns)) return smdsession::kExitUsage;
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
    // Both passes of a CSV listing read one snapshot of the store, whatever
    // a writer adds meanwhile.
    if (!store.begin_reading(error)) {
        std::cerr << "smdhost: " << error << std::endl;
        return smdsession::kExitFailure;
    }
    if (csv) {
        // Every row has the same columns: without --all, the values that any
        // listed record reports (a first pass), so that a site with six
        // rectifiers gets no columns for modules 7 to 40; an empty listing
        // keeps the values every record has.
        if (!opts.all && !present_columns(store, q, columns, error)) {
            std::cerr << "smdhost: " << error << std::endl;
            return smdsession::kExitFailure;
        }
        // device_data_id: the data id of the device that saved the row; the
        // record's own record.data_id column follows with the values.
        smdcsv::Row header;
        header.add("row").add("device_data_id").add("saved_at").add("epoch").add("len");
        if (!columns.empty()) header.add_cells(csv_headings(columns));
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
                s += to_json(read_record(r.record.data(), columns, opts.all));
            else
                s += "null,\"error\":" + smdevents::json_string(length_problem(r));
            s += ",\"hex\":\"" + hexcodec::upper(r.record.data(), r.record.size()) + "\"}";
            out.line(s);
        } else if (csv) {
            smdcsv::Row row;
            row.add(std::to_string(r.row)).add(std::to_string(r.data_id)).add(r.saved_at);
            row.add(epoch_text(r.epoch)).add(std::to_string(r.record.size()));
            // A short row keeps its place with empty value cells.
            if (!columns.empty())
                row.add_cells(full ? csv_cells(read_record(r.record.data(), columns, opts.all))
                                   : std::string(columns.size() - 1, ','));
            out.line(row.str());
        } else {
            std::string s = shown > 1 ? "\n" : "";
            s += "record " + std::to_string(r.row) + "  data id " + std::to_string(r.data_id) +
                 "  saved " + r.saved_at + "  " + std::to_string(r.record.size()) + " bytes\n";
            if (full)
                s += to_text(read_record(r.record.data(), columns, opts.all), "  ");
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
