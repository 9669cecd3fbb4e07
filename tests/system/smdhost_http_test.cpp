// smdhost --http as a monitoring stack meets it: the demo replayed, then
// served while it lingers; /metrics read by promtool, the JSON of /api/
// against the demo's known end state, /events against standard output.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "system/external_services.hpp"

namespace {

const std::string kDemo = std::string(SMD_SOURCE_DIR) + "/samples/demo/demo.scn";
const std::string kDemoConfig = std::string(SMD_SOURCE_DIR) + "/samples/demo/config.json";

// smdhost replay with --http on a free port, lingering; started() once it
// serves.
struct Monitor {
    Monitor(const std::string& input, const std::vector<std::string>& more = {})
        : port(smdtest::free_port()), child(args(input, more)) {}

    std::vector<std::string> args(const std::string& input, const std::vector<std::string>& more) const {
        std::vector<std::string> a{smdtest::smdhost_path(), "replay", input, "--config", kDemoConfig, "--format",
                                   "json", "--diagnostics", "--http", "127.0.0.1:" + std::to_string(port),
                                   "--linger", "120"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    bool started() {
        const std::string line = "smdhost: serving http://127.0.0.1:" + std::to_string(port) + "/\n";
        return child.wait_for([&](const std::string&, const std::string& err) {
            return err.find(line) != std::string::npos;
        });
    }
    // The replay has ended: its "line" event is out.
    bool replayed() {
        return child.wait_for([](const std::string& out, const std::string&) {
            return out.find("\"ev\":\"line\"") != std::string::npos;
        });
    }
    Json::Value get_json(const std::string& path) {
        httplib::Client c("127.0.0.1", port);
        const auto r = c.Get(path);
        Json::Value v;
        if (!r || r->status != 200) return v;
        std::istringstream in(r->body);
        Json::parseFromStream(Json::CharReaderBuilder(), in, &v, nullptr);
        return v;
    }

    int port;
    smdtest::Child child;
};

bool has_line(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace

TEST(SmdhostHttp, ServesTheDemosEndStateWhileItLingers) {
    smdtest::TempDir dir;
    Monitor m(kDemo, {"--history", dir.file("store.db")});
    ASSERT_TRUE(m.started()) << m.child.err();
    ASSERT_TRUE(m.replayed()) << m.child.err();
    httplib::Client c("127.0.0.1", m.port);

    const auto metrics = c.Get("/metrics");
    ASSERT_TRUE(metrics && metrics->status == 200);
    EXPECT_EQ(metrics->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const auto lint = smdtest::promtool_check_metrics(metrics->body, dir);
    EXPECT_EQ(lint.status, 0) << lint.out << lint.err;
    EXPECT_EQ(lint.out + lint.err, "");
    // The demo's README: 34 cycles published, 6 dropped, 3 length faults and
    // one non-hex character; the last record's DC voltage.
    for (const char* line : {"pxr52_up 1", "pxr52_cycles_total{result=\"published\"} 34",
                             "pxr52_cycles_total{result=\"dropped\"} 6",
                             "pxr52_frames_bad_total{reason=\"length\"} 3",
                             "pxr52_frames_bad_total{reason=\"hex\"} 1",
                             "pxr52_dc_voltage_volts{screen=\"1\"} 53.5",
                             "pxr52_rect_current_amperes{module=\"1\"} 5.08"})
        EXPECT_TRUE(has_line(metrics->body, line)) << line;

    const auto publishes = smdtest::only(smdtest::events_of(m.child.out()), "publish");
    ASSERT_EQ(publishes.size(), 34u);
    const Json::Value current = m.get_json("/api/current");
    EXPECT_EQ(current["stale"], false);
    EXPECT_EQ(current["last_record"], publishes.back()["t"]);
    EXPECT_EQ(current["values"]["dc.1.voltage"].asDouble(), 53.5);
    EXPECT_EQ(current["values"]["ac.1.a"].asDouble(), 218.88);
    EXPECT_EQ(current["values"]["rect.count"].asInt(), 6);
    EXPECT_FALSE(current["values"].isMember("rect.7.current"));  // beyond the 6 modules reported
    // What the page needs to read the state bytes as the device does.
    EXPECT_EQ(current["settings"]["b_mode"], 2);
    EXPECT_EQ(current["settings"]["open_41_43"], 0);

    EXPECT_EQ(m.get_json("/api/line")["cycles"]["published"], 34);
    EXPECT_EQ(m.get_json("/api/alarms")["active"].size(), 0u);  // every alarm cleared by the end

    // The stored records and the alarm journal: the mains failure of cycles 8
    // to 13, raised and cleared.
    const Json::Value h = m.get_json("/api/history?names=dc.1.voltage&from=2026-01-01T00:00:00"
                                     "&to=2026-01-01T00:05:00&points=300");
    EXPECT_EQ(h["series"]["dc.1.voltage"].size(), 34u);
    bool mains = false;
    for (const auto& a : h["alarms"])
        mains = mains || (a["id"] == "220600140010" && a["to_ms"].asInt64() > a["from_ms"].asInt64());
    EXPECT_TRUE(mains) << h["alarms"];

    // Read-only: nothing but GET and HEAD.
    const auto post = c.Post("/api/current", "{}", "application/json");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 405);

    m.child.signal(SIGTERM);
    EXPECT_EQ(m.child.finish(), 0) << m.child.err();
}

TEST(SmdhostHttp, EventsStreamWhatStandardOutputCarries) {
    // The scenario comes through a pipe, written once the stream is open.
    smdtest::TempDir dir;
    const std::string fifo = dir.file("in.scn");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    Monitor m(fifo);
    ASSERT_TRUE(m.started()) << m.child.err();

    std::mutex mutex;
    std::string stream;
    std::thread reader([&] {
        httplib::Client c("127.0.0.1", m.port);
        c.set_read_timeout(120, 0);
        c.Get("/events", [&](const char* data, std::size_t n) {
            std::lock_guard<std::mutex> lock(mutex);
            stream.append(data, n);
            return true;
        });
    });
    // However the test ends, the server goes first, so that the stream ends.
    struct Join {
        smdtest::Child& server;
        std::thread& t;
        ~Join() {
            server.signal(SIGKILL);
            t.join();
        }
    } join{m.child, reader};
    auto received = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return stream;
    };
    ASSERT_TRUE(smdtest::eventually([&] { return received().find("retry: 3000") != std::string::npos; }));
    // A round at a time, as a line brings them: a client that falls a
    // thousand events behind is dropped (by design: it cannot hold up the
    // line), and a replay at full speed outruns any.
    const std::string demo = smdtest::read_file(kDemo);
    for (std::size_t at = 0; at < demo.size();) {
        std::size_t next = demo.find("\n# round", at + 1);
        next = next == std::string::npos ? demo.size() : next + 1;
        ASSERT_EQ(::write(writer, demo.data() + at, next - at), static_cast<ssize_t>(next - at));
        at = next;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m.child.pump(0);  // its standard output read on the way: it never waits on a full pipe
    }
    ::close(writer);
    ASSERT_TRUE(m.replayed()) << m.child.err();

    // Every event since the stream opened, in order, each as one "data:" line.
    const auto out = smdtest::lines_of(m.child.out());
    std::vector<std::string> events;
    ASSERT_TRUE(smdtest::eventually([&] {
        events.clear();
        for (const auto& l : smdtest::lines_of(received()))
            if (l.compare(0, 6, "data: ") == 0) events.push_back(l.substr(6));
        return !events.empty() && events.back() == out.back();
    })) << received();
    ASSERT_LE(events.size(), out.size());
    EXPECT_EQ(events, std::vector<std::string>(out.end() - static_cast<long>(events.size()), out.end()));
    std::string joined;
    for (const auto& e : events) joined += e + "\n";
    EXPECT_EQ(smdtest::only(smdtest::events_of(joined), "publish").size(), 34u);

    m.child.signal(SIGTERM);
    EXPECT_EQ(m.child.finish(), 0) << m.child.err();
}

TEST(SmdhostHttp, UsageErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    for (const Case& c : {Case{{"--linger", "5"}, "--linger needs --http"},
                          Case{{"--http", "127.0.0.1:0"}, "port 0 is not in 1-65535"},
                          Case{{"--http", "[::1]"}, "--http"}}) {
        std::vector<std::string> args{"replay", kDemo};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = smdtest::smdhost(args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}
