#include "tools/smdhost/records/history_store.hpp"

#include <cerrno>
#include <cstring>

#include <sqlite3.h>
#include <sys/stat.h>

#include "tools/smdhost/session/local_time.hpp"
#include "tools/smdhost/records/sqlite_calls.hpp"

namespace smdhistory {

namespace {

const char kCreate[] =
    "CREATE TABLE IF NOT EXISTS history("
    " row INTEGER PRIMARY KEY,"
    " data_id INTEGER NOT NULL,"
    " saved_at TEXT NOT NULL,"
    " epoch REAL NOT NULL,"
    " record BLOB NOT NULL);"
    "CREATE INDEX IF NOT EXISTS history_by_data_id ON history(data_id, row);";

// Milliseconds a statement waits for another process's lock (a listing
// while a replay saves) before it gives up.
constexpr int kBusyMs = 5000;

StoredRecord row_of(sqlite3_stmt* s) {
    StoredRecord r;
    r.row = sqlite3_column_int64(s, 0);
    r.data_id = sqlite3_column_int64(s, 1);
    const unsigned char* text = sqlite3_column_text(s, 2);
    if (text != nullptr) r.saved_at = reinterpret_cast<const char*>(text);
    r.epoch = sqlite3_column_double(s, 3);
    const void* blob = sqlite3_column_blob(s, 4);
    const int len = sqlite3_column_bytes(s, 4);
    if (blob != nullptr && len > 0) {
        const auto* p = static_cast<const unsigned char*>(blob);
        r.record.assign(p, p + len);
    }
    return r;
}

}  // namespace

HistoryStore::~HistoryStore() { close(); }

void HistoryStore::close() {
    values_.close();
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    if (db_ != nullptr) sqlite3_close(db_);
    db_ = nullptr;
}

std::string HistoryStore::message(const std::string& what) const {
    return path_ + ": " + what + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
}

bool HistoryStore::exec(const char* sql, std::string& error) {
    if (exec_sql(db_, sql, error)) return true;
    error = path_ + ": " + error;
    return false;
}

bool HistoryStore::open_for_writing(const std::string& path, std::string& error) {
    close();
    path_ = path;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = message("cannot open the history store");
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    // WAL: a commit is one append to the log, readers are not blocked, and a
    // killed writer leaves every committed transaction readable.
    if (!exec("PRAGMA journal_mode=WAL;", error) || !exec("PRAGMA synchronous=NORMAL;", error) ||
        !exec(kCreate, error)) {
        close();
        return false;
    }
    std::string why;
    if (!values_.open(db_, migrated_, why)) {
        error = path_ + ": " + why;
        close();
        return false;
    }
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO history(data_id, saved_at, epoch, record) "
                           "VALUES(?1, ?2, ?3, ?4)",
                           -1, &insert_, nullptr) != SQLITE_OK) {
        error = message("not a history store");
        close();
        return false;
    }
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = path + ": cannot find the history store just opened: " + std::strerror(errno);
        close();
        return false;
    }
    device_ = static_cast<unsigned long long>(st.st_dev);
    inode_ = static_cast<unsigned long long>(st.st_ino);
    vanished_ = false;
    return true;
}

bool HistoryStore::open_for_reading(const std::string& path, std::string& error) {
    close();
    path_ = path;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        error = path + ": no such history store (" + std::strerror(errno) + ")";
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = path + ": a folder, not a history store";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + ": not a file, so not a history store";
        return false;
    }
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = message("cannot open the history store");
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    Statement probe(db_, "SELECT row, data_id, saved_at, epoch, record FROM history LIMIT 0");
    if (probe.get() == nullptr) {
        error = message("not a history store");
        close();
        return false;
    }
    return true;
}

bool HistoryStore::save(long long data_id, double epoch, const unsigned char* record,
                        std::size_t len, std::string& error) {
    if (insert_ == nullptr) {
        error = path_ + ": the history store is not open for saving";
        return false;
    }
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0 || static_cast<unsigned long long>(st.st_dev) != device_ ||
        static_cast<unsigned long long>(st.st_ino) != inode_) {
        vanished_ = true;
        error = path_ + ": the history store vanished during the run (deleted, or its folder): "
                "records from here on are not kept";
        return false;
    }
    const std::string when = smdtime::local_iso(epoch);
    static const unsigned char kNone = 0;
    sqlite3_reset(insert_);
    sqlite3_clear_bindings(insert_);
    // The record and its values in one transaction: both or neither.
    if (!exec("BEGIN", error)) return false;
    const bool bound =
        sqlite3_bind_int64(insert_, 1, data_id) == SQLITE_OK &&
        sqlite3_bind_text(insert_, 2, when.c_str(), -1, SQLITE_TRANSIENT) == SQLITE_OK &&
        sqlite3_bind_double(insert_, 3, epoch) == SQLITE_OK &&
        sqlite3_bind_blob(insert_, 4, record != nullptr ? record : &kNone,
                          static_cast<int>(record != nullptr ? len : 0),
                          SQLITE_TRANSIENT) == SQLITE_OK;
    std::string why;
    if (!bound || sqlite3_step(insert_) != SQLITE_DONE) {
        error = message("cannot save a record");
        sqlite3_reset(insert_);
        exec("ROLLBACK", why);
        return false;
    }
    sqlite3_reset(insert_);
    if (!values_.write(sqlite3_last_insert_rowid(db_), record, len, why)) {
        error = path_ + ": " + why;
        exec("ROLLBACK", why);
        return false;
    }
    if (exec("COMMIT", error)) return true;
    exec("ROLLBACK", why);
    return false;
}

bool HistoryStore::begin_reading(std::string& error) { return exec("BEGIN", error); }

bool HistoryStore::newest(long long data_id, StoredRecord& out, bool& found, std::string& error) {
    found = false;
    Statement s(db_,
                "SELECT row, data_id, saved_at, epoch, record FROM history WHERE data_id = ?1 "
                "ORDER BY row DESC LIMIT 1");
    if (s.get() == nullptr || sqlite3_bind_int64(s.get(), 1, data_id) != SQLITE_OK) {
        error = message("cannot read the history store");
        return false;
    }
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW) {
        out = row_of(s.get());
        found = true;
        return true;
    }
    if (rc == SQLITE_DONE) return true;
    error = message("cannot read the history store");
    return false;
}

bool HistoryStore::list(const Query& q, const std::function<void(const StoredRecord&)>& each,
                        std::string& error) {
    // The last K rows are picked newest first, then given back oldest first.
    std::string where = " WHERE 1";
    if (q.by_data_id) where += " AND data_id = ?1";
    if (q.by_since) where += " AND epoch >= ?2";
    std::string sql = "SELECT row, data_id, saved_at, epoch, record FROM history" + where;
    if (q.last >= 0)
        sql = "SELECT * FROM (" + sql + " ORDER BY row DESC LIMIT ?3) ORDER BY row";
    else
        sql += " ORDER BY row";
    Statement s(db_, sql);
    bool ok = s.get() != nullptr;
    if (ok && q.by_data_id) ok = sqlite3_bind_int64(s.get(), 1, q.data_id) == SQLITE_OK;
    if (ok && q.by_since) ok = sqlite3_bind_double(s.get(), 2, q.since) == SQLITE_OK;
    if (ok && q.last >= 0) ok = sqlite3_bind_int64(s.get(), 3, q.last) == SQLITE_OK;
    if (!ok) {
        error = message("cannot read the history store");
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) each(row_of(s.get()));
    if (rc != SQLITE_DONE) {
        error = message("cannot read the history store");
        return false;
    }
    return true;
}

}  // namespace smdhistory
