#include "tools/smdhost/records/history_query.hpp"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sqlite3.h>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/value_reading.hpp"
#include "tools/smdhost/records/sqlite_calls.hpp"

namespace smdhistory {

namespace {

constexpr int kBusyMs = 2000;

// The number a catalogue value holds in a record, without the text form
// read_value() also makes (this runs for every row of a week's plot):
// false when the record does not hold it or holds an invalid reading.
bool number_of(const smdcatalogue::ValueEntry& e, const unsigned char* record, std::size_t size,
               double& out) {
    if (!smdcatalogue::is_present(e, record, size)) return false;
    const unsigned char* p = record + e.offset;
    switch (e.type) {
        case smdcatalogue::ValueType::u8:
            out = p[0];
            return true;
        case smdcatalogue::ValueType::u32:
            out = static_cast<double>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                      static_cast<std::uint32_t>(p[2]) << 16 |
                                      static_cast<std::uint32_t>(p[3]) << 24);
            return true;
        case smdcatalogue::ValueType::f32: {
            if (e.invalid == smdcatalogue::InvalidMarker::minus_tenth && p[0] == 0xCD && p[1] == 0xCC &&
                p[2] == 0xCC && p[3] == 0xBD)
                return false;
            float f;
            std::memcpy(&f, p, sizeof f);
            if (!std::isfinite(f)) return false;
            out = f;
            return true;
        }
        case smdcatalogue::ValueType::time:
            return false;
    }
    return false;
}

// pxr52_value(record, n): catalogue value n of a stored record, NULL when
// the record does not hold it or holds an invalid reading.
void value_function(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto& values = smdcatalogue::Catalogue::get().values();
    const sqlite3_int64 n = sqlite3_value_int64(argv[1]);
    const auto* blob = static_cast<const unsigned char*>(sqlite3_value_blob(argv[0]));
    const int len = sqlite3_value_bytes(argv[0]);
    double v = 0;
    if (n >= 0 && static_cast<std::size_t>(n) < values.size() && blob != nullptr && len > 0 &&
        number_of(values[static_cast<std::size_t>(n)], blob, static_cast<std::size_t>(len), v))
        sqlite3_result_double(ctx, v);
    else
        sqlite3_result_null(ctx);
}

struct Deadline {
    std::chrono::steady_clock::time_point at;
};

int past_deadline(void* p) {
    return std::chrono::steady_clock::now() > static_cast<Deadline*>(p)->at ? 1 : 0;
}

std::string text_column(sqlite3_stmt* s, int k) {
    const unsigned char* t = sqlite3_column_text(s, k);
    return t != nullptr ? std::string(reinterpret_cast<const char*>(t),
                                      static_cast<std::size_t>(sqlite3_column_bytes(s, k)))
                        : std::string();
}

}  // namespace

HistoryReader::~HistoryReader() {
    if (db_ != nullptr) sqlite3_close(db_);
}

bool HistoryReader::open(const std::string& path, std::string& error) {
    path_ = path;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        error = path + ": " + (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(db_, kBusyMs);
    if (sqlite3_create_function(db_, "pxr52_value", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                value_function, nullptr, nullptr) != SQLITE_OK) {
        error = path + ": " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool HistoryReader::buckets(long long data_id, double from, double to, double bucket,
                            const std::vector<const smdcatalogue::ValueEntry*>& values,
                            std::vector<BucketRow>& out, std::string& error, int budget_ms) {
    out.clear();
    const auto& all = smdcatalogue::Catalogue::get().values();
    std::string inner = "SELECT epoch";
    std::string outer = "SELECT CAST((epoch - ?1) / ?2 AS INTEGER) AS b";
    for (std::size_t k = 0; k < values.size(); ++k) {
        const std::size_t index = static_cast<std::size_t>(values[k] - all.data());
        const std::string v = "v" + std::to_string(k);
        inner += ", pxr52_value(record, " + std::to_string(index) + ") AS " + v;
        outer += ", avg(" + v + "), min(" + v + "), max(" + v + "), count(" + v + ")";
    }
    inner += " FROM history WHERE data_id = ?3 AND epoch >= ?1 AND epoch < ?4";
    // Materialized: the values are read out of each record once, in the
    // scan, and only they are grouped. (A flattened query would sort the
    // whole records and decode them after.)
    const std::string sql = "WITH v AS MATERIALIZED (" + inner + ") " + outer + " FROM v GROUP BY b ORDER BY b";
    Statement s(db_, sql);
    if (s.get() == nullptr || sqlite3_bind_double(s.get(), 1, from) != SQLITE_OK ||
        sqlite3_bind_double(s.get(), 2, bucket) != SQLITE_OK ||
        sqlite3_bind_int64(s.get(), 3, data_id) != SQLITE_OK ||
        sqlite3_bind_double(s.get(), 4, to) != SQLITE_OK) {
        error = path_ + ": " + sqlite3_errmsg(db_);
        return false;
    }
    Deadline deadline{std::chrono::steady_clock::now() + std::chrono::milliseconds(budget_ms)};
    sqlite3_progress_handler(db_, 10000, past_deadline, &deadline);
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        BucketRow row;
        row.start = from + static_cast<double>(sqlite3_column_int64(s.get(), 0)) * bucket;
        row.stats.resize(values.size());
        for (std::size_t k = 0; k < values.size(); ++k) {
            const int c = 1 + static_cast<int>(k) * 4;
            auto& st = row.stats[k];
            st.count = sqlite3_column_int64(s.get(), c + 3);
            if (st.count == 0) continue;
            st.mean = sqlite3_column_double(s.get(), c);
            st.min = sqlite3_column_double(s.get(), c + 1);
            st.max = sqlite3_column_double(s.get(), c + 2);
        }
        out.push_back(std::move(row));
    }
    sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    if (rc == SQLITE_INTERRUPT) {
        error = "the query took longer than " + std::to_string(budget_ms / 1000) +
                " s: ask for a shorter range";
        return false;
    }
    if (rc != SQLITE_DONE) {
        error = path_ + ": " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool HistoryReader::alarms(long long data_id, double from, double to, std::size_t limit,
                           std::vector<AlarmSpan>& out, std::string& error) {
    out.clear();
    // A store written without the monitor has no alarm journal: no spans.
    Statement probe(db_, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'alarms'");
    if (probe.get() == nullptr || sqlite3_step(probe.get()) != SQLITE_ROW) return true;
    Statement s(db_,
                "SELECT id, key, text1, text2, level, raised, cleared FROM alarms"
                " WHERE data_id = ?1 AND raised <= ?3 AND (cleared IS NULL OR cleared >= ?2)"
                " ORDER BY raised LIMIT ?4");
    if (s.get() == nullptr || sqlite3_bind_int64(s.get(), 1, data_id) != SQLITE_OK ||
        sqlite3_bind_double(s.get(), 2, from) != SQLITE_OK ||
        sqlite3_bind_double(s.get(), 3, to) != SQLITE_OK ||
        sqlite3_bind_int64(s.get(), 4, static_cast<sqlite3_int64>(limit)) != SQLITE_OK) {
        error = path_ + ": " + sqlite3_errmsg(db_);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        AlarmSpan a;
        a.id = text_column(s.get(), 0);
        a.key = text_column(s.get(), 1);
        a.text1 = text_column(s.get(), 2);
        a.text2 = text_column(s.get(), 3);
        a.level = sqlite3_column_int(s.get(), 4);
        a.raised = sqlite3_column_double(s.get(), 5);
        a.cleared = sqlite3_column_type(s.get(), 6) != SQLITE_NULL;
        if (a.cleared) a.cleared_at = sqlite3_column_double(s.get(), 6);
        out.push_back(std::move(a));
    }
    if (rc != SQLITE_DONE) {
        error = path_ + ": " + sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

}  // namespace smdhistory
