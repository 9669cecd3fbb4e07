// smdhost itself as a Prometheus target: a real server scrapes a replay of
// the demo that lingers, and answers a query with the demo's count.
#include <gtest/gtest.h>

#include "system/external_services.hpp"

TEST(SmdhostScrape, PrometheusQueriesTheDemosPublishedCycles) {
    ASSERT_FALSE(smdtest::find_tool("prometheus").empty()) << smdtest::missing_tool("prometheus", "prometheus");
    const int port = smdtest::free_port();
    const std::string source = SMD_SOURCE_DIR;
    smdtest::Child monitor({smdtest::smdhost_path(), "replay", source + "/samples/demo/demo.scn", "--config",
                            source + "/samples/demo/config.json", "--format", "json", "--http",
                            "127.0.0.1:" + std::to_string(port), "--linger", "120"});
    ASSERT_TRUE(monitor.wait_for([](const std::string&, const std::string& err) {
        return err.find("smdhost: serving http://") != std::string::npos;
    })) << monitor.err();

    smdtest::TempDir dir;
    smdtest::PrometheusServer prom(dir, "127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(prom.start()) << prom.log();
    // Its events are read on the way, so that it never waits on a full pipe.
    EXPECT_TRUE(smdtest::eventually(
        [&] {
            monitor.pump(0);
            return prom.query_value("pxr52_cycles_total{result=\"published\"}") == "34";
        },
        60.0))
        << prom.log();
    EXPECT_EQ(prom.query_value("pxr52_up"), "1");

    monitor.signal(SIGTERM);
    EXPECT_EQ(monitor.finish(), 0) << monitor.err();
}
