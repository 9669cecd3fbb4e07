// The alarms of a history store: every raise and clear of a host alarm, so
// that plots of stored values can show when alarms were active.
//
//   alarms(row INTEGER PRIMARY KEY
//          data_id INTEGER        the device's data id
//          id TEXT, key TEXT      the signal id and the host key
//          level INTEGER          the level it is active at (the latest)
//          text1 TEXT, text2 TEXT the texts the plug-in sent with it
//          raised REAL            host clock at the raise, seconds since the epoch
//          cleared REAL)          host clock at the clear; NULL while active
//
// Kept beside the history table in the same SQLite file, on a connection of
// its own (WAL: the record saves and the reads of the monitor never wait
// for one another for long). Rows that a previous run left active are
// closed when the journal opens, at that data id's last stored record: a
// run that ended knows nothing of the alarms after it.
#pragma once

#include <map>
#include <string>

#include "tools/smdhost/session/alarm_tracker.hpp"

struct sqlite3;

namespace smdhistory {

class AlarmJournal {
public:
    AlarmJournal() = default;
    ~AlarmJournal();
    AlarmJournal(const AlarmJournal&) = delete;
    AlarmJournal& operator=(const AlarmJournal&) = delete;

    // Opens the store at `path` (which the HistoryStore has created) and
    // makes the table and the indexes the reads by time use.
    bool open(const std::string& path, std::string& error);

    // Writes the changes of one batch, committed together.
    bool record(long long data_id, const smdsession::AlarmChanges& changes, double now,
                std::string& error);

private:
    bool exec(const char* sql, std::string& error);
    std::string path_;
    sqlite3* db_ = nullptr;
    std::map<std::pair<long long, std::string>, long long> open_rows_;  // (data id, host key) -> row
};

}  // namespace smdhistory
