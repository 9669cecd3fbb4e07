// smdhost under bad input and faults, as a careless or hostile user meets
// it: every failure is reported (naming the file, on standard error, with
// status 1 or 2), never taken for success; endless inputs are refused or
// streamed, never read whole; the clock takes exactly the times the plug-in
// can use.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::Child;
using smdtest::events_of;
using smdtest::only;
using smdtest::Result;
using smdtest::TempDir;
using smdtest::write_file;

class SmdhostFailures : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }

    // smdhost with its address space bounded: reading an endless input whole
    // fails at once instead of growing until the machine runs out.
    Result bounded(const std::vector<std::string>& args) {
        smdtest::Setup setup;
        setup.memory_limit = std::size_t{1} << 30;
        return smdtest::smdhost(args, dir.path(), setup);
    }

    TempDir dir;
};

struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;  // on standard error
};

void expect_cases(const std::vector<Case>& cases,
                  const std::function<Result(const std::vector<std::string>&)>& run) {
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& a : c.args) shown += a + " ";
        SCOPED_TRACE(shown);
        const Result r = run(c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_TRUE(only(events_of(r.out), "publish").empty());
    }
}

TEST_F(SmdhostFailures, UnusableConfigurationsAreErrorsNamingTheFile) {
    // Nested beyond the reader's limit (the reader throws), and text after
    // the JSON value: at start-up, in a !init line and in check.
    std::string deep = "{\"appSetting\":";
    deep += std::string(1000, '[') + std::string(1000, ']') + "}";
    write_file(dir.file("deep.json"), deep);
    write_file(dir.file("trail.json"), "{\"appSetting\":{}} xyz");
    write_file(dir.file("s.scn"), "!refresh\n");
    write_file(dir.file("init_deep.scn"), "!init @deep.json\n");
    write_file(dir.file("init_trail.scn"), "!init @trail.json\n");
    expect_cases({{{"replay", "s.scn", "--config", "deep.json"}, 1, "deep.json: not a usable"},
                  {{"replay", "init_deep.scn"}, 2, "init_deep.scn:1: ./deep.json: not a usable"},
                  {{"check", "deep.json"}, 1, "deep.json: not a usable"},
                  {{"replay", "s.scn", "--config", "trail.json"}, 1, "trail.json: not valid JSON"},
                  {{"replay", "init_trail.scn"}, 2, "trail.json: not valid JSON"},
                  {{"check", "trail.json"}, 1, "trail.json: not valid JSON"}},
                 [&](const std::vector<std::string>& a) { return smdtest::smdhost(a, dir.path()); });
}

TEST_F(SmdhostFailures, InputsThatCannotBeReadAreFailuresNotSuccess) {
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
    write_file(dir.file("s.scn"), "!refresh\n");
    write_file(dir.file("load_folder.scn"), "!load @folder\n");
    write_file(dir.file("load_zero.scn"), "!load @/dev/zero\n");
    // Folders, and endless sources that used to be read whole.
    expect_cases({{{"replay", "folder"}, 1, "folder: a folder, not a scenario"},
                  {{"replay", "--raw", "folder"}, 1, "folder: a folder, not a raw capture"},
                  {{"replay", "load_folder.scn"}, 1, "load_folder.scn:1: ./folder: a folder"},
                  {{"replay", "/dev/zero"}, 2, "/dev/zero:1: binary bytes"},
                  {{"replay", "s.scn", "--config", "/dev/zero"}, 1, "/dev/zero: more than 1048576"},
                  {{"replay", "load_zero.scn"}, 1, "load_zero.scn:1: /dev/zero: more than"},
                  {{"decode", "/dev/zero"}, 1, "/dev/zero: more than 1048576"},
                  {{"check", "/dev/zero"}, 1, "/dev/zero: more than 1048576"}},
                 [&](const std::vector<std::string>& a) { return bounded(a); });
}

TEST_F(SmdhostFailures, OutputThatCannotBeWrittenIsAFailure) {
    write_file(dir.file("s.scn"), smdtest::full_round());
    const std::string record(2514, '0');
    const std::string cd = "cd '" + dir.path() + "' && exec '" + smdtest::smdhost_path() + "' ";
    // The history listing needs a store to list.
    ASSERT_EQ(smdtest::smdhost({"replay", "s.scn", "--history", "h.db"}, dir.path()).status, 0);
    const std::vector<std::string> commands = {"replay s.scn", "check s.scn.json",
                                               "decode --hex " + record, "history h.db"};
    for (const std::string& args : commands) {
        SCOPED_TRACE(args);
        if (args.rfind("check", 0) == 0) write_file(dir.file("s.scn.json"), "{}");
        const Result r = smdtest::run({"/bin/sh", "-c", cd + args + " > /dev/full"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("standard output: write error: No space left on device"),
                  std::string::npos)
            << r.err;
    }
}

TEST_F(SmdhostFailures, HistoryStoreThatVanishesIsReported) {
    // The scenario comes through a pipe, so the store's folder can go away
    // between two rounds of one run.
    ASSERT_EQ(mkdir(dir.file("store").c_str(), 0700), 0);
    const std::string fifo = dir.file("s.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Child host({smdtest::smdhost_path(), "replay", fifo, "--history", dir.file("store/h.db")},
               dir.path());
    std::ofstream line(fifo);
    line << smdtest::full_round() << "@+5\n" << std::flush;
    ASSERT_TRUE(host.wait_for([](const std::string& out, const std::string&) {
        return out.find("\"ev\":\"history\"") != std::string::npos;
    })) << host.err();
    const std::string rm = "rm -rf '" + dir.file("store") + "'";
    ASSERT_EQ(std::system(rm.c_str()), 0);
    line << smdtest::full_round() << "@+5\n" << smdtest::full_round() << std::flush;
    line.close();
    EXPECT_EQ(host.finish(), 1) << host.err();
    EXPECT_NE(host.err().find("h.db: the history store vanished during the run"),
              std::string::npos)
        << host.err();
    EXPECT_NE(host.err().find("2 saved records were not stored"), std::string::npos) << host.err();
}

TEST_F(SmdhostFailures, PipedInputRunsAsItComes) {
    // A scenario and a raw capture on pipes: the round is published while
    // the writer still holds the pipe open, not after the end of input.
    for (const bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "raw" : "scenario");
        const std::string fifo = dir.file(raw ? "raw.fifo" : "scn.fifo");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::vector<std::string> args = {smdtest::smdhost_path(), "replay", fifo};
        if (raw) args.push_back("--raw");
        Child host(args, dir.path());
        std::ofstream line(fifo, std::ios::binary);
        line << (raw ? smdtest::full_round_wire() : smdtest::full_round()) << std::flush;
        EXPECT_TRUE(host.wait_for([](const std::string& out, const std::string&) {
            return out.find("\"ev\":\"publish\"") != std::string::npos;
        })) << host.err();
        // On a pipe, a malformed line stops the run where it stands.
        if (!raw) line << "!bogus\n!refresh\n";
        line.close();
        EXPECT_EQ(host.finish(), raw ? 0 : 2) << host.err();
        if (!raw) {
            EXPECT_NE(host.err().find("scn.fifo:17: unknown directive !bogus"), std::string::npos)
                << host.err();
            EXPECT_EQ(host.out().find("\"op\":\"refresh\""), std::string::npos);
        }
    }
}

TEST_F(SmdhostFailures, ClockTakesExactlyTheTimesThePluginCanUse) {
    struct Row {
        std::string clock;  // lines before a full round
        std::string tz;
        int status;
        std::string stamp;  // of the published record: YYYY MM DD hh mm ss, or what was said
    };
    const Row rows[] = {
        {"@=9999-12-31T23:59:59\n", "UTC", 0, "9999 12 31 23 59 59"},
        {"@=9999-12-31T23:59:59\n", "XXX5", 0, "9999 12 31 23 59 59"},  // UTC is in year 10000
        {"@=1400-01-01T00:00:00\n", "XXX-9", 0, "1400 1 1 0 0 0"},      // UTC is in year 1399
        {"@=1969-12-31T23:59:59\n", "UTC", 0, "1969 12 31 23 59 59"},   // epoch -1
        {"@=9999-12-31T23:59:59\n@+0.5\n@+1\n", "UTC", 2, "s.scn:3: @+1 moves the clock past"},
        {"@+99999999999999999999\n", "UTC", 2, "s.scn:1: @+99999999999999999999 moves"},
        {"@=1399-12-31T23:59:59\n", "UTC", 2, "s.scn:1: @= needs a local time"},
        {"@=0000-01-01T00:00:00\n", "UTC", 2, "s.scn:1: @= needs a local time"},
        {"@=2026-02-30T00:00:00\n", "UTC", 2, "s.scn:1: @= needs a local time"},
        {"@=2026-01-01T24:00:00\n", "UTC", 2, "s.scn:1: @= needs a local time"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clock + " TZ=" + row.tz);
        // The sanitizers' time() interceptor takes -1 for a failure and
        // leaves the caller's time_t unwritten; without them time() is the
        // host's own and hands the second before the epoch on as it is.
        if (smdtest::kSanitized && row.stamp == "1969 12 31 23 59 59") continue;
        write_file(dir.file("s.scn"), row.clock + smdtest::full_round());
        smdtest::Setup setup;
        setup.tz = row.tz;
        const Result r = smdtest::smdhost({"replay", "s.scn"}, dir.path(), setup);
        ASSERT_EQ(r.status, row.status) << r.err;
        if (row.status != 0) {
            EXPECT_NE(r.err.find(row.stamp), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
            continue;
        }
        // Every call of the round worked inside the plug-in.
        for (const auto& c : only(events_of(r.out), "call")) EXPECT_FALSE(c.isMember("error")) << c;
        const auto publishes = only(events_of(r.out), "publish");
        ASSERT_EQ(publishes.size(), 1u);
        const auto rec = smdtest::unhex(publishes[0]["record"].asString());
        ASSERT_EQ(rec.size(), 1257u);
        const std::string stamp = std::to_string(rec[1046] << 8 | rec[1047]) + " " +
                                  std::to_string(rec[1048]) + " " + std::to_string(rec[1049]) +
                                  " " + std::to_string(rec[1050]) + " " +
                                  std::to_string(rec[1051]) + " " + std::to_string(rec[1052]);
        EXPECT_EQ(stamp, row.stamp);
    }
}

TEST_F(SmdhostFailures, MessagesNameThePathAndWhatIsWrongWithIt) {
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
    write_file(dir.file("s.scn"), "!refresh\n");
    expect_cases({{{"decode", "folder"}, 1, "folder: a folder, not a record file"},
                  {{"history", "folder"}, 1, "folder: a folder, not a history store"},
                  {{"replay", "s.scn", "--config", "folder"}, 1,
                   "folder: a folder, not a configuration file"},
                  {{"check", "absent.json"}, 1, "absent.json: cannot open"},
                  {{"listen", "--serial", "/dev/null"}, 1, "/dev/null: not a serial device"}},
                 [&](const std::vector<std::string>& a) {
                     const Result r = smdtest::smdhost(a, dir.path());
                     EXPECT_EQ(r.out, "");  // errors go to standard error only
                     return r;
                 });
    // A byte-order mark before the first directive is no reason to refuse.
    write_file(dir.file("bom.scn"), "\xEF\xBB\xBF!refresh\n");
    const Result r = smdtest::smdhost({"replay", "bom.scn"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(only(events_of(r.out), "call").size(), 2u) << r.out;
}

}  // namespace
