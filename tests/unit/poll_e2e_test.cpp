// End to end: a polling device is the master of `pwrsim serve` on a
// pseudo-terminal. Its commands go out through the host layer's send events,
// framed by the host's encoder; the simulator's answers come back through
// PMBusProtocol::process, the host's real frame layer. The records of the
// rounds must hold what the plant put on the wire, and control commands must
// reach the plant and be noticed through control_ack.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <utility>

#include "host/frame_codec.hpp"
#include "poll_test_support.hpp"

using namespace poll_test;
using testing_support::SimClock;
using Kind = smdhost::HostEvent::Kind;

namespace {

const std::string kPwrsim = std::string(SMD_BIN_DIR) + "/pwrsim";
// Bound on waiting for the simulator; only a hung exchange ever reaches it.
constexpr auto kPatience = std::chrono::seconds(20);

// `pwrsim serve --pty ARGS...`, started for the test and stopped by its pid.
class Simulator {
public:
    explicit Simulator(const std::vector<std::string>& args) {
        int out[2];
        if (pipe(out) != 0) return;
        std::vector<std::string> all = {kPwrsim, "serve", "--pty", "--event-rate", "0"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        // The first line on its standard output is the terminal's path.
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        char c = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            if (read(out_, &c, 1) != 1 || c == '\n') break;
            path_ += c;
        }
        if (c != '\n') path_.clear();
    }
    ~Simulator() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    const std::string& path() const { return path_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string path_;
};

// The device's side of the line: every command the device sends is framed and
// written to the terminal; every response heard is kept by the command it
// answers (as the decoded frame, for the tests' own reading of the wire).
class Link : public smdhost::HostListener {
public:
    explicit Link(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Link() override {
        if (fd_ >= 0) close(fd_);
    }
    bool open_ok() const { return fd_ >= 0; }

    void on_event(const smdhost::HostEvent& e) override {
        log.on_event(e);
        if (e.kind != Kind::send) return;
        last_command_ = {e.cid1, e.cid2};
        const std::string frame = smdhost::encode_frame(static_cast<unsigned char>(e.code),
                                                        static_cast<unsigned char>(e.level), e.cid1,
                                                        e.cid2, e.bytes.data(), e.bytes.size());
        for (std::size_t done = 0; done < frame.size();) {
            const ssize_t n = write(fd_, frame.data() + done, frame.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
    }

    // Feeds what the line brings to the device until `done` holds; false
    // when the simulator stays silent past the patience bound.
    template <class Dev>
    bool pump(Dev& dev, const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        unsigned char buf[256];
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const ssize_t n = read(fd_, buf, sizeof buf);
            for (ssize_t k = 0; k < n; ++k) {
                if (tap_.push(buf[k]) == smdhost::FrameDecoder::Status::frame)
                    replies[last_command_] = Bytes(tap_.frame(), tap_.frame() + tap_.frame_size());
                dev.process(&buf[k], 1);
            }
        }
        return true;
    }

    // One round: refresh (2 s of simulated time after the last one) and
    // answer until the device publishes.
    template <class Dev>
    bool round(Dev& dev, SimClock& clock) {
        const std::size_t before = log.of(Kind::publish).size();
        clock.advance(5.0);
        if (dev.RefreshStatus() != 1) return false;
        return pump(dev, [&] { return log.of(Kind::publish).size() > before; });
    }

    // Information bytes of the response to CID1/CID2 (empty if none came).
    Bytes info(int cid1, int cid2) const {
        const auto it = replies.find({cid1, cid2});
        return it == replies.end() ? Bytes() : Bytes(it->second.begin() + 6, it->second.end());
    }
    unsigned char rtn(int cid1, int cid2) const { return replies.at({cid1, cid2})[3]; }

    smdhost::CallLog log;
    std::map<std::pair<int, int>, Bytes> replies;

private:
    int fd_ = -1;
    smdhost::FrameDecoder tap_;
    std::pair<int, int> last_command_{0, 0};
};

float fx100(const Bytes& info, std::size_t at) { return pxr52::load_be16(&info.at(at)) / 100.0f; }
Bytes four(const Bytes& info, std::size_t at) { return Bytes(info.begin() + at, info.begin() + at + 4); }

#define REQUIRE_PWRSIM()                                                  \
    if (access(kPwrsim.c_str(), X_OK) != 0) GTEST_SKIP() << kPwrsim << " is not built"

TEST(PollEndToEnd, ModelPollsInFixedPointAndSendsControls) {
    REQUIRE_PWRSIM();
    Simulator sim({"--dc-layout", "1", "--rectifiers", "6", "--seed", "3"});
    ASSERT_FALSE(sim.path().empty());
    Link link(sim.path());
    ASSERT_TRUE(link.open_ok());
    SimClock clock;
    pxr52_419 dev;
    dev.data_id = 7;
    dev.host_listener = &link;

    bool ok = true;
    stdout_of([&] { ok = link.round(dev, clock) && link.round(dev, clock); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(link.log.of(Kind::publish).size(), 2u);
    EXPECT_EQ(dev.cmd_state, 0);
    EXPECT_EQ(dev.no_dc_number, 1);

    // The record of the last round holds what the plant sent.
    const pxr52_419_Data_t& r = dev.data;
    const Bytes ac = link.info(0x40, 0x42);
    ASSERT_GE(ac.size(), 4u);
    EXPECT_EQ(r.channel_count, ac[1]);
    EXPECT_FLOAT_EQ(r.acChannel[0].a.get(), fx100(ac, 2));
    const Bytes rc = link.info(0x41, 0x42);
    ASSERT_GE(rc.size(), 6u);
    EXPECT_FLOAT_EQ(r.rc_v.get(), fx100(rc, 1));
    EXPECT_EQ(r.rc_count, 6);
    EXPECT_FLOAT_EQ(r.rcChannel[0].i.get(), fx100(rc, 4));
    const Bytes dc = link.info(0x42, 0x42);
    ASSERT_GE(dc.size(), 5u);
    EXPECT_FLOAT_EQ(r.dc(0).dc_v.get(), fx100(dc, 1));
    EXPECT_FLOAT_EQ(r.dc(0).dc_i.get(), fx100(dc, 3));
    EXPECT_EQ(r.dc(0).m_count, 2);
    EXPECT_EQ(r.dc(0).n_count, 6);
    EXPECT_EQ(r.airlock_count, 3);
    const Bytes model = link.info(0x80, 0x42);
    ASSERT_GE(model.size(), 7u);
    if (model[1] == 1) {
        EXPECT_FLOAT_EQ(r.p80_42[0].get(), static_cast<float>(pxr52::load_be16(&model[2]) / 10.0));
    }

    // Controls: each command reaches the plant, which accepts it (return
    // code 0), and its response sets control_ack.
    struct Control {
        int code;
        std::string input;
        int cid1, cid2;
    };
    const Control controls[] = {
        {300, std::string("\x07\xEA\x01\x01\x00\x00\x00", 7), 0x41, 0x4E},
        {310, R"({"signal_id":"4196A3101001","SetValue":"53.5"})", 0x42, 0x49},
        {320, "419500201001", 0x41, 0x45},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.code);
        int out = 0, out_len = 0;
        stdout_of([&] {
            dev.DeviceIoControl(c.code, c.input.data(), static_cast<int>(c.input.size()), &out, 4, out_len);
        });
        EXPECT_EQ(dev.control_ack, -1);
        stdout_of([&] { ok = link.pump(dev, [&] { return dev.control_ack == 1; }); });
        ASSERT_TRUE(ok);
        EXPECT_EQ(link.rtn(c.cid1, c.cid2), 0);
        int query = 0;
        dev.DeviceIoControl(1, nullptr, 0, &query, 4, out_len);
        EXPECT_EQ(query, 1);
    }
}

class PollEndToEndPower : public ::testing::TestWithParam<int> {};

TEST_P(PollEndToEndPower, TwoScreensInEitherFormat) {
    REQUIRE_PWRSIM();
    const bool fl = GetParam() == 1;
    Simulator sim({"--dc-layout", "2", "--screens", "2", "--rectifiers", "4", "--seed", "5"});
    ASSERT_FALSE(sim.path().empty());
    Link link(sim.path());
    ASSERT_TRUE(link.open_ok());
    SimClock clock;
    PowerDevice dev;
    dev.data_id = 9;
    dev.has_dc = 1;
    dev.float_mode = fl ? 1 : 0;
    dev.host_listener = &link;

    bool ok = true;
    stdout_of([&] { ok = link.round(dev, clock) && link.round(dev, clock); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(dev.cmd_state, 10);
    EXPECT_EQ(dev.no_dc_number, 2);
    EXPECT_EQ(dev.dc_number, 2);

    const pxr52_419_Data_t& r = dev.data;
    const int analog = fl ? 0x41 : 0x42;
    const Bytes ac = link.info(0x40, analog);
    const Bytes rc = link.info(0x41, analog);
    const Bytes dc = link.info(0x42, analog);
    ASSERT_GE(ac.size(), 6u);
    ASSERT_GE(rc.size(), 10u);
    ASSERT_GE(dc.size(), 6u);
    EXPECT_EQ(r.rc_count, 4);
    if (fl) {
        EXPECT_EQ(bytes_of(r.acChannel[0].a), four(ac, 2));
        EXPECT_EQ(bytes_of(r.rc_v), four(rc, 1));
        EXPECT_EQ(bytes_of(r.rcChannel[0].i), four(rc, 6));
        EXPECT_EQ(bytes_of(r.dc(0).dc_v), four(dc, 2));
    } else {
        EXPECT_FLOAT_EQ(r.acChannel[0].a.get(), fx100(ac, 2));
        EXPECT_FLOAT_EQ(r.rc_v.get(), fx100(rc, 1));
        EXPECT_FLOAT_EQ(r.rcChannel[0].i.get(), fx100(rc, 4));
        EXPECT_FLOAT_EQ(r.dc(0).dc_v.get(), fx100(dc, 2));
    }
    // The second screen is the plant's too: a bus voltage and its branches.
    EXPECT_GT(r.dc(1).dc_v.get(), 40.0f);
    EXPECT_LT(r.dc(1).dc_v.get(), 60.0f);
    EXPECT_EQ(r.dc(1).n_count, 6);
    EXPECT_EQ(r.dc(1).alert_p_count, 5);
}

INSTANTIATE_TEST_SUITE_P(PollFormats, PollEndToEndPower, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param ? "Float" : "Fixed"; });

}  // namespace
