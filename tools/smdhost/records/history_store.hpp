// The bench host's history store: every record the plug-in hands to
// SaveDeviceHistory, kept in an SQLite database, as the monitoring unit keeps
// device history.
//
//   history(row INTEGER PRIMARY KEY   order of saving, 1, 2, ...
//           data_id INTEGER           the saving device's data id
//           saved_at TEXT             host clock at the save, local time,
//                                     YYYY-MM-DDTHH:MM:SS
//           epoch REAL                the same instant, seconds since the epoch
//           record BLOB)              the bytes as saved
//
// Beside the records, their values by catalogue name (history_values.hpp):
// the table record_value_raw and the views record_value and history_value,
// written in the same transaction as the record.
//
// The database runs in WAL mode and each record is committed on its own
// before save() returns: a process killed at any point loses no record whose
// save() returned true. ("synchronous" is NORMAL: a committed record survives
// a crash of the process; an operating-system crash or power loss may drop the
// last few.) The store file is outside input when read back: rows may hold
// anything, and readers check lengths before decoding.
//
// SQLite goes on writing into a database file that was deleted (or whose
// folder was) while it is open, and every commit succeeds into a file nobody
// can read any more. So each save first asks whether the path still names the
// file that was opened (one stat() per record); when it does not, the save
// fails and the store counts as vanished.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/smdhost/records/history_values.hpp"

struct sqlite3;
struct sqlite3_stmt;

namespace smdhistory {

struct StoredRecord {
    long long row = 0;
    long long data_id = 0;
    std::string saved_at;
    double epoch = 0.0;
    std::vector<unsigned char> record;
};

struct Query {
    bool by_data_id = false;
    long long data_id = 0;
    bool by_since = false;
    double since = 0.0;     // epoch seconds; rows saved at or after it
    long long last = -1;    // >= 0: only the last `last` rows that match
};

class HistoryStore {
public:
    HistoryStore() = default;
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Opens `path` for saving, creating the file and its tables when needed;
    // a store from before the values table gets it, filled for the records
    // it holds (migrated() tells how many).
    bool open_for_writing(const std::string& path, std::string& error);
    std::size_t migrated() const { return migrated_; }
    // Opens an existing store read-only; an absent file or one without the
    // history table is an error (nothing is created).
    bool open_for_reading(const std::string& path, std::string& error);

    // Saves and commits one record and its values. False with the reason in `error`, also
    // when the store vanished (vanished() then holds).
    bool save(long long data_id, double epoch, const unsigned char* record, std::size_t len,
              std::string& error);
    bool vanished() const { return vanished_; }
    const std::string& path() const { return path_; }

    // The last saved record of `data_id` (highest row: a simulated clock may
    // run backwards between runs, the order of saving does not). `found`
    // false when there is none.
    bool newest(long long data_id, StoredRecord& out, bool& found, std::string& error);

    // Starts a read transaction on a store open for reading: every listing
    // from here to close sees the same rows, whatever a writer adds.
    bool begin_reading(std::string& error);

    // Calls `each` for every matching row in the order of saving.
    bool list(const Query& q, const std::function<void(const StoredRecord&)>& each,
              std::string& error);

private:
    bool exec(const char* sql, std::string& error);
    std::string message(const std::string& what) const;
    void close();

    std::string path_;
    unsigned long long device_ = 0;  // st_dev and st_ino of the file opened for writing
    unsigned long long inode_ = 0;
    bool vanished_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    HistoryValues values_;
    std::size_t migrated_ = 0;
};

}  // namespace smdhistory
