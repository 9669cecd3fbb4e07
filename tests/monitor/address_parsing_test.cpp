// --http ADDR:PORT and --mqtt mqtt://HOST[:PORT][/ROOT]: what is accepted,
// and errors that name the text and the fault.
#include <gtest/gtest.h>

#include "tools/smdhost/outputs/http/listen_address.hpp"
#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"

TEST(ListenAddress, LoopbackUnlessAnAddressIsGiven) {
    struct Case {
        const char* text;
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"9752", "127.0.0.1", 9752}, Case{":80", "127.0.0.1", 80},
                          Case{"0.0.0.0:9752", "0.0.0.0", 9752}, Case{"[::1]:65535", "::1", 65535},
                          Case{"monitor.local:1", "monitor.local", 1}}) {
        const auto a = smdhttp::parse_listen_address(c.text);
        EXPECT_EQ(a.host, c.host) << c.text;
        EXPECT_EQ(a.port, c.port) << c.text;
    }
    for (const char* bad : {"", "host", "host:", ":0", ":65536", ":12ab", "::1:80", "[::1]", "[::1]80",
                            "a b:80", "[zz]:80"}) {
        try {
            smdhttp::parse_listen_address(bad);
            ADD_FAILURE() << "'" << bad << "' accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find("'" + std::string(bad) + "'"), std::string::npos) << e.what();
        }
    }
}

TEST(MqttUrl, HostPortAndRoot) {
    struct Case {
        const char* text;
        const char* host;
        int port;
        const char* root;
    };
    for (const Case& c : {Case{"mqtt://127.0.0.1", "127.0.0.1", 1883, ""},
                          Case{"MQTT://broker.site:1884/site/a", "broker.site", 1884, "site/a"},
                          Case{"mqtt://[fd00::5]/pxr52/7/", "fd00::5", 1883, "pxr52/7"},
                          Case{"mqtt://b:1/%E7%AB%99%20a", "b", 1, "\xE7\xAB\x99 a"},
                          Case{"mqtt://b/", "b", 1883, ""}}) {
        const auto u = smdmqtt::parse_mqtt_url(c.text);
        EXPECT_EQ(u.host, c.host) << c.text;
        EXPECT_EQ(u.port, c.port) << c.text;
        EXPECT_EQ(u.root, c.root) << c.text;
    }
    EXPECT_EQ(smdmqtt::default_root(12), "pxr52/12");
}

TEST(MqttUrl, RefusedWithTheReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    for (const Case& c : {Case{"tcp://b", "must start with mqtt://"}, Case{"mqtts://b", "TLS"},
                          Case{"ws://b", "websockets"}, Case{"mqtt://", "no host"},
                          Case{"mqtt://u:p@b", "password"}, Case{"mqtt://b:", "no port"},
                          Case{"mqtt://b:0", "1-65535"}, Case{"mqtt://b:70000", "1-65535"},
                          Case{"mqtt://b:x1", "not a number"}, Case{"mqtt://b/a/+/c", "wildcards"},
                          Case{"mqtt://b/a/#", "'#'"}, Case{"mqtt://b/a//c", "empty level"},
                          Case{"mqtt://b/$SYS", "'$'"}, Case{"mqtt://b/a?x=1", "query"},
                          Case{"mqtt://b/a%0Ab", "control character"}, Case{"mqtt://b/%FF", "UTF-8"},
                          Case{"mqtt://b/%4", "two hex digits"}, Case{"mqtt://b c", "not a host name"}}) {
        try {
            smdmqtt::parse_mqtt_url(c.text);
            ADD_FAILURE() << c.text << " accepted";
        } catch (const std::invalid_argument& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(std::string("'") + c.text + "'"), std::string::npos) << what;
            EXPECT_NE(what.find(c.reason), std::string::npos) << c.text << ": " << what;
        }
    }
}
