// smdhost's history store as a user runs it: every saved record kept with
// its data id and host time, the listing and its filters, records that
// survive a killed smdhost, and --restore handing the newest one back to the
// plug-in.
#include <signal.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::events_of;
using smdtest::only;
using smdtest::Result;
using smdtest::TempDir;
using smdtest::write_file;

// 2026-01-01T00:00:00 UTC, where the replay clock starts (tests run in UTC).
constexpr double kStart = 1767225600.0;

std::string rounds(int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += smdtest::full_round() + "@+5\n";
    return s;
}

class SmdhostHistory : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
        db = dir.file("history.db");
    }

    Result replay(const std::string& scenario, int data_id, std::vector<std::string> extra = {}) {
        write_file(dir.file("s.scn"), scenario);
        write_file(dir.file("c.json"), "{\"host\":{\"dataId\":" + std::to_string(data_id) + "}}");
        std::vector<std::string> args = {"replay", "s.scn", "--config", "c.json", "--format",
                                         "json", "--history", db};
        args.insert(args.end(), extra.begin(), extra.end());
        return smdtest::smdhost(args, dir.path());
    }

    std::vector<Json::Value> listing(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"history", db, "--format", "json"};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result r = smdtest::smdhost(args, dir.path());
        EXPECT_EQ(r.status, 0) << r.err;
        return events_of(r.out);
    }

    static std::vector<std::string> published(const std::string& out) {
        std::vector<std::string> records;
        for (const auto& e : only(events_of(out), "publish")) records.push_back(e["record"].asString());
        return records;
    }

    TempDir dir;
    std::string db;
};

TEST_F(SmdhostHistory, KeepsEverySavedRecordWithDataIdAndHostTime) {
    const Result r = replay(rounds(3), 7);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto records = published(r.out);
    ASSERT_EQ(records.size(), 3u);

    const auto rows = listing();
    ASSERT_EQ(rows.size(), 3u);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Json::Value& row = rows[k];
        EXPECT_EQ(row["row"].asInt(), static_cast<int>(k + 1));
        EXPECT_EQ(row["data_id"].asInt(), 7);
        EXPECT_EQ(row["len"].asInt(), 1257);
        EXPECT_EQ(row["hex"].asString(), records[k]) << "row " << k + 1;
        // The round closes on the last response, 5 s after the previous one.
        EXPECT_DOUBLE_EQ(row["epoch"].asDouble(), kStart + 5.0 * static_cast<double>(k));
        EXPECT_EQ(row["saved_at"].asString(), "2026-01-01T00:00:" + std::string(k == 0 ? "00" : k == 1 ? "05" : "10"));
        EXPECT_EQ(row["record"]["values"]["record.data_id"].asInt(), 7);
        EXPECT_EQ(row["record"]["values"]["record.time"].asString(), row["saved_at"].asString());
    }

    // A later run adds to the same store.
    ASSERT_EQ(replay(rounds(1), 8).status, 0);
    EXPECT_EQ(listing().size(), 4u);
    EXPECT_EQ(listing({"--data-id", "8"}).size(), 1u);
    EXPECT_EQ(listing({"--data-id", "9"}).size(), 0u);

    const auto last = listing({"--last", "2"});
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0]["row"].asInt(), 3);
    EXPECT_EQ(last[1]["row"].asInt(), 4);
    // The second run's clock started again at 00:00:00.
    EXPECT_EQ(listing({"--since", "2026-01-01T00:00:05"}).size(), 2u);
    EXPECT_EQ(listing({"--since", "1767225601", "--data-id", "7", "--last", "1"})[0]["row"].asInt(), 3);
}

TEST_F(SmdhostHistory, CsvColumnsAreCatalogueNamesWithUnits) {
    ASSERT_EQ(replay(rounds(2), 1).status, 0);
    Result r = smdtest::smdhost({"history", db, "--fields", "dc.*.voltage,rect.*.current", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = smdtest::lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    // Two rectifiers reported: no columns for modules 3 to 40.
    EXPECT_EQ(lines[0],
              "row,device_data_id,saved_at,epoch,len,rect.1.current [A],rect.2.current [A],"
              "dc.1.voltage [V],dc.2.voltage [V]");
    EXPECT_EQ(lines[1].rfind("1,1,2026-01-01T00:00:00,", 0), 0u) << lines[1];

    // --all: every module up to the capacity, cells beyond the count empty.
    r = smdtest::smdhost({"history", db, "--fields", "rect.*.current", "--all", "--format", "csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    lines = smdtest::lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    auto commas = [](const std::string& s) { return std::count(s.begin(), s.end(), ','); };
    EXPECT_EQ(commas(lines[0]), 4 + 40);
    EXPECT_EQ(commas(lines[1]), commas(lines[0]));
    EXPECT_NE(lines[0].find(",rect.40.current [A]"), std::string::npos);

    r = smdtest::smdhost({"history", db, "--fields", "rect.*.curent", "--format", "csv"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("'rect.*.curent' matches no value name"), std::string::npos) << r.err;
}

// The values table and its views, read with the sqlite3 program as a user
// does; a store from before them gets them on the next --history run.
TEST_F(SmdhostHistory, SqliteReadsNamedValuesWithoutDecoding) {
    ASSERT_EQ(replay(rounds(2), 4).status, 0);
    auto sql = [&](const std::string& query) {
        const Result r = smdtest::run({"/usr/bin/sqlite3", "-readonly", db, query});
        EXPECT_EQ(r.status, 0) << r.err;
        return smdtest::lines_of(r.out);
    };
    const auto published_voltage =
        listing({"--fields", "dc.1.voltage"})[0]["record"]["values"]["dc.1.voltage"].asString();
    EXPECT_EQ(sql("select saved_at, data_id, text, unit from history_value where name = 'dc.1.voltage'"),
              (std::vector<std::string>{"2026-01-01T00:00:00|4|" + published_voltage + "|V",
                                        "2026-01-01T00:00:05|4|" + published_voltage + "|V"}));
    EXPECT_EQ(sql("select value from record_value where record_id = 1 and name = 'rect.count'"),
              std::vector<std::string>{"2"});
    EXPECT_EQ(sql("select count(*) from record_value where name like 'rect.3.%'"),
              std::vector<std::string>{"0"});

    // An old store: the values gone as if never written.
    ASSERT_EQ(smdtest::run({"/usr/bin/sqlite3", db, "drop view history_value; drop view record_value;"
                            " drop table record_value_raw; drop table names; pragma user_version = 0"})
                  .status,
              0);
    EXPECT_EQ(listing().size(), 2u) << "a reading command lists an old store as it is";
    EXPECT_NE(smdtest::run({"/usr/bin/sqlite3", "-readonly", db, "select * from names"}).status, 0)
        << "and changes nothing";
    const Result migrated = replay(rounds(1), 4);
    ASSERT_EQ(migrated.status, 0);
    EXPECT_NE(migrated.err.find("named values added to 2 stored records"), std::string::npos)
        << migrated.err;
    EXPECT_EQ(sql("select count(distinct record_id) from history_value where name = 'dc.1.voltage'"),
              std::vector<std::string>{"3"});
}

TEST_F(SmdhostHistory, RecordsSurviveAKilledSmdhost) {
    // Far more rounds than can pass while the test reads: once it stops
    // reading, the full pipe holds smdhost in the middle of the replay.
    const int total = 400;
    write_file(dir.file("long.scn"), rounds(total));
    smdtest::Child child({smdtest::smdhost_path(), "replay", "long.scn", "--format", "json",
                          "--history", db},
                         dir.path());
    ASSERT_TRUE(child.wait_for([](const std::string& out, const std::string&) {
        std::size_t n = 0;
        for (std::size_t p = 0; (p = out.find("\"ev\":\"history\"", p)) != std::string::npos; ++p) ++n;
        return n >= 5;
    }));
    child.signal(SIGKILL);
    child.finish();

    // Complete lines only: the kill may cut the last one.
    std::string out = child.out();
    out.erase(out.rfind('\n') + 1);
    const auto records = published(out);
    const std::size_t histories = only(events_of(out), "history").size();

    const auto rows = listing();
    // Every record whose history event came out was committed first.
    EXPECT_GE(rows.size(), histories);
    EXPECT_LT(rows.size(), static_cast<std::size_t>(total));
    ASSERT_LE(rows.size(), records.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        EXPECT_EQ(rows[k]["hex"].asString(), records[k]) << "row " << k + 1;
        EXPECT_EQ(rows[k]["record"]["values"]["rect.count"].asInt(), 2) << "row " << k + 1;
    }

    // The store is still usable for writing after the kill.
    ASSERT_EQ(replay(rounds(1), 1).status, 0);
    EXPECT_EQ(listing().size(), rows.size() + 1);
}

TEST_F(SmdhostHistory, RestoreHandsTheNewestRecordOfTheDataIdToTheDevice) {
    ASSERT_EQ(replay(rounds(2), 1).status, 0);
    ASSERT_EQ(replay(rounds(1), 2).status, 0);
    const auto stored = listing({"--data-id", "1", "--last", "1"});
    ASSERT_EQ(stored.size(), 1u);
    const std::string newest = stored[0]["hex"].asString();

    // No traffic at all: whatever is published comes from the store.
    const Result r = replay("@=2026-02-03T04:05:06\n", 1, {"--restore"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto events = events_of(r.out);
    const auto loads = only(events, "call");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0]["op"].asString(), "init");
    EXPECT_EQ(loads[1]["op"].asString(), "load");
    EXPECT_EQ(loads[1]["result"].asInt(), 1);
    const auto records = published(r.out);
    ASSERT_EQ(records.size(), 1u);
    // Byte for byte, but for the time stamp (offset 1046, 7 bytes) that the
    // device writes when it publishes.
    const std::size_t t = 2 * 1046, tl = 2 * 7;
    EXPECT_EQ(records[0].substr(0, t), newest.substr(0, t));
    EXPECT_EQ(records[0].substr(t + tl), newest.substr(t + tl));
    EXPECT_NE(r.err.find("restoring record 2"), std::string::npos) << r.err;
    // The device stored the published record again, as it does every round.
    EXPECT_EQ(listing().size(), 4u);
}

TEST_F(SmdhostHistory, RestoreWithNothingStoredGoesOnWithoutARecord) {
    ASSERT_EQ(replay(rounds(1), 1).status, 0);
    const Result r = replay("# nothing\n", 5, {"--restore"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(published(r.out).empty());
    EXPECT_NE(r.err.find("no stored record of data id 5"), std::string::npos) << r.err;
}

TEST_F(SmdhostHistory, RestoreRefusesAStoredRowThatIsNoRecord) {
    ASSERT_EQ(replay(rounds(1), 1).status, 0);
    // Another program added a short row: the newest of data id 1.
    sqlite3* db_handle = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &db_handle), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db_handle,
                           "INSERT INTO history(data_id, saved_at, epoch, record) "
                           "VALUES(1, '2026-01-01T00:01:00', 1767225660, x'0102030405060708090A0B')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db_handle);
    const Result r = replay("# nothing\n", 1, {"--restore"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: stored record 2 is 11 bytes, not 1257: not restored"),
              std::string::npos)
        << r.err;
    const auto calls = only(events_of(r.out), "call");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]["op"].asString(), "init");
}

TEST_F(SmdhostHistory, BadStoresAndUsageAreRefused) {
    Result r = smdtest::smdhost({"history", dir.file("absent.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.db"), std::string::npos) << r.err;
    EXPECT_NE(access(dir.file("absent.db").c_str(), F_OK), 0) << "listing must not create a store";

    write_file(dir.file("text.db"), "not a database at all, just some text\n");
    r = smdtest::smdhost({"history", dir.file("text.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not a history store"), std::string::npos) << r.err;

    // A store that cannot be created stops the replay before it starts.
    r = replay(rounds(1), 1, {"--history", dir.file("no/such/folder/h.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(published(r.out).empty());

    EXPECT_EQ(smdtest::smdhost({"replay", "x.scn", "--restore"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"history"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"history", db, "--since", "yesterday"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"history", db, "--last", "-1"}).status, 2);
    EXPECT_EQ(smdtest::smdhost({"history", db, "--format", "xml"}).status, 2);
}

}  // namespace
