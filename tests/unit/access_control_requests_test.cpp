// Control requests: commands sent per device type, results, state effects and
// the output word, including hostile inputs.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_device.hpp"

namespace {

using namespace testing_support;
using Kind = smdhost::HostEvent::Kind;

constexpr int kHostResult = 7;  // what the host's DeviceIoControl answers here

// A device of the given model key (a pxr52_419 with device_type set), or the
// shipped class for nullptr, on a recording host.
struct Ctl {
    explicit Ctl(const char* model_key) {
        if (model_key == nullptr) {
            dev = std::make_unique<Tarnel_BRELM_PXR52_419>();
        } else {
            dev = std::make_unique<pxr52_419>();
            dev->device_type = model_key;
        }
        dev->host_listener = &log;
        dev->host_ioctl_result = kHostResult;
    }
    int text(int code, const std::string& t) {
        int out_len = -9;
        return dev->DeviceIoControl(code, t.data(), static_cast<int>(t.size()), nullptr, 0,
                                    out_len);
    }
    // Every command sent, as "CID1/CID2 INFO;" in hex.
    std::string sent() const {
        std::string s;
        char hex[8];
        for (const auto& e : log.of(Kind::send)) {
            std::snprintf(hex, sizeof hex, "%02X/%02X", e.cid1, e.cid2);
            s += hex;
            for (unsigned char b : e.bytes) {
                std::snprintf(hex, sizeof hex, " %02X", b);
                s += hex;
            }
            s += ';';
        }
        return s;
    }
    size_t count(Kind k) const { return log.of(k).size(); }

    std::unique_ptr<pxr52_419> dev;
    smdhost::CallLog log;
};

TEST(ControlSetDcParameter, EncodingPerModelAndResults) {
    const std::string a53 = R"({"signal_id":"4196A3101001","SetValue":"53.5"})";
    struct Case {
        const char* model;
        std::string request;
        int result;
        const char* sent;
    } const cases[] = {
        {"pxr52_419", a53, 0, "42/49 85 14 E6;"},
        {nullptr, a53, 0, "42/48 DC 00 00 56 42;"},
        {"pxr52_419", R"({"signal_id":"150600410010","SetValue":-1.5})", 0, "42/49 84 FF 6A;"},
        {"r318e_419", R"({"signal_id":"4196A3201001","SetValue":53.5})", 0, "42/48 F1 00 00 56 42;"},
        {"r905q_419", R"({"signal_id":"150600370010","SetValue":"53.5"})", 0, "42/48 EC 00 00 56 42;"},
        {"gwe37t_419", R"({"signal_id":"150600410010","SetValue":"53.5"})", 0, "42/48 DB 00 00 56 42;"},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":"53.509"})", 0, "42/49 85 14 E6;"},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":"volts"})", 0, "42/49 85 00 00;"},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":400})", 0, "42/49 85 9C 40;"},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":-327.68})", 0, "42/49 85 80 00;"},
        // The classic reader takes comments and ignores what follows the value.
        {nullptr, a53 + " // set by hand", 0, "42/48 DC 00 00 56 42;"},
        // Not applicable: nothing sent, the host decides.
        {"pxr52_419", R"({"signal_id":"","SetValue":1})", kHostResult, ""},
        {nullptr, R"({"signal_id":"4196A3101002","SetValue":1})", kHostResult, ""},
        {nullptr, R"({"signal_id":"4196A3101001"})", kHostResult, ""},
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":null})", kHostResult, ""},
        {nullptr, R"({"signal_id":null,"SetValue":1})", kHostResult, ""},
        {nullptr, R"({"signal_id":{"x":1},"SetValue":1})", kHostResult, ""},
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":[53.5]})", kHostResult, ""},
        {nullptr, R"(["4196A3101001", 53.5])", kHostResult, ""},
        {nullptr, "12", kHostResult, ""},
        // Refused: not JSON, or a value the command cannot carry.
        {nullptr, "", -1, ""},
        {nullptr, "signal_id=4196A3101001", -1, ""},
        {nullptr, R"({"signal_id":"4196A3101001",)", -1, ""},
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":"53.5",})", -1, ""},  // trailing comma
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":[53.5,]})", -1, ""},
        {nullptr, "\xEF\xBB\xBF" + a53, -1, ""},  // byte-order mark
        {nullptr, std::string(5000, '['), -1, ""},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":700})", -1, ""},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":-327.7})", -1, ""},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":"nan"})", -1, ""},
        {"pxr52_419", R"({"signal_id":"4196A3101001","SetValue":"1e300"})", -1, ""},
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":"inf"})", -1, ""},
        {nullptr, R"({"signal_id":"4196A3101001","SetValue":"1e39"})", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request.substr(0, 80) + " on " + (c.model ? c.model : "shipped"));
        Ctl t(c.model);
        t.dev->control_ack = 1;
        EXPECT_EQ(t.text(310, c.request), c.result);
        EXPECT_EQ(t.sent(), c.sent);
        EXPECT_EQ(t.dev->cmd_state, 310);
        EXPECT_EQ(t.dev->control_ack, -1);
        EXPECT_EQ(t.count(Kind::open_port), 1u);
        EXPECT_EQ(t.count(Kind::host_ioctl), c.result == kHostResult ? 1u : 0u);
    }
}

TEST(ControlSetDcParameter, ParsesOnlyTheGivenBytes) {
    const std::string req = R"({"signal_id":"4196A3101001","SetValue":"53.5"})";
    Ctl t("pxr52_419");
    int out_len = 0;
    EXPECT_EQ(t.dev->DeviceIoControl(310, nullptr, 40, nullptr, 0, out_len), -1);
    EXPECT_EQ(t.dev->DeviceIoControl(310, req.data(), -1, nullptr, 0, out_len), -1);
    // The closing brace lies beyond the given length.
    EXPECT_EQ(t.dev->DeviceIoControl(310, req.data(), static_cast<int>(req.size()) - 1, nullptr,
                                     0, out_len),
              -1);
    EXPECT_EQ(t.sent(), "");
    // Exactly sized buffer with no terminator.
    const std::vector<char> exact(req.begin(), req.end());
    EXPECT_EQ(t.dev->DeviceIoControl(310, exact.data(), static_cast<int>(exact.size()), nullptr,
                                     0, out_len),
              0);
    EXPECT_EQ(t.sent(), "42/49 85 14 E6;");
}

TEST(ControlRectifier, CommandPerModelKeyAndSignalId) {
    struct Case {
        const char* model;
        const char* request;
        const char* sent;
    } const cases[] = {
        {"gwe37t_419", "419500201003", "41/45 20 03;"},
        {nullptr, "419500201003", "41/45 E5 03;"},
        {"pxr52_419", "419500200017", "41/45 2F 11;"},
        {nullptr, "419500200017", "41/45 E6 11;"},
        {"r318e_419", "419500201", "41/45 20 00;"},
        {nullptr, "4195002011", "41/45 E5 01;"},
        {nullptr, "419500201300", "41/45 E5 2C;"},
        {nullptr, "419500600001", "41/45 1F 02;"},
        {"gwe37t_419", "419500600001", "41/45 1F 02;"},
        {nullptr, "419500601001", "41/45 10 02;"},
        {"r905q_419", "419500601001", "41/45 10 02;"},
        {nullptr, "419500602001", "41/45 11 02;"},
        {"pxr52_419", "419500602001", "41/45 11 02;"},
        {nullptr, "419500600001x", ""},
        {nullptr, "41950060000", ""},
        {nullptr, "41950020", ""},
        {nullptr, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.request) + " on " + (c.model ? c.model : "shipped"));
        Ctl t(c.model);
        t.dev->cmd_state = 104;
        t.dev->control_ack = 1;
        EXPECT_EQ(t.text(320, c.request), kHostResult);
        EXPECT_EQ(t.sent(), c.sent);
        EXPECT_EQ(t.dev->cmd_state, 104);
        EXPECT_EQ(t.dev->refresh_wait, 320);
        EXPECT_EQ(t.dev->control_ack, -1);
        EXPECT_EQ(t.count(Kind::open_port), 1u);
        EXPECT_EQ(t.count(Kind::host_ioctl), 1u);
    }
}

TEST(ControlRectifier, ReadsNoFurtherThanTheLengthOrTheTerminator) {
    Ctl t(nullptr);
    int out_len = 0;
    EXPECT_EQ(t.dev->DeviceIoControl(320, nullptr, 12, nullptr, 0, out_len), kHostResult);
    EXPECT_EQ(t.dev->DeviceIoControl(320, "419500600001", -3, nullptr, 0, out_len), kHostResult);
    EXPECT_EQ(t.sent(), "");
    const char* id = "419500201003";
    t.dev->DeviceIoControl(320, id, 10, nullptr, 0, out_len);  // "4195002010"
    char buffer[32] = "419500600001";                          // C string, buffer size given
    t.dev->DeviceIoControl(320, buffer, sizeof buffer, nullptr, 0, out_len);
    EXPECT_EQ(t.sent(), "41/45 E5 00;41/45 1F 02;");
}

TEST(ControlSetClock, SendsSevenTimeBytesAndWritesOne) {
    const unsigned char when[8] = {0x07, 0xEA, 0x01, 0x01, 0x0C, 0x00, 0x00, 0xFF};
    Ctl t(nullptr);
    int out = 0;
    int out_len = 0;
    EXPECT_EQ(t.dev->DeviceIoControl(300, when, 7, &out, 4, out_len), kHostResult);
    EXPECT_EQ(t.sent(), "41/4E 07 EA 01 01 0C 00 00;");
    EXPECT_EQ(out, 1);
    EXPECT_EQ(out_len, 4);
    EXPECT_EQ(t.dev->cmd_state, 300);
    ASSERT_EQ(t.log.events.size(), 3u);
    EXPECT_EQ(t.log.events[0].kind, Kind::open_port);
    EXPECT_EQ(t.log.events[2].kind, Kind::host_ioctl);

    // Room for less than a word, or none: still sent, nothing written.
    unsigned char small[3] = {0xAA, 0xAA, 0xAA};
    out_len = 0;
    EXPECT_EQ(t.dev->DeviceIoControl(300, when, 7, small, 3, out_len), kHostResult);
    EXPECT_EQ(t.dev->DeviceIoControl(300, when, 7, nullptr, 4, out_len), kHostResult);
    EXPECT_EQ(small[0] | small[1] << 8 | small[2] << 16, 0xAAAAAA);
    EXPECT_EQ(out_len, 0);
    EXPECT_EQ(t.count(Kind::send), 3u);
}

TEST(ControlSetClock, WrongLengthOrNoInputIsRefusedAfterOpeningThePort) {
    const unsigned char when[8] = {0x07, 0xEA, 0x01, 0x01, 0x0C, 0x00, 0x00, 0x00};
    for (int len : {6, 8, 0, -7}) {
        Ctl t(nullptr);
        t.dev->control_ack = 1;
        int out = 5;
        int out_len = 0;
        EXPECT_EQ(t.dev->DeviceIoControl(300, when, len, &out, 4, out_len), -1) << len;
        EXPECT_EQ(out, 5);
        EXPECT_EQ(t.dev->control_ack, -1);
        EXPECT_EQ(t.dev->cmd_state, 300);
        EXPECT_EQ(t.count(Kind::open_port), 1u);
        EXPECT_EQ(t.count(Kind::send) + t.count(Kind::host_ioctl), 0u);
    }
    Ctl t(nullptr);
    int out_len = 0;
    EXPECT_EQ(t.dev->DeviceIoControl(300, nullptr, 7, nullptr, 0, out_len), -1);
    EXPECT_EQ(t.count(Kind::send), 0u);
}

TEST(ControlQuery, ReportsControlAckOnlyWhereAWordFits) {
    Ctl t(nullptr);
    unsigned char buf[8];
    std::memset(buf, 0xAA, sizeof buf);
    int out_len = -9;
    EXPECT_EQ(t.dev->DeviceIoControl(1, nullptr, 0, buf + 1, 4, out_len), kHostResult);
    int word = 0;
    std::memcpy(&word, buf + 1, 4);  // written at an odd address
    EXPECT_EQ(word, -1);
    EXPECT_EQ(out_len, 4);
    EXPECT_EQ(buf[0], 0xAA);
    EXPECT_EQ(buf[5], 0xAA);

    t.dev->control_ack = 1;
    EXPECT_EQ(t.dev->DeviceIoControl(0, nullptr, 0, buf, 8, out_len), kHostResult);
    std::memcpy(&word, buf, 4);
    EXPECT_EQ(word, 1);

    std::memset(buf, 0xAA, sizeof buf);
    EXPECT_EQ(t.dev->DeviceIoControl(301, nullptr, 0, buf, 3, out_len), kHostResult);
    EXPECT_EQ(out_len, 0);
    out_len = 4;
    EXPECT_EQ(t.dev->DeviceIoControl(301, nullptr, 0, nullptr, 4, out_len), kHostResult);
    EXPECT_EQ(out_len, 0);
    EXPECT_EQ(buf[0] & buf[1] & buf[2], 0xAA);
    EXPECT_EQ(t.dev->control_ack, 1);  // a query changes nothing
    EXPECT_EQ(t.count(Kind::open_port) + t.count(Kind::send), 0u);
    EXPECT_EQ(t.count(Kind::host_ioctl), 4u);
}

}  // namespace
