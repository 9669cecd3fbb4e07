// mqtt_probe PORT ROOT [SUBTOPIC=PAYLOAD...]: an MQTT publisher in a
// process of its own, for tests that kill it. Publishes the pairs, prints
// "connected" once the broker has them all, then waits to be killed.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

#include "tools/smdhost/outputs/mqtt/mqtt_publisher.hpp"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: mqtt_probe PORT ROOT [SUBTOPIC=PAYLOAD...]\n");
        return 2;
    }
    smdmqtt::PublisherOptions o;
    o.host = "127.0.0.1";
    o.port = std::stoi(argv[1]);
    o.root = argv[2];
    smdmqtt::MqttPublisher p(o);
    p.start();
    for (int k = 3; k < argc; ++k) {
        const std::string pair = argv[k];
        const std::size_t eq = pair.find('=');
        p.publish(pair.substr(0, eq), eq == std::string::npos ? "" : pair.substr(eq + 1));
    }
    while (!p.stats().connected || p.stats().waiting > 0 || p.stats().unacked > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::printf("connected\n");
    std::fflush(stdout);
    for (;;) ::pause();
}
