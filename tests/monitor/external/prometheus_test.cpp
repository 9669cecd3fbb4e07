// The exposition against the real consumers: promtool's linter, and a
// Prometheus server that scrapes the HTTP server and answers a query.
#include <gtest/gtest.h>

#include "system/external_services.hpp"
#include "tools/smdhost/outputs/http/http_server.hpp"
#include "tools/smdhost/outputs/http/published.hpp"
#include "tools/smdhost/outputs/prometheus/exposition.hpp"

using smdmetrics::MetricFamily;
using smdmetrics::MetricType;

namespace {

// The families a monitor exports, with the awkward values and texts.
std::vector<MetricFamily> monitor_families(double voltage) {
    return {
        {"pxr52_up", "1 while records arrive, 0 once none came for 61 s.", MetricType::gauge, {{{}, 1}}},
        {"pxr52_last_record_timestamp_seconds", "Time of the last published record.", MetricType::gauge,
         {{{}, 1767225606.5}}},
        {"pxr52_cycles_total", "Interrogation cycles by result.", MetricType::counter,
         {{{{"result", "published"}}, 120}, {{{"result", "dropped"}}, 3}}},
        {"pxr52_frames_bad_total", "Bad frames by reason.", MetricType::counter,
         {{{{"reason", "checksum"}}, 2}, {{{"reason", "too_long"}}, 0}}},
        {"pxr52_test_voltage_volts", "DC voltage \\ per screen.\nSecond line.", MetricType::gauge,
         {{{{"screen", "1"}}, std::nan("")}, {{{"screen", "2"}}, voltage}}},
        {"pxr52_alarm_active", "Active alarms.", MetricType::gauge,
         {{{{"id", "0x1201\"\\\n"}, {"text", "\xE5\x91\x8A\xE8\xAD\xA6"}}, 1},
          {{{"id", "limit"}}, std::numeric_limits<double>::infinity()}}},
        {"pxr52_rectifier_current_amperes", "No module yet.", MetricType::gauge, {}},
    };
}

}  // namespace

TEST(PrometheusOutput, PromtoolFindsNothingToLint) {
    ASSERT_FALSE(smdtest::find_tool("promtool").empty()) << smdtest::missing_tool("promtool", "prometheus");
    smdtest::TempDir dir;
    const auto r = smdtest::promtool_check_metrics(smdmetrics::render_exposition(monitor_families(53.5)), dir);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out + r.err, "");
}

TEST(PrometheusOutput, ServerScrapesMetricsAndAnswersAQuery) {
    ASSERT_FALSE(smdtest::find_tool("prometheus").empty()) << smdtest::missing_tool("prometheus", "prometheus");
    smdhttp::Published<std::string> text;
    text.publish(smdmetrics::render_exposition(monitor_families(53.5)));
    smdhttp::HttpServer server({"127.0.0.1", 0});
    server.route("/metrics", [&](const smdhttp::HttpRequest&) {
        smdhttp::HttpReply r = smdhttp::HttpReply::text(*text.get());
        r.content_type = smdmetrics::kExpositionContentType;
        return r;
    });
    const int port = server.start();

    smdtest::TempDir dir;
    smdtest::PrometheusServer prom(dir, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(prom.start()) << prom.log();
    const std::string query = "pxr52_test_voltage_volts{screen=\"2\"}";
    EXPECT_TRUE(smdtest::eventually([&] { return prom.query_value(query) == "53.5"; }, 60.0)) << prom.log();
    EXPECT_EQ(prom.query_value("up{job=\"monitor\"}"), "1");

    // The producer swaps in a new snapshot; the next scrape has it.
    text.publish(smdmetrics::render_exposition(monitor_families(54.25)));
    EXPECT_TRUE(smdtest::eventually([&] { return prom.query_value(query) == "54.25"; }, 60.0)) << prom.log();
    EXPECT_EQ(prom.query_value("pxr52_cycles_total{result=\"dropped\"}"), "3");
    server.stop();
}
