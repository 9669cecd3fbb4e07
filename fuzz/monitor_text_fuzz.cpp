// What a monitor output makes of arbitrary text: a label value or help
// text from the line, an event, a request path under the static files, a
// --mqtt or --http argument. The whole input is each of them in turn.
//
// Properties: the UTF-8 clean-up gives valid UTF-8 and leaves valid text
// alone; an exposition with the text as help and label value is exactly
// three lines; an event frame is "event:"/"data:" lines without a CR,
// ended by a blank line; a path resolves inside the served folder or not
// at all; the address parsers either refuse with std::invalid_argument or
// give a port in 1-65535 and a root that is a valid topic.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/smdhost/outputs/encoding/utf8.hpp"
#include "tools/smdhost/outputs/http/listen_address.hpp"
#include "tools/smdhost/outputs/http/sse_hub.hpp"
#include "tools/smdhost/outputs/http/static_files.hpp"
#include "tools/smdhost/outputs/mqtt/mqtt_url.hpp"
#include "tools/smdhost/outputs/prometheus/exposition.hpp"

namespace {

[[noreturn]] void violated(const char* what) {
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

// A served folder with a file, a folder and links inside and outside it,
// in a scratch folder (/dev/shm when there is one), made once and removed
// at exit.
struct Tree {
    std::string root;
    std::unique_ptr<smdhttp::StaticFiles> files;

    Tree() {
        for (const char* base : {"/dev/shm", "/tmp"}) {
            std::string tmpl = std::string(base) + "/monitor-text-fuzz-XXXXXX";
            if (::mkdtemp(&tmpl[0]) != nullptr) {
                root = tmpl;
                break;
            }
        }
        const std::string site = root + "/site";
        const std::string cmd = "mkdir -p '" + site + "/js' '" + root + "/outside' && echo x > '" + site +
                                "/index.html' && echo y > '" + site + "/js/app.js' && echo z > '" + root +
                                "/outside/secret' && ln -s ../outside/secret '" + site + "/leak' && ln -s app.js '" +
                                site + "/js/alias.js' && ln -s '" + root + "' '" + site + "/up'";
        if (root.empty() || std::system(cmd.c_str()) != 0) violated("scratch folder");
        files = std::make_unique<smdhttp::StaticFiles>(site);
    }
    ~Tree() {
        const std::string cmd = "rm -rf '" + root + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root.c_str());
    }
};

void check_escapes(const std::string& text) {
    const std::string label = smdmetrics::escape_label_value(text);
    for (std::size_t k = 0; k < label.size(); ++k) {
        if (label[k] == '\n') violated("raw line break in a label value");
        if (label[k] == '"') violated("bare quote in a label value");
        if (label[k] == '\\') {
            if (k + 1 >= label.size() || (label[k + 1] != '\\' && label[k + 1] != '"' && label[k + 1] != 'n'))
                violated("unknown escape in a label value");
            ++k;
        }
    }
    const std::string out = smdmetrics::render_exposition(
        {{"pxr52_fuzz", text, smdmetrics::MetricType::gauge, {{{{"id", text}}, 1.0}}}});
    std::size_t lines = 0;
    for (char c : out) lines += c == '\n';
    if (lines != 3 || out.back() != '\n') violated("an exposition of one sample is not three lines");
    if (!smdtext::is_valid_utf8(out)) violated("exposition is not UTF-8");
}

void check_event(const std::string& text) {
    const std::string frame = smdhttp::sse_frame(text, text);
    if (frame.find('\r') != std::string::npos) violated("CR in an event frame");
    if (frame.size() < 2 || frame.compare(frame.size() - 2, 2, "\n\n") != 0) violated("event frame not ended");
    std::size_t start = 0;
    const std::size_t body = frame.size() - 1;  // the final blank line
    while (start < body) {
        const std::size_t end = frame.find('\n', start);
        const std::string line = frame.substr(start, end - start);
        if (line.compare(0, 6, "data: ") != 0 && !(start == 0 && line.compare(0, 7, "event: ") == 0))
            violated("event frame line is neither event: nor data:");
        start = end + 1;
    }
}

void check_addresses(const std::string& text) {
    try {
        const smdmqtt::MqttUrl u = smdmqtt::parse_mqtt_url(text);
        if (u.host.empty() || u.port < 1 || u.port > 65535) violated("MQTT URL without host or port");
        if (!u.root.empty() && !smdmqtt::is_valid_topic(u.root)) violated("MQTT root is not a valid topic");
    } catch (const std::invalid_argument&) {
    }
    try {
        const smdhttp::ListenAddress a = smdhttp::parse_listen_address(text);
        if (a.host.empty() || a.port < 1 || a.port > 65535) violated("listen address without host or port");
    } catch (const std::invalid_argument&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Tree tree;
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string clean = smdtext::sanitize_utf8(text);
    if (!smdtext::is_valid_utf8(clean)) violated("sanitized text is not UTF-8");
    if (smdtext::is_valid_utf8(text) && clean != text) violated("valid UTF-8 changed");

    check_escapes(text);
    check_event(text);
    check_addresses(text);

    const auto path = tree.files->resolve(text);
    if (path && path->compare(0, tree.files->folder().size() + 1, tree.files->folder() + "/") != 0)
        violated("a path resolved outside the served folder");
    return 0;
}
