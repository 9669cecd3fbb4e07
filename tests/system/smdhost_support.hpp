// Test support for running the built smdhost (and pwrsim) as a user does:
// a child process with its standard output and error captured, scratch
// folders, scenario files, JSON event lines.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <json/json.h>

#include "host/frame_codec.hpp"

namespace smdtest {

inline std::string bin(const std::string& name) { return std::string(SMD_BIN_DIR) + "/" + name; }
inline std::string smdhost_path() { return bin("smdhost"); }
inline bool executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// A scratch folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/smdhost-test-XXXXXX";
        const char* p = mkdtemp(tmpl);
        path_ = p != nullptr ? p : "/tmp";
    }
    ~TempDir() {
        if (path_ != "/tmp") {
            const std::string cmd = "rm -rf '" + path_ + "'";
            if (std::system(cmd.c_str()) != 0) {
            }
        }
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// How a child runs beyond its arguments and folder.
struct Setup {
    std::string tz = "UTC";
    // Address space in bytes (0: no limit). A program that reads an endless
    // input whole fails fast under it instead of taking the machine's memory.
    // Sanitizer builds reserve terabytes of address space for their shadow
    // memory, so there the limit is left off.
    std::size_t memory_limit = 0;
};

// Whether this build runs under AddressSanitizer (its programs too).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A child process with pipes on its standard output and error.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& cwd = std::string(),
          const Setup& setup = Setup()) {
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            ::close(out[0]);
            ::close(err[0]);
            ::close(out[1]);
            ::close(err[1]);
            const int devnull = open("/dev/null", O_RDONLY);
            if (devnull >= 0) dup2(devnull, 0);
            // Nothing of the test (a pseudo-terminal's master, say) stays
            // open in the child.
            for (int fd = 3; fd < 1024; ++fd) ::close(fd);
            if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
            setenv("TZ", setup.tz.c_str(), 1);
            if (setup.memory_limit != 0 && !kSanitized) {
                const rlimit lim{setup.memory_limit, setup.memory_limit};
                setrlimit(RLIMIT_AS, &lim);
            }
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        fd_[0] = out[0];
        fd_[1] = err[0];
        fcntl(fd_[0], F_SETFL, O_NONBLOCK);
        fcntl(fd_[1], F_SETFL, O_NONBLOCK);
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : fd_)
            if (fd >= 0) ::close(fd);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) {
        if (pid_ > 0) ::kill(pid_, sig);  // never kill(-1): that signals every process
    }

    // Reads what is there, waiting at most `ms` for something.
    void pump(int ms) {
        pollfd p[2] = {{fd_[0], POLLIN, 0}, {fd_[1], POLLIN, 0}};
        if (poll(p, 2, ms) <= 0) return;
        char buf[65536];
        for (int k = 0; k < 2; ++k) {
            if (fd_[k] < 0) continue;
            for (;;) {
                const ssize_t n = ::read(fd_[k], buf, sizeof buf);
                if (n > 0) {
                    (k == 0 ? out_ : err_).append(buf, static_cast<std::size_t>(n));
                    continue;
                }
                if (n == 0) {
                    ::close(fd_[k]);
                    fd_[k] = -1;
                }
                break;
            }
        }
    }

    // Waits until `pred(out, err)` holds; gives up after `seconds` (a guard
    // against hanging, not a measure of speed).
    bool wait_for(const std::function<bool(const std::string&, const std::string&)>& pred,
                  double seconds = 30.0) {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        while (!pred(out_, err_)) {
            if (std::chrono::steady_clock::now() > end) return false;
            if (fd_[0] < 0 && fd_[1] < 0) return pred(out_, err_);
            pump(50);
        }
        return true;
    }

    // Reads to the end and reaps the child; returns its exit status (-1 when
    // it was killed by a signal, -2 when it had to be killed after `seconds`).
    int finish(double seconds = 120.0) {
        const bool closed = wait_for([this](const std::string&, const std::string&) {
            return fd_[0] < 0 && fd_[1] < 0;
        }, seconds);
        if (!closed && pid_ > 0) ::kill(pid_, SIGKILL);
        int raw = 0;
        waitpid(pid_, &raw, 0);
        reaped_ = true;
        if (!closed) return -2;
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }

    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int fd_[2] = {-1, -1};
    std::string out_;
    std::string err_;
};

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

inline Result run(const std::vector<std::string>& argv, const std::string& cwd = std::string(),
                  const Setup& setup = Setup()) {
    Child c(argv, cwd, setup);
    Result r;
    r.status = c.finish();
    r.out = c.out();
    r.err = c.err();
    return r;
}

// smdhost with these arguments.
inline Result smdhost(std::vector<std::string> args, const std::string& cwd = std::string(),
                      const Setup& setup = Setup()) {
    args.insert(args.begin(), smdhost_path());
    return run(args, cwd, setup);
}

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// Every line of `text` parsed as a JSON object; a line that is not one gives
// an object {"ev":"<not json>","line":...} so the test sees it.
inline std::vector<Json::Value> events_of(const std::string& text) {
    std::vector<Json::Value> events;
    Json::CharReaderBuilder b;
    b["strictRoot"] = true;
    std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    for (const auto& line : lines_of(text)) {
        Json::Value v;
        std::string errs;
        if (!reader->parse(line.data(), line.data() + line.size(), &v, &errs) || !v.isObject()) {
            v = Json::Value(Json::objectValue);
            v["ev"] = "<not json>";
            v["line"] = line;
        }
        events.push_back(v);
    }
    return events;
}

// Events named `ev`, in order.
inline std::vector<Json::Value> only(const std::vector<Json::Value>& events, const std::string& ev) {
    std::vector<Json::Value> out;
    for (const auto& e : events)
        if (e["ev"].asString() == ev) out.push_back(e);
    return out;
}

// The eight command/response pairs of one full round, written decoded:
// one AC input 220/221/219 V 50 Hz, phase currents 10/11/12 A; two
// rectifiers at 53.5 V, 10 A and 20 A, the second one faulty; one DC screen
// 53.5 V, 30 A load, one battery group at 5 A.
inline std::string full_round() {
    return "> 40 42 01\n"
           "> 40 00 00 01 01 55F0 5654 558C 1388 00 03E8 044C 04B0\n"
           "> 40 43 01\n"
           "> 40 00 00 01 02 00 01 00\n"
           "> 40 44 01\n"
           "> 40 00 00 01 01 00000000 00 00 000000\n"
           "> 41 42\n"
           "> 41 00 00 14E6 02 03E8 00 07D0 00\n"
           "> 41 43\n"
           "> 41 00 00 02 000000 00 000000 00\n"
           "> 41 44\n"
           "> 41 00 00 02 00 00 01 00\n"
           "> 42 42\n"
           "> 42 00 00 01 14E6 0BB8 01 01F4 00 00\n"
           "> 42 44\n"
           "> 42 00 00 01 00 00 00\n";
}

// The same round as the bytes on the line (CR-terminated frames).
inline std::string full_round_wire(unsigned char adr = 0x01) {
    std::string wire;
    for (const auto& line : lines_of(full_round())) {
        std::vector<unsigned char> bytes;
        std::string hex;
        for (char c : line.substr(2))
            if (c != ' ') hex += c;
        for (std::size_t k = 0; k + 1 < hex.size(); k += 2)
            bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(k, 2), nullptr, 16)));
        wire += smdhost::encode_frame(0x20, adr, bytes[0], bytes[1], bytes.data() + 2,
                                      bytes.size() - 2);
    }
    return wire;
}

// Bytes of a hex string.
inline std::vector<unsigned char> unhex(const std::string& hex) {
    std::vector<unsigned char> out;
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    return out;
}

}  // namespace smdtest
