// The event hub: the wire form, a bounded queue per client, a slow client
// dropped without holding up the producer or the others.
#include <gtest/gtest.h>

#include "tools/smdhost/outputs/http/sse_hub.hpp"

using namespace std::chrono_literals;
using smdhttp::SseHub;

TEST(SseHub, FramesEveryLineAsData) {
    EXPECT_EQ(smdhttp::sse_frame("{\"ev\":\"publish\"}"), "data: {\"ev\":\"publish\"}\n\n");
    EXPECT_EQ(smdhttp::sse_frame("a\r\nb\rc\nd\n", "x\ny"), "event: x y\ndata: a\ndata: b\ndata: c\ndata: d\n\n");
    EXPECT_EQ(smdhttp::sse_frame(""), "data: \n\n");
}

TEST(SseHub, SlowClientIsDroppedOthersKeepEverything) {
    SseHub hub({2, 8, 1 << 20});
    auto slow = hub.subscribe();
    auto fast = hub.subscribe();
    ASSERT_TRUE(slow && fast);
    EXPECT_EQ(hub.subscribe(), nullptr);  // the limit

    std::string got;
    bool ended = false;
    for (int k = 0; k < 100; ++k) {
        hub.publish(std::to_string(k));
        if (k % 4 == 3) got += fast->take(0ms, ended);  // keeps up; `slow` never reads
    }
    EXPECT_FALSE(ended);
    std::string expected;
    for (int k = 0; k < 100; ++k) expected += "data: " + std::to_string(k) + "\n\n";
    EXPECT_EQ(got, expected);

    EXPECT_EQ(slow->take(0ms, ended), "event: dropped\ndata: this client fell behind; reconnect\n\n");
    EXPECT_TRUE(ended);
    EXPECT_EQ(hub.stats().dropped, 1u);

    slow.reset();  // its connection ends: the place is free again
    EXPECT_NE(hub.subscribe(), nullptr);

    hub.close();
    EXPECT_EQ(fast->take(1s, ended), "");
    EXPECT_TRUE(ended);
    EXPECT_EQ(hub.subscribe(), nullptr);
}
