// The named values of the history store: beside each saved record, the
// values it reports, by signal catalogue name, so that SQL reads them
// without decoding blobs:
//
//   sqlite3 site.db "select saved_at, value from history_value where name = 'dc.1.voltage'"
//
//   names(id INTEGER PRIMARY KEY, name TEXT UNIQUE, unit TEXT)
//                                 every catalogue value name, with its unit
//   record_value_raw(record_id    history.row of the record
//                    name_id      names.id
//                    value        the number: INTEGER for counts and state
//                                 bytes, REAL for readings (the shortest
//                                 decimal of the float), epoch seconds for
//                                 record.time; NULL when invalid
//                    text)        NULL where value says it all; otherwise the
//                                 reading as text: "invalid", "nan", "inf",
//                                 the time as YYYY-MM-DDTHH:MM:SS
//   view record_value(record_id, name, value, text, unit)
//                                 text filled for every row
//   view history_value(record_id, data_id, saved_at, epoch, name, value, text, unit)
//                                 the same joined with the record's row
//
// Only the values a record reports are kept (its count bytes cover them):
// a site with six rectifiers stores no rows for modules 7 to 40. The rows of
// a record are written in the transaction that saves the record, so a
// record is never kept without its values. record_value_raw is keyed by
// (record_id, name_id), which serves the joins; there is no index by name
// (what it costs per record against what it saves: README).
//
// A store written before the values existed (user_version 0) gets the
// tables, and the values of every record it holds, when it is next opened
// for writing; so does any record found without values then (written by a
// program that keeps records only).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace smdhistory {

class HistoryValues {
public:
    HistoryValues() = default;
    ~HistoryValues();
    HistoryValues(const HistoryValues&) = delete;
    HistoryValues& operator=(const HistoryValues&) = delete;

    // Creates what is missing (tables, views, the names) and fills in the
    // values of records stored before; then prepares the insert. `db` is
    // open for writing and stays owned by the caller. `migrated` gets the
    // number of records whose values were added.
    bool open(sqlite3* db, std::size_t& migrated, std::string& error);

    // Inserts the values of one record saved as history row `record_id`,
    // inside the caller's transaction. A record that is not 1257 bytes has
    // none.
    bool write(long long record_id, const unsigned char* record, std::size_t len,
               std::string& error);

    void close();

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    std::vector<long long> name_ids_;  // per catalogue value, in catalogue order
};

}  // namespace smdhistory
