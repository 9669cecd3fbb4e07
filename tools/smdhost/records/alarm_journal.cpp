#include "tools/smdhost/records/alarm_journal.hpp"
#include "tools/smdhost/records/sqlite_calls.hpp"

#include <sqlite3.h>

namespace smdhistory {

namespace {

const char kCreate[] =
    "CREATE TABLE IF NOT EXISTS alarms("
    " row INTEGER PRIMARY KEY,"
    " data_id INTEGER NOT NULL,"
    " id TEXT NOT NULL,"
    " key TEXT NOT NULL,"
    " level INTEGER NOT NULL,"
    " text1 TEXT NOT NULL,"
    " text2 TEXT NOT NULL,"
    " raised REAL NOT NULL,"
    " cleared REAL);"
    "CREATE INDEX IF NOT EXISTS alarms_by_time ON alarms(data_id, raised);"
    // The monitor's plots read records by time.
    "CREATE INDEX IF NOT EXISTS history_by_time ON history(data_id, epoch);"
    "UPDATE alarms SET cleared = max(raised, coalesce("
    " (SELECT max(epoch) FROM history WHERE history.data_id = alarms.data_id), raised))"
    " WHERE cleared IS NULL;";

constexpr int kBusyMs = 5000;

bool bind_text(sqlite3_stmt* s, int k, const std::string& text) {
    return sqlite3_bind_text(s, k, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

}  // namespace

AlarmJournal::~AlarmJournal() {
    if (db_ != nullptr) sqlite3_close(db_);
}

bool AlarmJournal::exec(const char* sql, std::string& error) {
    if (exec_sql(db_, sql, error)) return true;
    error = path_ + ": alarm journal: " + error;
    return false;
}

bool AlarmJournal::open(const std::string& path, std::string& error) {
    path_ = path;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        error = path + ": alarm journal: " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    return exec(kCreate, error);
}

bool AlarmJournal::record(long long data_id, const smdsession::AlarmChanges& changes, double now,
                          std::string& error) {
    if (db_ == nullptr || changes.empty()) return true;
    if (!exec("BEGIN", error)) return false;
    bool ok = true;
    Statement clear(db_, "UPDATE alarms SET cleared = ?1 WHERE row = ?2");
    Statement raise(db_,
                    "INSERT INTO alarms(data_id, id, key, level, text1, text2, raised)"
                    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Statement relevel(db_, "UPDATE alarms SET level = ?1 WHERE row = ?2");
    ok = clear.get() != nullptr && raise.get() != nullptr && relevel.get() != nullptr;
    for (const auto& a : changes.cleared) {
        if (!ok) break;
        const auto it = open_rows_.find({data_id, a.key + '\x1f' + a.id});
        if (it == open_rows_.end()) continue;
        ok = sqlite3_bind_double(clear.get(), 1, now) == SQLITE_OK &&
             sqlite3_bind_int64(clear.get(), 2, it->second) == SQLITE_OK &&
             sqlite3_step(clear.get()) == SQLITE_DONE;
        sqlite3_reset(clear.get());
        open_rows_.erase(it);
    }
    for (const auto& a : changes.raised) {
        if (!ok) break;
        const auto host_key = std::make_pair(data_id, a.key + '\x1f' + a.id);
        const auto it = open_rows_.find(host_key);
        if (it != open_rows_.end()) {
            ok = sqlite3_bind_int(relevel.get(), 1, a.level) == SQLITE_OK &&
                 sqlite3_bind_int64(relevel.get(), 2, it->second) == SQLITE_OK &&
                 sqlite3_step(relevel.get()) == SQLITE_DONE;
            sqlite3_reset(relevel.get());
            continue;
        }
        ok = sqlite3_bind_int64(raise.get(), 1, data_id) == SQLITE_OK && bind_text(raise.get(), 2, a.id) &&
             bind_text(raise.get(), 3, a.key) && sqlite3_bind_int(raise.get(), 4, a.level) == SQLITE_OK &&
             bind_text(raise.get(), 5, a.text1) && bind_text(raise.get(), 6, a.text2) &&
             sqlite3_bind_double(raise.get(), 7, a.since) == SQLITE_OK &&
             sqlite3_step(raise.get()) == SQLITE_DONE;
        sqlite3_reset(raise.get());
        if (ok) open_rows_[host_key] = sqlite3_last_insert_rowid(db_);
    }
    if (!ok) {
        error = path_ + ": alarm journal: " + sqlite3_errmsg(db_);
        std::string ignored;
        exec("ROLLBACK", ignored);
        return false;
    }
    return exec("COMMIT", error);
}

}  // namespace smdhistory
