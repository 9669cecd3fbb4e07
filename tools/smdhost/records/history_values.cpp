#include "tools/smdhost/records/history_values.hpp"

#include <cstdlib>
#include <map>

#include <sqlite3.h>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/records/sqlite_calls.hpp"

namespace smdhistory {

namespace {

namespace cat = smdcatalogue;

// The schema version with the values; 0 is a store of records only.
constexpr int kValuesVersion = 1;

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS names("
    " id INTEGER PRIMARY KEY,"
    " name TEXT NOT NULL UNIQUE,"
    " unit TEXT NOT NULL);"
    "CREATE TABLE IF NOT EXISTS record_value_raw("
    " record_id INTEGER NOT NULL,"
    " name_id INTEGER NOT NULL,"
    " value,"
    " text TEXT,"
    " PRIMARY KEY(record_id, name_id)) WITHOUT ROWID;"
    "CREATE VIEW IF NOT EXISTS record_value AS"
    " SELECT v.record_id AS record_id, n.name AS name, v.value AS value,"
    "  coalesce(v.text, CAST(v.value AS TEXT)) AS text, n.unit AS unit"
    " FROM record_value_raw v JOIN names n ON n.id = v.name_id;"
    "CREATE VIEW IF NOT EXISTS history_value AS"
    " SELECT h.row AS record_id, h.data_id AS data_id, h.saved_at AS saved_at, h.epoch AS epoch,"
    "  n.name AS name, v.value AS value, coalesce(v.text, CAST(v.value AS TEXT)) AS text,"
    "  n.unit AS unit"
    " FROM history h JOIN record_value_raw v ON v.record_id = h.row"
    " JOIN names n ON n.id = v.name_id;";

bool user_version(sqlite3* db, int& version) {
    Statement s(db, "PRAGMA user_version");
    if (s.get() == nullptr || sqlite3_step(s.get()) != SQLITE_ROW) return false;
    version = sqlite3_column_int(s.get(), 0);
    return true;
}

// Binds value (?3) and text (?4) of one reading.
bool bind_reading(sqlite3_stmt* s, const cat::ValueEntry& e, const cat::Reading& r) {
    int rc = SQLITE_OK;
    if (!r.valid) {
        rc = sqlite3_bind_null(s, 3);
        if (rc == SQLITE_OK && !r.text.empty())
            rc = sqlite3_bind_text(s, 4, r.text.c_str(), -1, SQLITE_TRANSIENT);
        return rc == SQLITE_OK;
    }
    switch (e.type) {
        case cat::ValueType::u8:
        case cat::ValueType::u32:
            rc = sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(r.number));
            break;
        case cat::ValueType::f32:
            // The shortest decimal of the float, so that 53.2 reads 53.2,
            // not 53.200000762939453.
            rc = sqlite3_bind_double(s, 3, std::strtod(r.text.c_str(), nullptr));
            break;
        case cat::ValueType::time:
            rc = sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(r.number));
            if (rc == SQLITE_OK) rc = sqlite3_bind_text(s, 4, r.text.c_str(), -1, SQLITE_TRANSIENT);
            break;
    }
    return rc == SQLITE_OK;
}

}  // namespace

HistoryValues::~HistoryValues() { close(); }

void HistoryValues::close() {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    db_ = nullptr;
    name_ids_.clear();
}

bool HistoryValues::open(sqlite3* db, std::size_t& migrated, std::string& error) {
    close();
    migrated = 0;
    int version = 0;
    if (!user_version(db, version)) {
        error = std::string("cannot read the schema version: ") + sqlite3_errmsg(db);
        return false;
    }
    // One write transaction: two writers opening an old store at once do
    // not both fill in its values, and a failure leaves it as it was.
    if (!exec_sql(db, "BEGIN IMMEDIATE", error)) return false;
    db_ = db;
    // Every failure from here leaves the store as it was.
    auto rollback = [&](const std::string& message) {
        error = message;
        std::string ignored;
        exec_sql(db, "ROLLBACK", ignored);
        close();
        return false;
    };
    auto fail = [&](const std::string& what) {
        return rollback(what + ": " + sqlite3_errmsg(db));
    };
    std::string why;
    if (!exec_sql(db, kSchema, why)) return rollback(why);
    const cat::Catalogue& c = cat::Catalogue::get();
    {
        Statement add(db, "INSERT OR IGNORE INTO names(name, unit) VALUES(?1, ?2)");
        if (add.get() == nullptr) return fail("cannot fill the value names");
        for (const cat::ValueEntry& v : c.values()) {
            sqlite3_reset(add.get());
            if (sqlite3_bind_text(add.get(), 1, v.name.c_str(), -1, SQLITE_STATIC) != SQLITE_OK ||
                sqlite3_bind_text(add.get(), 2, v.unit.c_str(), -1, SQLITE_STATIC) != SQLITE_OK ||
                sqlite3_step(add.get()) != SQLITE_DONE)
                return fail("cannot fill the value names");
        }
    }
    {
        std::map<std::string, long long> ids;
        Statement names(db, "SELECT id, name FROM names");
        if (names.get() == nullptr) return fail("cannot read the value names");
        while (sqlite3_step(names.get()) == SQLITE_ROW) {
            const unsigned char* n = sqlite3_column_text(names.get(), 1);
            if (n != nullptr) ids[reinterpret_cast<const char*>(n)] = sqlite3_column_int64(names.get(), 0);
        }
        name_ids_.reserve(c.values().size());
        for (const cat::ValueEntry& v : c.values()) name_ids_.push_back(ids[v.name]);
    }
    if (sqlite3_prepare_v2(db,
                           "INSERT OR REPLACE INTO record_value_raw(record_id, name_id, value, text) "
                           "VALUES(?1, ?2, ?3, ?4)",
                           -1, &insert_, nullptr) != SQLITE_OK)
        return fail("cannot prepare the values");
    // Records without values: all of them in a store from before the values,
    // and any that a program writing records only added since. Short rows
    // have none to add.
    {
        Statement old(db,
                      "SELECT row, record FROM history WHERE NOT EXISTS "
                      "(SELECT 1 FROM record_value_raw WHERE record_id = history.row)");
        if (old.get() == nullptr) return fail("cannot read the stored records");
        int rc;
        while ((rc = sqlite3_step(old.get())) == SQLITE_ROW) {
            const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(old.get(), 1));
            const int len = sqlite3_column_bytes(old.get(), 1);
            if (!write(sqlite3_column_int64(old.get(), 0), blob,
                       blob != nullptr && len > 0 ? static_cast<std::size_t>(len) : 0, why))
                return rollback(why);
            if (len == static_cast<int>(cat::kRecordSize)) ++migrated;
        }
        if (rc != SQLITE_DONE) return fail("cannot read the stored records");
    }
    if (version < kValuesVersion) {
        const std::string set = "PRAGMA user_version = " + std::to_string(kValuesVersion);
        if (!exec_sql(db, set.c_str(), why)) return fail("cannot set the schema version");
    }
    if (!exec_sql(db, "COMMIT", why)) return fail("cannot commit the value tables");
    return true;
}

bool HistoryValues::write(long long record_id, const unsigned char* record, std::size_t len,
                          std::string& error) {
    if (insert_ == nullptr) {
        error = "the values table is not open";
        return false;
    }
    if (record == nullptr || len != cat::kRecordSize) return true;
    const std::vector<cat::ValueEntry>& values = cat::Catalogue::get().values();
    for (std::size_t k = 0; k < values.size(); ++k) {
        const cat::ValueEntry& e = values[k];
        if (!cat::is_present(e, record, len)) continue;
        const cat::Reading r = cat::read_value(e, record, len);
        sqlite3_reset(insert_);
        sqlite3_clear_bindings(insert_);
        if (sqlite3_bind_int64(insert_, 1, record_id) != SQLITE_OK ||
            sqlite3_bind_int64(insert_, 2, name_ids_[k]) != SQLITE_OK || !bind_reading(insert_, e, r) ||
            sqlite3_step(insert_) != SQLITE_DONE) {
            error = std::string("cannot save the values of a record: ") + sqlite3_errmsg(db_);
            sqlite3_reset(insert_);
            return false;
        }
    }
    sqlite3_reset(insert_);
    return true;
}

}  // namespace smdhistory
