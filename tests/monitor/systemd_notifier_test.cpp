// sd_notify messages as systemd receives them: a datagram socket of our own
// stands in for NOTIFY_SOCKET.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>

#include "system/smdhost_support.hpp"
#include "tools/smdhost/outputs/service/systemd_notifier.hpp"

using smdservice::SystemdNotifier;

namespace {

// Every datagram waiting on `fd`, one string each.
std::vector<std::string> received(int fd) {
    std::vector<std::string> out;
    char buf[4096];
    for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;) out.emplace_back(buf, n);
    return out;
}

}  // namespace

TEST(SystemdNotifier, ReadyStatusWatchdogAtHalfTheInterval) {
    smdtest::TempDir dir;
    const std::string path = dir.file("notify");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "2000000", 1);
    setenv("WATCHDOG_PID", std::to_string(getpid()).c_str(), 1);

    SystemdNotifier n;
    EXPECT_TRUE(n.active());
    EXPECT_EQ(n.watchdog_interval(), std::chrono::seconds(2));
    n.ready("listening on /dev/ttyUSB0\nhttp 127.0.0.1:9752");
    const auto t0 = SystemdNotifier::Clock::now();
    EXPECT_FALSE(n.kick(t0 + std::chrono::milliseconds(900)));
    EXPECT_TRUE(n.kick(t0 + std::chrono::milliseconds(1100)));
    EXPECT_FALSE(n.kick(t0 + std::chrono::milliseconds(1500)));
    EXPECT_TRUE(n.kick(t0 + std::chrono::milliseconds(2200)));
    n.status("stopping");
    n.stopping();
    EXPECT_EQ(received(fd), (std::vector<std::string>{"READY=1\nSTATUS=listening on /dev/ttyUSB0 http 127.0.0.1:9752",
                                                      "WATCHDOG=1", "WATCHDOG=1", "STATUS=stopping", "STOPPING=1"}));

    // A watchdog meant for another process (WATCHDOG_PID), and no systemd.
    setenv("WATCHDOG_PID", "1", 1);
    EXPECT_EQ(SystemdNotifier().watchdog_interval().count(), 0);
    unsetenv("NOTIFY_SOCKET");
    SystemdNotifier outside;
    EXPECT_FALSE(outside.active());
    outside.ready("x");
    EXPECT_FALSE(outside.kick(SystemdNotifier::Clock::now() + std::chrono::hours(1)));
    EXPECT_TRUE(received(fd).empty());
    unsetenv("WATCHDOG_USEC");
    unsetenv("WATCHDOG_PID");
    ::close(fd);
}
