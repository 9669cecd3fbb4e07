// The SQLite calls every part of the history store makes the same way.
#pragma once

#include <string>

#include <sqlite3.h>

namespace smdhistory {

// A prepared statement released on every path. get() is null when the
// statement did not prepare (sqlite3_errmsg of the connection says why).
class Statement {
public:
    Statement(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

// Runs statements that return no rows; on failure `error` is SQLite's own
// message (or a generic one when it gives none).
inline bool exec_sql(sqlite3* db, const char* sql, std::string& error) {
    char* why = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &why) == SQLITE_OK) return true;
    error = why != nullptr ? why : "cannot run statement";
    sqlite3_free(why);
    return false;
}

}  // namespace smdhistory
