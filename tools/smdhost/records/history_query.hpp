// Reads of a history store for plots: catalogue values over a time range,
// downsampled in the query (min, mean and max per time bucket), and the
// alarms active in the range. Opened read-only, one reader per request, so
// that readers on server threads never share a connection or wait for the
// line's saves.
//
// A week of records at one every 5 s is about 120,000 rows: the query
// reads each row's record once, decoding only the values asked for, and
// hands back at most one row per bucket.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/smdhost/catalogue/value_entry.hpp"

struct sqlite3;

namespace smdhistory {

struct BucketRow {
    double start = 0;  // bucket start, seconds since the epoch
    // Per value asked for: mean, min, max; `count` 0 where the bucket held
    // no valid reading of it.
    struct Stat {
        double mean = 0, min = 0, max = 0;
        long long count = 0;
    };
    std::vector<Stat> stats;
};

struct AlarmSpan {
    std::string id;
    std::string key;
    std::string text1;
    std::string text2;
    int level = 0;
    double raised = 0;
    bool cleared = false;
    double cleared_at = 0;
};

class HistoryReader {
public:
    HistoryReader() = default;
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    bool open(const std::string& path, std::string& error);

    // Buckets of `bucket` seconds from `from` (rows with from <= epoch <
    // to), only buckets holding a record, in time order. A query that runs
    // longer than `budget_ms` is abandoned (false, `error` says so).
    bool buckets(long long data_id, double from, double to, double bucket,
                 const std::vector<const smdcatalogue::ValueEntry*>& values, std::vector<BucketRow>& out,
                 std::string& error, int budget_ms = 10000);

    // Alarms active at some time in [from, to], oldest first, at most `limit`.
    bool alarms(long long data_id, double from, double to, std::size_t limit, std::vector<AlarmSpan>& out,
                std::string& error);

private:
    std::string path_;
    sqlite3* db_ = nullptr;
};

}  // namespace smdhistory
