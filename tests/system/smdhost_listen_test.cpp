// smdhost listen on pseudo-terminals: frames heard live, a clean stop on
// SIGTERM, a recording that replays the same, a device that vanishes and
// comes back, and the simulator's bus feeding it end to end.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/system/smdhost_support.hpp"

namespace {

using smdtest::Child;
using smdtest::events_of;
using smdtest::only;
using smdtest::TempDir;

// The master side of a pseudo-terminal; the test writes the line's bytes here.
class Pty {
public:
    Pty() {
        int slave = -1;
        if (openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return;
        path_ = ttyname(slave);
        ::close(slave);  // smdhost opens its own end
    }
    ~Pty() { close(); }
    bool ok() const { return master_ >= 0; }
    const std::string& path() const { return path_; }
    void close() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    bool write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Writes while reading the events of `reader`, for input that makes
    // many: a listener blocked on a full pipe reads no more from the line.
    bool feed(const std::string& bytes, Child& reader) {
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                reader.pump(10);
            } else {
                break;
            }
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) & ~O_NONBLOCK);
        return done == bytes.size();
    }

private:
    int master_ = -1;
    std::string path_;
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Waits until `ev` events number at least `n` on the child's output.
bool wait_events(Child& c, const std::string& ev, std::size_t n) {
    const std::string tag = "{\"ev\":\"" + ev + "\"";
    return c.wait_for([&](const std::string& out, const std::string&) { return count(out, tag) >= n; });
}

// Frame events in order, the time stamp of published records blanked.
std::vector<std::string> frame_story(const std::string& out) {
    std::vector<std::string> story;
    for (const auto& e : events_of(out)) {
        const std::string ev = e["ev"].asString();
        if (ev == "payload")
            story.push_back(ev + " " + e["cid1"].asString() + e["cid2"].asString() + " " +
                            e["result"].asString());
        if (ev == "error") story.push_back(ev + " " + e["reason"].asString());
        if (ev == "publish") {
            std::string rec = e["record"].asString();
            if (rec.size() == 2514) rec.replace(1046 * 2, 14, std::string(14, '-'));
            story.push_back(ev + " " + rec);
        }
    }
    return story;
}

class SmdhostListen : public ::testing::Test {
protected:
    void SetUp() override {
        if (!smdtest::executable(smdtest::smdhost_path()))
            GTEST_SKIP() << "no smdhost at " << smdtest::smdhost_path();
    }
    TempDir dir;
};

TEST_F(SmdhostListen, DecodesTheLineRecordsItAndStopsOnSigterm) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const std::string record = dir.file("heard.scn");
    Child host({smdtest::smdhost_path(), "listen", "--serial", pty.path(), "--format", "json",
                "--record", record},
               dir.path());
    // The port is open and raw once the start-up call is reported.
    ASSERT_TRUE(wait_events(host, "call", 1)) << host.err();
    ASSERT_TRUE(pty.write(smdtest::full_round_wire()));
    ASSERT_TRUE(wait_events(host, "publish", 1)) << host.err();
    // A broken frame, a non-hex one, noise and a second round.
    ASSERT_TRUE(pty.write("~2001\x01zz~20014042E00201FD3A\r~20?1\r" + smdtest::full_round_wire()));
    ASSERT_TRUE(wait_events(host, "publish", 2)) << host.err();
    host.signal(SIGTERM);
    EXPECT_EQ(host.finish(), 0) << host.err();

    const auto live = frame_story(host.out());
    EXPECT_EQ(std::count_if(live.begin(), live.end(),
                            [](const std::string& s) { return s.compare(0, 5, "error") == 0; }),
              3);
    // The recording replays to the same frames, faults and records.
    const std::string scenario = smdtest::read_file(record);
    ASSERT_NE(scenario.find("@="), std::string::npos);
    const auto replayed = smdtest::smdhost({"replay", record, "--format", "json"}, dir.path());
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(frame_story(replayed.out), live);
}

TEST_F(SmdhostListen, RecordingOfAFloodReplaysTheSame) {
    // SOI without an end, over and over, between good rounds, and a frame
    // still open when listening stops: the recording stays small in memory
    // and gives the same faults, in the same order among the host's calls.
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const std::string record = dir.file("flood.scn");
    Child host({smdtest::smdhost_path(), "listen", "--serial", pty.path(), "--format", "json",
                "--record", record, "--reset-every", "0.5"},
               dir.path());
    // smdhost writes an event per broken frame: the test reads them while
    // it writes.
    auto send = [&](const std::string& bytes) { return pty.feed(bytes, host); };
    ASSERT_TRUE(wait_events(host, "call", 1)) << host.err();
    ASSERT_TRUE(send(smdtest::full_round_wire()));
    ASSERT_TRUE(wait_events(host, "publish", 1)) << host.err();
    ASSERT_TRUE(send(std::string(30000, '~')));
    ASSERT_TRUE(wait_events(host, "error", 29999)) << host.err();
    // A host call lands while broken frames wait in the recorder.
    ASSERT_TRUE(send("~2001~20"));
    ASSERT_TRUE(wait_events(host, "error", 30001)) << host.err();
    const std::size_t resets = count(host.out(), "\"op\":\"reset\"");
    ASSERT_TRUE(wait_events(host, "call\",\"op\":\"reset", resets + 1)) << host.err();
    ASSERT_TRUE(send("01" + std::string(5000, 'A') + smdtest::full_round_wire() + "~2001"));
    ASSERT_TRUE(wait_events(host, "publish", 2)) << host.err();
    host.signal(SIGTERM);
    EXPECT_EQ(host.finish(), 0) << host.err();

    const auto replayed = smdtest::smdhost({"replay", record, "--format", "json"}, dir.path());
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    // Frames, faults and the resets, in order.
    auto story = [](const std::string& out) {
        std::vector<std::string> s = frame_story(out);
        std::vector<std::string> with_resets;
        std::size_t k = 0;
        for (const auto& e : events_of(out)) {
            const std::string ev = e["ev"].asString();
            if (ev == "payload" || ev == "error" || ev == "publish") with_resets.push_back(s[k++]);
            if (ev == "call" && e["op"].asString() == "reset") with_resets.push_back("reset");
        }
        return with_resets;
    };
    const auto live = story(host.out());
    EXPECT_EQ(std::count(live.begin(), live.end(), "error broken"), 30001);
    EXPECT_EQ(std::count(live.begin(), live.end(), "error too_long"), 1);
    EXPECT_GE(std::count(live.begin(), live.end(), "reset"), 1);
    EXPECT_EQ(story(replayed.out), live);
}

TEST_F(SmdhostListen, SecondListenerHupAndUnwritableOutputs) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    Child first({smdtest::smdhost_path(), "listen", "--serial", pty.path(), "--format", "json"},
                dir.path());
    ASSERT_TRUE(wait_events(first, "call", 1)) << first.err();
    // The device is held: a second listener is turned away, naming it.
    Child second({smdtest::smdhost_path(), "listen", "--serial", pty.path()}, dir.path());
    EXPECT_EQ(second.finish(30.0), 1) << second.err();
    EXPECT_NE(second.err().find(pty.path() + ": in use"), std::string::npos) << second.err();
    // SIGHUP (the terminal closed) stops the first as cleanly as SIGTERM.
    first.signal(SIGHUP);
    EXPECT_EQ(first.finish(), 0) << first.err();

    // A recording or standard output that cannot be written: status 1 and
    // the reason, at once.
    const std::string cd = "exec '" + smdtest::smdhost_path() + "' listen --serial '" +
                           pty.path() + "' --format json ";
    for (const char* redirect : {"--record /dev/full", "> /dev/full"}) {
        SCOPED_TRACE(redirect);
        Child host({"/bin/sh", "-c", cd + redirect}, dir.path());
        EXPECT_EQ(host.finish(30.0), 1) << host.err();
        EXPECT_NE(host.err().find(redirect[0] == '>' ? "standard output: write error"
                                                     : "/dev/full: cannot write"),
                  std::string::npos)
            << host.err();
    }
}

TEST_F(SmdhostListen, VanishedDeviceIsReportedOnceAndReopened) {
    // smdhost listens on a link that the test points at a new pseudo-terminal,
    // as a USB adapter that is unplugged and plugged in again.
    const std::string link = dir.file("ttyLINE");
    auto first = std::make_unique<Pty>();
    ASSERT_TRUE(first->ok());
    ASSERT_EQ(symlink(first->path().c_str(), link.c_str()), 0);
    Child host({smdtest::smdhost_path(), "listen", "--serial", link, "--format", "json"},
               dir.path());
    ASSERT_TRUE(wait_events(host, "call", 1)) << host.err();
    ASSERT_TRUE(first->write(smdtest::full_round_wire()));
    ASSERT_TRUE(wait_events(host, "publish", 1)) << host.err();

    first.reset();  // the device goes away
    ASSERT_TRUE(host.wait_for([](const std::string&, const std::string& err) {
        return err.find("lost") != std::string::npos;
    })) << host.err();
    Pty second;
    ASSERT_TRUE(second.ok());
    unlink(link.c_str());
    ASSERT_EQ(symlink(second.path().c_str(), link.c_str()), 0);
    ASSERT_TRUE(host.wait_for([](const std::string&, const std::string& err) {
        return err.find("back") != std::string::npos;
    })) << host.err();
    ASSERT_TRUE(second.write(smdtest::full_round_wire()));
    ASSERT_TRUE(wait_events(host, "publish", 2)) << host.err();

    host.signal(SIGINT);
    EXPECT_EQ(host.finish(), 0) << host.err();
    EXPECT_EQ(count(host.err(), "lost"), 1u) << host.err();
    EXPECT_EQ(count(host.err(), " back"), 1u) << host.err();
    // Standard output stayed events only.
    for (const auto& e : events_of(host.out())) EXPECT_NE(e["ev"].asString(), "<not json>");
}

TEST_F(SmdhostListen, SilenceAndReturnAreToldOnceAndAStopEndsWithTheSummary) {
    // Text view: on standard output; json --diagnostics: the notes on
    // standard error and the "line" event last.
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "text");
        Pty pty;
        ASSERT_TRUE(pty.ok());
        std::vector<std::string> args = {smdtest::smdhost_path(), "listen", "--serial", pty.path(),
                                         "--format", json ? "json" : "text"};
        if (json) args.push_back("--diagnostics");
        Child host(args, dir.path());
        const auto told = [&](const std::string& what, std::size_t n) {
            return host.wait_for([&](const std::string& out, const std::string& err) {
                return count(json ? err : out, what) >= n;
            });
        };
        ASSERT_TRUE(json ? wait_events(host, "call", 1) : told("configured", 1)) << host.out() << host.err();
        // Cycles half a second apart make the silence threshold its floor.
        for (std::size_t k = 1; k <= 3; ++k) {
            ASSERT_TRUE(pty.write(smdtest::full_round_wire()));
            ASSERT_TRUE(json ? wait_events(host, "publish", k) : told("cycle " + std::to_string(k) + "  ", 1))
                << host.out();
            usleep(500 * 1000);
        }
        ASSERT_TRUE(told("line silent since", 1)) << host.out() << host.err();
        usleep(1500 * 1000);  // silent on, a tick or more: told once only
        ASSERT_TRUE(pty.write(smdtest::full_round_wire()));
        ASSERT_TRUE(told("line back after", 1)) << host.out() << host.err();
        ASSERT_TRUE(json ? wait_events(host, "publish", 4) : told("cycle 4  ", 1)) << host.out();
        host.signal(SIGINT);
        EXPECT_EQ(host.finish(), 0) << host.err();
        EXPECT_EQ(count(json ? host.err() : host.out(), "line silent since"), 1u);
        EXPECT_EQ(count(json ? host.err() : host.out(), "line back after"), 1u);
        if (json) {
            const auto events = events_of(host.out());
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.back()["ev"].asString(), "line");
            EXPECT_EQ(events.back()["cycles"].asInt(), 4);
            EXPECT_EQ(events.back()["published"].asInt(), 4);
            EXPECT_EQ(only(events, "cycle").size(), 4u);
        } else {
            EXPECT_NE(host.out().find("line summary\n  cycles          4 seen, 4 published, 0 dropped"),
                      std::string::npos)
                << host.out();
        }
    }
}

TEST_F(SmdhostListen, MissingDeviceAtStartExitsOne) {
    const auto r = smdtest::smdhost({"listen", "--serial", dir.file("no-such-tty")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no-such-tty"), std::string::npos);
    EXPECT_EQ(r.out, "");
    smdtest::write_file(dir.file("plain"), "");
    const auto not_tty = smdtest::smdhost({"listen", "--serial", dir.file("plain")});
    EXPECT_EQ(not_tty.status, 1);
}

TEST_F(SmdhostListen, SimulatedBusFeedsRoundsEndToEnd) {
    const std::string pwrsim = smdtest::bin("pwrsim");
    if (!smdtest::executable(pwrsim)) GTEST_SKIP() << "no pwrsim at " << pwrsim;
    Child sim({pwrsim, "bus", "--pty", "--interval", "1", "--rounds", "20", "--event-rate", "0"});
    ASSERT_TRUE(sim.wait_for([](const std::string& out, const std::string&) {
        return out.find('\n') != std::string::npos;
    })) << sim.err();
    const std::string path = sim.out().substr(0, sim.out().find('\n'));
    ASSERT_EQ(path.compare(0, 5, "/dev/"), 0) << path;

    Child host({smdtest::smdhost_path(), "listen", "--serial", path, "--format", "json"},
               dir.path());
    ASSERT_TRUE(wait_events(host, "publish", 2)) << host.out() << host.err();
    host.signal(SIGTERM);
    EXPECT_EQ(host.finish(), 0) << host.err();
    const auto events = events_of(host.out());
    for (const auto& p : only(events, "publish")) {
        EXPECT_EQ(p["type"].asInt(), 5535);
        EXPECT_EQ(p["record"].asString().size(), 2514u);
    }
    EXPECT_FALSE(only(events, "history").empty());
    sim.signal(SIGTERM);
    sim.finish();
}

}  // namespace
