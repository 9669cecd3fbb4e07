// smdhost --mqtt end to end against a real broker: what a replay leaves
// retained, the stale status on the simulated clock, and a live site
// monitor (a simulated bus on a pseudo-terminal) that reports readiness to
// systemd, rides out a broker outage of 30 s without losing a record or
// sending an old value, and leaves its last will when killed.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>
#include <json/json.h>

#include "system/external_services.hpp"

namespace {

using smdtest::Child;
using smdtest::MosquittoBroker;
using smdtest::Subscriber;
using smdtest::TempDir;

void require_tools() {
    ASSERT_FALSE(smdtest::find_tool("mosquitto").empty()) << smdtest::missing_tool("mosquitto", "mosquitto");
    ASSERT_FALSE(smdtest::find_tool("mosquitto_sub").empty())
        << smdtest::missing_tool("mosquitto_sub", "mosquitto-clients");
    ASSERT_TRUE(smdtest::executable(smdtest::smdhost_path())) << smdtest::smdhost_path();
}

std::string url(const MosquittoBroker& broker, const std::string& root = "") {
    return "mqtt://127.0.0.1:" + std::to_string(broker.port()) + root;
}

Json::Value parse(const std::string& text) {
    Json::Value v;
    std::istringstream in(text);
    Json::parseFromStream(Json::CharReaderBuilder(), in, &v, nullptr);
    return v;
}

std::string trace(const std::vector<std::string>& args) {
    const smdtest::Result r = smdtest::run([&] {
        std::vector<std::string> argv = {smdtest::bin("pwrsim"), "trace"};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }());
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// A datagram socket standing in for systemd's notification socket, read
// all the time as systemd does (a sender blocks once ten are unread).
class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        reader_ = std::thread([this] {
            while (!done_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 50) <= 0) continue;
                char buf[4096];
                const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n <= 0) continue;
                std::lock_guard<std::mutex> lock(mutex_);
                heard_.append(buf, static_cast<std::size_t>(n)).append("\n");
            }
        });
    }
    ~NotifySocket() {
        done_ = true;
        reader_.join();
        ::close(fd_);
    }
    // Every message so far, each followed by a line end.
    std::string heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }

private:
    int fd_ = -1;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::string heard_;
    std::thread reader_;
};

TEST(SmdhostMqtt, ReplayLeavesEveryTopicRetained) {
    require_tools();
    TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    smdtest::write_file(dir.file("day.scn"), trace({"--rounds", "3", "--rectifiers", "3", "--seed", "7"}));

    const smdtest::Result r =
        smdtest::smdhost({"replay", dir.file("day.scn"), "--format", "json", "--mqtt", url(broker, "/site/a")});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto published = smdtest::only(smdtest::events_of(r.out), "publish");
    ASSERT_EQ(published.size(), 3u);

    auto topics = smdtest::retained(broker.port(), "site/a/#");
    EXPECT_EQ(topics["site/a/status"], "offline");
    EXPECT_EQ(topics["site/a/value/rect.count"], "3");
    EXPECT_EQ(topics["site/a/value/record.time"], published.back()["t"].asString().substr(0, 19));
    EXPECT_EQ(topics.count("site/a/value/rect.4.current"), 0u) << "a module the record does not hold";
    // The record is the values by name, the same as their topics.
    const Json::Value record = parse(topics["site/a/record"]);
    ASSERT_TRUE(record.isObject()) << topics["site/a/record"];
    EXPECT_DOUBLE_EQ(record["dc.1.voltage"].asDouble(), std::stod(topics["site/a/value/dc.1.voltage"]));
    EXPECT_EQ(record["record.time"].asString(), topics["site/a/value/record.time"]);
    // Each alarm the host evaluated, with its state.
    std::size_t alarms = 0;
    for (const auto& [topic, payload] : topics) {
        if (topic.compare(0, 13, "site/a/alarm/") != 0) continue;
        ++alarms;
        const Json::Value a = parse(payload);
        EXPECT_TRUE(a["active"].isBool() && a["level"].isInt() && a["text"].isString()) << topic << " " << payload;
    }
    EXPECT_GT(alarms, 0u);

    // Several devices: each under its own root, by data id.
    smdtest::write_file(dir.file("two.scn"), trace({"--rounds", "1", "--plants", "2", "--rectifiers", "2"}));
    smdtest::write_file(dir.file("a.json"), "{\"host\":{\"dataId\":7}}");
    smdtest::write_file(dir.file("b.json"), "{\"host\":{\"dataId\":8}}");
    const smdtest::Result two =
        smdtest::smdhost({"replay", dir.file("two.scn"), "--device", "1=" + dir.file("a.json"), "--device",
                          "2=" + dir.file("b.json"), "--mqtt", url(broker, "/site/b")});
    ASSERT_EQ(two.status, 0) << two.err;
    topics = smdtest::retained(broker.port(), "site/b/#");
    for (const char* id : {"7", "8"}) {
        EXPECT_EQ(topics[std::string("site/b/") + id + "/status"], "offline");
        EXPECT_EQ(topics[std::string("site/b/") + id + "/value/record.data_id"], id);
    }
}

TEST(SmdhostMqtt, StaleOnTheSimulatedClockThenEveryTopicAgain) {
    require_tools();
    TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    // The scenario comes through a pipe, a part at a time, so that each
    // state reaches the broker before the next.
    const std::string round = trace({"--rounds", "1", "--rectifiers", "2"});
    const std::string fifo = dir.file("live.scn");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Subscriber sub(broker.port(), "pxr52/1/#");
    Child host({smdtest::smdhost_path(), "replay", fifo, "--format", "json", "--mqtt", url(broker)});
    const int w = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(w, 0);
    const auto feed = [&](const std::string& text) { ASSERT_EQ(::write(w, text.data(), text.size()), ssize_t(text.size())); };

    feed(round);
    ASSERT_TRUE(sub.wait_for("pxr52/1/value/rect.count", "2")) << host.err();
    feed("@+60\n");
    feed("@+1\n");
    ASSERT_TRUE(sub.wait_for("pxr52/1/status", "stale")) << host.err();
    feed(round);
    ASSERT_TRUE(smdtest::eventually([&] {
        const auto l = sub.lines();
        return std::count(l.begin(), l.end(), "pxr52/1/value/rect.count 2") == 2;
    })) << "an unchanged value goes again after a stale period";
    ::close(w);
    EXPECT_EQ(host.finish(), 0) << host.err();
    ASSERT_TRUE(sub.wait_for("pxr52/1/status", "offline"));

    const auto lines = sub.lines();
    const auto stale = std::find(lines.begin(), lines.end(), "pxr52/1/status stale");
    const auto online = std::find(stale, lines.end(), "pxr52/1/status online");
    ASSERT_NE(online, lines.end());
    EXPECT_EQ(std::next(stale), online) << "nothing between \"stale\" and \"online\": " << *std::next(stale);
    EXPECT_EQ(std::find(std::next(stale), online, "pxr52/1/value/rect.count 2"), online);
}

TEST(SmdhostMqtt, LiveMonitorRidesOutABrokerOutageAndLeavesItsWill) {
    require_tools();
    TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    Child bus({smdtest::bin("pwrsim"), "bus", "--pty", "--interval", "1", "--rounds", "1000", "--event-rate", "0"});
    ASSERT_TRUE(bus.wait_for([](const std::string& out, const std::string&) {
        return out.find('\n') != std::string::npos;
    })) << bus.err();
    const std::string tty = bus.out().substr(0, bus.out().find('\n'));

    NotifySocket notify(dir.file("notify"));
    setenv("NOTIFY_SOCKET", dir.file("notify").c_str(), 1);
    setenv("WATCHDOG_USEC", "1000000", 1);
    Child host({smdtest::smdhost_path(), "listen", "--serial", tty, "--format", "json", "--history",
                dir.file("h.db"), "--mqtt", url(broker, "/site/live")});
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    const auto pump_for = [&](double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
        host.wait_for([&](const std::string&, const std::string&) { return std::chrono::steady_clock::now() > end; },
                      seconds + 5);
    };
    const auto last_record_time = [&] {
        const auto p = smdtest::only(smdtest::events_of(host.out()), "publish");
        return p.empty() ? std::string() : p.back()["t"].asString().substr(0, 19);
    };

    // Ready once listening, then the watchdog fed from the line loop.
    ASSERT_TRUE(smdtest::eventually([&] { return notify.heard().find("READY=1") != std::string::npos; }))
        << host.err();
    EXPECT_NE(notify.heard().find("READY=1\nSTATUS=listening on " + tty), std::string::npos) << notify.heard();
    {
        Subscriber sub(broker.port(), "site/live/#");
        ASSERT_TRUE(sub.wait_for("site/live/status", "online"));
        ASSERT_TRUE(host.wait_for([](const std::string& out, const std::string&) {
            return out.find("\"ev\":\"history\"") != std::string::npos;
        })) << host.err();
    }
    EXPECT_TRUE(smdtest::eventually([&] { return notify.heard().find("WATCHDOG=1") != std::string::npos; }));

    // The broker away for 30 s: the line goes on, every record stored.
    broker.stop();
    const std::string before = last_record_time();
    const std::size_t published_before = smdtest::only(smdtest::events_of(host.out()), "publish").size();
    pump_for(30.0);
    ASSERT_TRUE(broker.start()) << broker.log();
    {
        // Back: the values of the newest record, none from before the outage.
        Subscriber sub(broker.port(), "site/live/#");
        ASSERT_TRUE(sub.wait_for("site/live/status", "online"));
        std::string first;
        ASSERT_TRUE(smdtest::eventually([&] {
            host.pump(0);
            for (const auto& l : sub.lines())
                if (l.compare(0, 28, "site/live/value/record.time ") == 0) first = l.substr(28);
            return !first.empty();
        }));
        EXPECT_GT(first, before);
        EXPECT_GT(smdtest::only(smdtest::events_of(host.out()), "publish").size(), published_before + 10);
    }

    // systemctl status tells how the line goes.
    EXPECT_NE(notify.heard().find(" records, the last at "), std::string::npos) << notify.heard();

    // Killed: the broker says so with the last will.
    {
        Subscriber sub(broker.port(), "site/live/status");
        ASSERT_TRUE(sub.wait_for("site/live/status", "online"));
        host.signal(SIGKILL);
        EXPECT_EQ(host.finish(), -1);
        EXPECT_TRUE(sub.wait_for("site/live/status", "offline", 90.0)) << broker.log();
    }
    const std::size_t saved = smdtest::only(smdtest::events_of(host.out()), "history").size();
    const smdtest::Result stored = smdtest::smdhost({"history", dir.file("h.db"), "--format", "json"});
    ASSERT_EQ(stored.status, 0) << stored.err;
    const std::size_t rows = smdtest::lines_of(stored.out).size();
    EXPECT_GE(rows, saved) << "a saved record was not stored";
    EXPECT_LE(rows, saved + 1);
    bus.signal(SIGTERM);
    bus.finish();
}

}  // namespace
