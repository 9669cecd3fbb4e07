// Look-ups, cache loading and control requests through the bench host: the
// sample scenario under samples/access/ replayed by smdhost, its JSON events
// read back and compared in order.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

namespace {

const std::string kSmdhost = std::string(SMD_BIN_DIR) + "/smdhost";
const std::string kSamples = std::string(SMD_SOURCE_DIR) + "/samples/access/";

// The standard output of `command`, one string per line; `status` gets the
// exit status (-1 when it did not exit normally).
std::vector<std::string> run_lines(const std::string& command, int& status) {
    std::vector<std::string> lines;
    status = -1;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return lines;
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    const int raw = pclose(p);
    if (raw != -1 && WIFEXITED(raw)) status = WEXITSTATUS(raw);
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// One event as a short line; empty for the kinds this test does not follow
// (logs and the evaluation that every publication runs).
std::string brief(const Json::Value& e) {
    const std::string ev = e["ev"].asString();
    if (ev == "value")
        return "value " + e["name"].asString() + " " +
               (e.isMember("error") ? e["error"].asString() : e["value"].asString());
    if (ev == "call" && e["op"].asString() == "load") return "load " + e["result"].asString();
    if (ev == "publish") return "publish " + e["type"].asString() + " " + e["len"].asString();
    if (ev == "send")
        return "send " + e["cid1"].asString() + "/" + e["cid2"].asString() + " " +
               e["info"].asString();
    if (ev == "open_port") return "open_port";
    if (ev == "host_ioctl") return "host_ioctl " + e["code"].asString();
    if (ev == "ioctl")
        return "ioctl " + e["code"].asString() + " -> " + e["result"].asString() + " out=" +
               (e["out"].isNull() ? std::string("null") : e["out"].asString()) + "/" +
               e["out_len"].asString();
    return std::string();
}

TEST(AccessReplay, LookupsCacheAndControlsShowAsEvents) {
    if (access(kSmdhost.c_str(), X_OK) != 0) GTEST_SKIP() << "no smdhost at " << kSmdhost;
    int status = 0;
    const auto lines = run_lines("TZ=UTC '" + kSmdhost + "' replay --format json '" + kSamples +
                                     "lookup_and_control.scenario' 2>/dev/null",
                                 status);
    ASSERT_EQ(status, 0);

    std::vector<std::string> seen;
    std::string published_hex;
    Json::CharReaderBuilder builder;
    for (const std::string& line : lines) {
        Json::Value e;
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        ASSERT_TRUE(reader->parse(line.data(), line.data() + line.size(), &e, &errors)) << line;
        if (e["ev"].asString() == "publish") published_hex = e["record"].asString();
        const std::string b = brief(e);
        if (!b.empty()) seen.push_back(b);
    }

    const std::vector<std::string> expected = {
        "value out_v 数据未就绪",
        "load 0",
        "value out_v 数据未就绪",
        "publish 5535 1257",
        "load 1",
        "value out_v 53.5",
        "value ac 0",
        "value ac1 0",
        "value ac2 1",
        "value dc 不支持变量",
        "value out_v 53.5",  // 60 s after the load
        "value out_v 数据已超时",
        "value dc 数据已超时",
        // 310: sent, not applicable, not JSON, value beyond single precision
        "open_port", "send 42/48 DC00005642", "ioctl 310 -> 0 out=null/0",
        "open_port", "host_ioctl 310", "ioctl 310 -> 0 out=null/0",
        "open_port", "ioctl 310 -> -1 out=null/0",
        "open_port", "ioctl 310 -> -1 out=null/0",
        // 320
        "open_port", "send 41/45 E503", "host_ioctl 320", "ioctl 320 -> 0 out=null/0",
        "open_port", "send 41/45 1F02", "host_ioctl 320", "ioctl 320 -> 0 out=null/0",
        // 300: 7 bytes, then 6
        "open_port", "send 41/4E 07EA01010C0000", "host_ioctl 300", "ioctl 300 -> 0 out=1/4",
        "open_port", "ioctl 300 -> -1 out=null/0",
        // query
        "host_ioctl 0", "ioctl 0 -> 0 out=-1/4",
        "host_ioctl 0", "ioctl 0 -> 0 out=null/0",
    };
    EXPECT_EQ(seen, expected);

    // The loaded record is published as it was given, time stamp aside.
    std::ifstream in(kSamples + "record.bin", std::ios::binary);
    const std::vector<unsigned char> record((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
    ASSERT_EQ(record.size(), 1257u);
    ASSERT_EQ(published_hex.size(), 2u * 1257u);
    static const char kHex[] = "0123456789ABCDEF";
    for (size_t k = 0; k < record.size(); ++k) {
        if (k >= 1046 && k < 1053) continue;
        const std::string want = {kHex[record[k] >> 4], kHex[record[k] & 0xF]};
        ASSERT_EQ(published_hex.substr(2 * k, 2), want) << "record byte " << k;
    }
}

}  // namespace
