// End to end: a polling device is the master of `pwrsim serve` on a
// pseudo-terminal. Its commands go out framed by the host's encoder; the
// answers come back through PMBusProtocol::process, the host's frame layer.
// Published records must hold what the plant put on the wire, and control
// commands must reach the plant and be noticed through control_ack.
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

#include "host/frame_codec.hpp"
#include "poll_test_support.hpp"

using namespace poll_test;
using testing_support::SimClock;
using Kind = smdhost::HostEvent::Kind;

namespace {

const std::string kPwrsim = std::string(SMD_BIN_DIR) + "/pwrsim";
constexpr auto kPatience = std::chrono::seconds(20);  // reached only by a hung exchange

// `pwrsim serve --pty --event-rate 0 ARGS...`, stopped by its pid at the end.
// path() is the terminal it printed, empty when it did not start.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) return;
        args.insert(args.begin(), {kPwrsim, "serve", "--pty", "--event-rate", "0"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        pollfd p{out_, POLLIN, 0};
        for (char c = 0; poll(&p, 1, 20000) > 0 && read(out_, &c, 1) == 1;) {
            if (c == '\n') return;
            path_ += c;
        }
        path_.clear();
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

// The device's end of the line. Sent commands are framed onto the terminal;
// each response heard is kept (decoded) under the command it answers.
class Link : public smdhost::HostListener {
public:
    explicit Link(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Link() override {
        if (fd_ >= 0) close(fd_);
    }
    void on_event(const smdhost::HostEvent& e) override {
        log.on_event(e);
        if (e.kind != Kind::send) return;
        last_ = {e.cid1, e.cid2};
        const std::string f = smdhost::encode_frame(static_cast<unsigned char>(e.code),
                                                    static_cast<unsigned char>(e.level), e.cid1, e.cid2,
                                                    e.bytes.data(), e.bytes.size());
        ASSERT_EQ(write(fd_, f.data(), f.size()), static_cast<ssize_t>(f.size()));
    }
    // Feeds the line to the device until `done`; false after kPatience.
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
                    replies[last_] = Bytes(tap_.frame(), tap_.frame() + tap_.frame_size());
                dev.process(&buf[k], 1);
            }
        }
        return true;
    }
    // One round, 5 s of simulated time after the last: refresh, answer until published.
    template <class Dev>
    bool round(Dev& dev, SimClock& clock) {
        const std::size_t before = log.of(Kind::publish).size();
        clock.advance(5.0);
        return dev.RefreshStatus() == 1 && pump(dev, [&] { return log.of(Kind::publish).size() > before; });
    }
    // Information bytes of the response to CID1/CID2.
    Bytes info(int cid1, int cid2) const {
        const auto it = replies.find({cid1, cid2});
        return it == replies.end() ? Bytes() : Bytes(it->second.begin() + 6, it->second.end());
    }

    int fd_;
    smdhost::CallLog log;
    std::map<std::pair<int, int>, Bytes> replies;

private:
    smdhost::FrameDecoder tap_;
    std::pair<int, int> last_{0, 0};
};

float fx100(const Bytes& info, std::size_t at) { return pxr52::load_be16(&info.at(at)) / 100.0f; }
Bytes four(const Bytes& info, std::size_t at) { return Bytes(&info.at(at), &info.at(at) + 4); }

TEST(PollEndToEnd, ModelPollsInFixedPointAndSendsControls) {
    if (access(kPwrsim.c_str(), X_OK) != 0) GTEST_SKIP() << kPwrsim << " is not built";
    Simulator sim({"--dc-layout", "1", "--rectifiers", "6", "--seed", "3"});
    ASSERT_FALSE(sim.path().empty());
    Link link(sim.path());
    ASSERT_GE(link.fd_, 0);
    SimClock clock;
    pxr52_419 dev;
    dev.data_id = 7;
    dev.host_listener = &link;
    bool ok = false;
    stdout_of([&] { ok = link.round(dev, clock) && link.round(dev, clock); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(link.log.of(Kind::publish).size(), 2u);
    EXPECT_EQ(dev.no_dc_number, 1);

    // The last round's record holds what the plant sent.
    const pxr52_419_Data_t& r = dev.data;
    const Bytes ac = link.info(0x40, 0x42), rc = link.info(0x41, 0x42), dc = link.info(0x42, 0x42);
    const Bytes model = link.info(0x80, 0x42);
    ASSERT_TRUE(ac.size() >= 4 && rc.size() >= 6 && dc.size() >= 5 && model.size() >= 4);
    EXPECT_FLOAT_EQ(r.acChannel[0].a.get(), fx100(ac, 2));
    EXPECT_FLOAT_EQ(r.rc_v.get(), fx100(rc, 1));
    EXPECT_FLOAT_EQ(r.rcChannel[0].i.get(), fx100(rc, 4));
    EXPECT_FLOAT_EQ(r.dc(0).dc_v.get(), fx100(dc, 1));
    EXPECT_FLOAT_EQ(r.dc(0).dc_i.get(), fx100(dc, 3));
    EXPECT_EQ(Bytes({r.channel_count, r.airlock_count, r.rc_count, r.dc(0).m_count, r.dc(0).n_count}),
              Bytes({1, 3, 6, 2, 6}));
    EXPECT_EQ(model[1], 1);
    EXPECT_FLOAT_EQ(r.p80_42[0].get(), static_cast<float>(pxr52::load_be16(&model[2]) / 10.0));

    // Each control reaches the plant, which accepts it (return code 0), and
    // its response sets control_ack, which a query then reports.
    const std::pair<int, std::string> controls[] = {
        {300, std::string("\x07\xEA\x01\x01\x00\x00\x00", 7)},
        {310, R"({"signal_id":"4196A3101001","SetValue":"53.5"})"},
        {320, "419500201001"}};
    const std::pair<int, int> commands[] = {{0x41, 0x4E}, {0x42, 0x49}, {0x41, 0x45}};
    for (int k = 0; k < 3; ++k) {
        int out = 0, out_len = 0;
        const std::string& in = controls[k].second;
        stdout_of([&] { dev.DeviceIoControl(controls[k].first, in.data(), int(in.size()), &out, 4, out_len); });
        EXPECT_EQ(dev.control_ack, -1);
        ASSERT_TRUE(link.pump(dev, [&] { return dev.control_ack == 1; })) << controls[k].first;
        EXPECT_EQ(link.replies[commands[k]].at(3), 0) << controls[k].first;
        dev.DeviceIoControl(1, nullptr, 0, &out, 4, out_len);
        EXPECT_EQ(out, 1);
    }
}

TEST(PollEndToEnd, PowerSystemPollsTwoScreensInFloat) {
    if (access(kPwrsim.c_str(), X_OK) != 0) GTEST_SKIP() << kPwrsim << " is not built";
    Simulator sim({"--dc-layout", "2", "--screens", "2", "--rectifiers", "4", "--seed", "5"});
    ASSERT_FALSE(sim.path().empty());
    Link link(sim.path());
    ASSERT_GE(link.fd_, 0);
    SimClock clock;
    PowerDevice dev;
    dev.has_dc = 1;
    dev.host_listener = &link;
    bool ok = false;
    stdout_of([&] { ok = link.round(dev, clock) && link.round(dev, clock); });
    ASSERT_TRUE(ok);
    EXPECT_EQ(dev.cmd_state, 10);
    EXPECT_EQ(dev.no_dc_number, 2);
    EXPECT_EQ(dev.dc_number, 2);

    const pxr52_419_Data_t& r = dev.data;
    const Bytes ac = link.info(0x40, 0x41), rc = link.info(0x41, 0x41), dc = link.info(0x42, 0x41);
    ASSERT_TRUE(ac.size() >= 6 && rc.size() >= 10 && dc.size() >= 6);
    EXPECT_EQ(bytes_of(r.acChannel[0].a), four(ac, 2));
    EXPECT_EQ(bytes_of(r.rc_v), four(rc, 1));
    EXPECT_EQ(bytes_of(r.rcChannel[0].i), four(rc, 6));
    EXPECT_EQ(bytes_of(r.dc(0).dc_v), four(dc, 2));
    EXPECT_EQ(r.rc_count, 4);
    // The second screen is the plant's too: a bus voltage and six branches.
    EXPECT_GT(r.dc(1).dc_v.get(), 40.0f);
    EXPECT_LT(r.dc(1).dc_v.get(), 60.0f);
    EXPECT_EQ(r.dc(1).n_count, 6);
}

}  // namespace
