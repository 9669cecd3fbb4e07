// The MQTT publisher against a real broker: retained topics and the status,
// the last will of a killed process, and a broker that restarts (values
// sent again, stale ones withheld).
#include <gtest/gtest.h>

#include "system/external_services.hpp"
#include "tools/smdhost/outputs/mqtt/mqtt_publisher.hpp"

using smdmqtt::MqttPublisher;
using smdmqtt::Status;
using smdtest::MosquittoBroker;
using smdtest::Subscriber;

namespace {

smdmqtt::PublisherOptions options(int port, const std::string& root) {
    smdmqtt::PublisherOptions o;
    o.host = "127.0.0.1";
    o.port = port;
    o.root = root;
    o.reconnect_min = std::chrono::milliseconds(100);
    o.reconnect_max = std::chrono::milliseconds(500);
    o.log = [](const std::string&) {};
    return o;
}

// Index of the first line equal to `line` in `lines`, or -1.
long index_of(const std::vector<std::string>& lines, const std::string& line) {
    const auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : it - lines.begin();
}

void require_mosquitto() {
    ASSERT_FALSE(smdtest::find_tool("mosquitto").empty()) << smdtest::missing_tool("mosquitto", "mosquitto");
    ASSERT_FALSE(smdtest::find_tool("mosquitto_sub").empty())
        << smdtest::missing_tool("mosquitto_sub", "mosquitto-clients");
}

}  // namespace

TEST(MqttOutput, RetainedValuesStatusAndOfflineOnStop) {
    require_mosquitto();
    smdtest::TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker.port(), "site/a/#");

    MqttPublisher pub(options(broker.port(), "site/a"));
    pub.start();
    EXPECT_TRUE(pub.publish("value/dc.1.voltage", "53.5"));
    EXPECT_TRUE(pub.publish("alarm/0x1201", "{\"active\":true,\"level\":2,\"text\":\"x\"}"));
    EXPECT_FALSE(pub.publish("value/a+b", "1"));  // a wildcard: refused, nothing cached
    ASSERT_TRUE(sub.wait_for("site/a/alarm/0x1201", "{\"active\":true,\"level\":2,\"text\":\"x\"}"));
    EXPECT_EQ(smdtest::retained(broker.port(), "site/a/#"),
              (std::map<std::string, std::string>{{"site/a/status", "online"},
                                                  {"site/a/value/dc.1.voltage", "53.5"},
                                                  {"site/a/alarm/0x1201", "{\"active\":true,\"level\":2,\"text\":\"x\"}"}}));

    // Stale: the status says so, and a value published meanwhile waits for
    // the status to be online again, after which it goes.
    pub.set_status(Status::stale);
    ASSERT_TRUE(sub.wait_for("site/a/status", "stale"));
    pub.publish("value/dc.1.voltage", "54");
    pub.set_status(Status::online);
    ASSERT_TRUE(sub.wait_for("site/a/value/dc.1.voltage", "54"));
    const auto lines = sub.lines();
    const long stale = index_of(lines, "site/a/status stale");
    const long online = index_of(lines, "site/a/status online");
    const long value = index_of(lines, "site/a/value/dc.1.voltage 54");
    EXPECT_LT(stale, value);
    EXPECT_GT(std::count(lines.begin(), lines.end(), "site/a/status online"), 1);
    EXPECT_LT(online, stale);

    pub.stop();
    ASSERT_TRUE(sub.wait_for("site/a/status", "offline"));
    EXPECT_EQ(smdtest::retained(broker.port(), "site/a/status")["site/a/status"], "offline");
    EXPECT_FALSE(pub.publish("value/dc.1.voltage", "55"));
}

TEST(MqttOutput, LastWillWhenTheProcessIsKilled) {
    require_mosquitto();
    smdtest::TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    Subscriber sub(broker.port(), "site/k/#");
    smdtest::Child probe({MQTT_PROBE_PATH, std::to_string(broker.port()), "site/k", "value/x=1"});
    ASSERT_TRUE(probe.wait_for([](const std::string& out, const std::string&) {
        return out.find("connected\n") != std::string::npos;
    })) << probe.err();
    ASSERT_TRUE(sub.wait_for("site/k/status", "online"));
    probe.signal(SIGKILL);
    EXPECT_TRUE(sub.wait_for("site/k/status", "offline")) << broker.log();
    EXPECT_EQ(smdtest::retained(broker.port(), "site/k/#"),
              (std::map<std::string, std::string>{{"site/k/status", "offline"}, {"site/k/value/x", "1"}}));
}

TEST(MqttOutput, BrokerRestartGetsLatestValuesButNoStaleOnes) {
    require_mosquitto();
    smdtest::TempDir dir;
    MosquittoBroker broker(dir);
    ASSERT_TRUE(broker.start()) << broker.log();
    MqttPublisher pub(options(broker.port(), "site/r"));
    pub.start();
    pub.publish("value/v", "1");
    {
        Subscriber sub(broker.port(), "site/r/#");
        ASSERT_TRUE(sub.wait_for("site/r/value/v", "1"));
    }

    // The broker goes away (and forgets every retained message); publishing
    // goes on, into the cache, newest payload per topic.
    broker.stop();
    ASSERT_TRUE(smdtest::eventually([&] { return !pub.stats().connected; }));
    for (int k = 2; k <= 500; ++k) EXPECT_TRUE(pub.publish("value/v", std::to_string(k)));
    pub.publish("value/w", "3");
    EXPECT_EQ(pub.stats().topics, 2u);
    EXPECT_LE(pub.stats().waiting, 2u);

    ASSERT_TRUE(broker.start()) << broker.log();
    {
        Subscriber sub(broker.port(), "site/r/#");
        ASSERT_TRUE(sub.wait_for("site/r/value/w", "3"));
        ASSERT_TRUE(sub.wait_for("site/r/value/v", "500"));
        EXPECT_EQ(smdtest::retained(broker.port(), "site/r/status")["site/r/status"], "online");
    }

    // Away again, and the line goes stale meanwhile: on its return the
    // broker gets "stale" and none of the old values.
    broker.stop();
    ASSERT_TRUE(smdtest::eventually([&] { return !pub.stats().connected; }));
    pub.set_status(Status::stale);
    ASSERT_TRUE(broker.start()) << broker.log();
    {
        Subscriber sub(broker.port(), "site/r/#");
        ASSERT_TRUE(sub.wait_for("site/r/status", "stale"));
        EXPECT_EQ(smdtest::retained(broker.port(), "site/r/#"),
                  (std::map<std::string, std::string>{{"site/r/status", "stale"}}));
    }

    // Records again: only what was published since goes with "online".
    pub.publish("value/v", "501");
    pub.set_status(Status::online);
    {
        Subscriber sub(broker.port(), "site/r/#");
        ASSERT_TRUE(sub.wait_for("site/r/value/v", "501"));
        EXPECT_EQ(smdtest::retained(broker.port(), "site/r/#"),
                  (std::map<std::string, std::string>{{"site/r/status", "online"}, {"site/r/value/v", "501"}}));
    }
    EXPECT_GE(pub.stats().connections, 3u);
}
