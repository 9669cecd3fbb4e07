// The monitor outputs' cost to the thread that feeds them, per record of a
// full plant (40 rectifiers, two DC screens): the /metrics text built, an
// event handed to four stream clients, a record's values handed to the MQTT
// publisher while the broker is away; and one /metrics scrape served.
#include <benchmark/benchmark.h>

#include <httplib.h>

#include <string>
#include <vector>

#include "tools/smdhost/outputs/http/http_server.hpp"
#include "tools/smdhost/outputs/http/published.hpp"
#include "tools/smdhost/outputs/http/sse_hub.hpp"
#include "tools/smdhost/outputs/mqtt/mqtt_publisher.hpp"
#include "tools/smdhost/outputs/prometheus/exposition.hpp"

namespace {

using smdmetrics::MetricFamily;
using smdmetrics::MetricType;

// About the families of a full plant: six gauges per rectifier, the AC
// inputs, two screens with their battery groups, counters and alarms.
std::vector<MetricFamily> plant_families() {
    std::vector<MetricFamily> f;
    for (const char* name : {"current_amperes", "voltage_volts", "temperature_celsius", "on", "fault", "comm_ok"}) {
        MetricFamily m{std::string("pxr52_rectifier_") + name, "Per rectifier module.", MetricType::gauge, {}};
        for (int k = 1; k <= 40; ++k) m.samples.push_back({{{"module", std::to_string(k)}}, 10.0 + k * 0.25});
        f.push_back(m);
    }
    MetricFamily ac{"pxr52_ac_voltage_volts", "Phase voltage.", MetricType::gauge, {}};
    for (int input = 1; input <= 2; ++input)
        for (const char* phase : {"a", "b", "c"})
            ac.samples.push_back({{{"input", std::to_string(input)}, {"phase", phase}}, 220.5});
    f.push_back(ac);
    MetricFamily dc{"pxr52_battery_current_amperes", "Battery group current.", MetricType::gauge, {}};
    for (int screen = 1; screen <= 2; ++screen)
        for (int group = 1; group <= 4; ++group)
            dc.samples.push_back({{{"screen", std::to_string(screen)}, {"group", std::to_string(group)}}, -5.5});
    f.push_back(dc);
    MetricFamily alarms{"pxr52_alarm_active", "Active alarms.", MetricType::gauge, {}};
    for (int k = 0; k < 60; ++k) alarms.samples.push_back({{{"id", "0x" + std::to_string(1200 + k)}}, k % 7 == 0 ? 1.0 : 0.0});
    f.push_back(alarms);
    f.push_back({"pxr52_cycles_total", "Cycles.", MetricType::counter,
                 {{{{"result", "published"}}, 86400}, {{{"result", "dropped"}}, 12}}});
    return f;
}

void BM_RenderPlantMetrics(benchmark::State& state) {
    const auto families = plant_families();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = smdmetrics::render_exposition(families);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderPlantMetrics);

void BM_EventToFourStreams(benchmark::State& state) {
    smdhttp::SseHub hub({4, 1024, 4 << 20});
    std::vector<std::shared_ptr<smdhttp::SseSubscription>> subs;
    for (int k = 0; k < 4; ++k) subs.push_back(hub.subscribe());
    const std::string event(300, 'e');
    bool ended = false;
    std::size_t n = 0;
    for (auto _ : state) {
        hub.publish(event);
        if (++n % 512 == 0) {
            state.PauseTiming();
            for (auto& s : subs) s->take(std::chrono::milliseconds(0), ended);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_EventToFourStreams);

// 300 values per record into the cache, nobody connected: what the line
// thread pays while the broker is away.
void BM_MqttRecordWhileBrokerAway(benchmark::State& state) {
    smdmqtt::PublisherOptions o;
    o.host = "127.0.0.1";
    o.port = 1;
    o.root = "pxr52/1";
    smdmqtt::MqttPublisher pub(o);
    std::vector<std::string> topics;
    for (int k = 0; k < 300; ++k) topics.push_back("value/rect." + std::to_string(k) + ".current");
    for (auto _ : state)
        for (const auto& t : topics) pub.publish(t, "12.25");
    state.SetItemsProcessed(state.iterations() * static_cast<long>(topics.size()));
}
BENCHMARK(BM_MqttRecordWhileBrokerAway);

// One scrape of the plant's /metrics over a kept-alive loopback connection.
void BM_ScrapeMetrics(benchmark::State& state) {
    smdhttp::Published<std::string> text;
    text.publish(smdmetrics::render_exposition(plant_families()));
    smdhttp::HttpServer server({"127.0.0.1", 0});
    server.route("/metrics", [&](const smdhttp::HttpRequest&) { return smdhttp::HttpReply::text(*text.get()); });
    const int port = server.start();
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    for (auto _ : state) {
        const auto r = client.Get("/metrics");
        if (!r || r->status != 200) state.SkipWithError("scrape failed");
    }
    server.stop();
}
BENCHMARK(BM_ScrapeMetrics)->UseRealTime();

}  // namespace
