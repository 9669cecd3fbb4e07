#include "tools/pwrsim/options.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pwrsim {

namespace {

std::string quoted(const std::string& option, const std::string& value) {
    return "--" + option + ": '" + value + "'";
}

}  // namespace

Options::Options(const std::vector<OptionSpec>& specs, int argc, char** argv, int first) {
    for (int k = first; k < argc; ++k) {
        std::string word = argv[k];
        if (word.size() < 3 || word.compare(0, 2, "--") != 0)
            throw UsageError("unexpected argument '" + word + "'");
        std::string name = word.substr(2);
        std::string value;
        bool inline_value = false;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            inline_value = true;
        }
        const OptionSpec* opt = nullptr;
        for (const auto& s : specs)
            if (name == s.name) opt = &s;
        if (opt == nullptr) throw UsageError("unknown option --" + name);
        if (opt->value == nullptr) {
            if (inline_value) throw UsageError("--" + name + " takes no value (got '" + value + "')");
        } else if (!inline_value) {
            if (k + 1 >= argc) throw UsageError("--" + name + " needs a value (" + opt->value + ")");
            value = argv[++k];
        }
        auto& slot = values_[name];
        if (!slot.empty() && !opt->repeatable) throw UsageError("--" + name + " given more than once");
        slot.push_back(value);
    }
}

std::string Options::text(const std::string& name, const std::string& fallback) const {
    const auto it = values_.find(name);
    return it == values_.end() ? fallback : it->second.back();
}

std::vector<std::string> Options::all(const std::string& name) const {
    const auto it = values_.find(name);
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

long long Options::integer(const std::string& name, long long fallback, long long lo, long long hi) const {
    if (!has(name)) return fallback;
    const std::string v = text(name);
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || errno == ERANGE)
        throw UsageError(quoted(name, v) + " is not a whole number");
    if (n < lo || n > hi)
        throw UsageError(quoted(name, v) + " is out of range (" + std::to_string(lo) + ".." + std::to_string(hi) + ")");
    return n;
}

double Options::number(const std::string& name, double fallback, double lo, double hi) const {
    if (!has(name)) return fallback;
    const std::string v = text(name);
    char* end = nullptr;
    const double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(d)) throw UsageError(quoted(name, v) + " is not a number");
    if (d < lo || d > hi) {
        char range[64];
        std::snprintf(range, sizeof range, " is out of range (%g..%g)", lo, hi);
        throw UsageError(quoted(name, v) + range);
    }
    return d;
}

std::uint64_t Options::seed(const std::string& name, std::uint64_t fallback) const {
    if (!has(name)) return fallback;
    const std::string v = text(name);
    errno = 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(v.c_str(), &end, 0);
    if (v.empty() || v[0] == '-' || *end != '\0' || errno == ERANGE)
        throw UsageError(quoted(name, v) + " is not an unsigned 64-bit number");
    return n;
}

double Options::share(const std::string& name, double fallback) const {
    if (!has(name)) return fallback;
    const std::string v = text(name);
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    const bool percent = end != v.c_str() && *end == '%' && end[1] == '\0';
    if (v.empty() || (*end != '\0' && !percent) || !std::isfinite(d))
        throw UsageError(quoted(name, v) + " is not a share (0..1, or a percentage like 10%)");
    if (percent) d /= 100.0;
    if (d < 0.0 || d > 1.0) throw UsageError(quoted(name, v) + " is out of range (0..1, or 0%..100%)");
    return d;
}

std::string describe(const std::vector<OptionSpec>& specs) {
    constexpr std::size_t kIndent = 28;
    constexpr std::size_t kWidth = 96;
    std::string out;
    for (const auto& s : specs) {
        std::string line = std::string("  --") + s.name;
        if (s.value != nullptr) line += std::string(" ") + s.value;
        if (line.size() + 1 > kIndent) {
            out += line + "\n";
            line.clear();
        }
        line.resize(kIndent, ' ');
        // The help text, wrapped at word boundaries.
        std::string word;
        const std::string help = std::string(s.help) + " ";
        for (char c : help) {
            if (c != ' ') {
                word += c;
                continue;
            }
            if (word.empty()) continue;
            if (line.size() > kIndent && line.size() + 1 + word.size() > kWidth) {
                out += line + "\n";
                line.assign(kIndent, ' ');
            }
            if (line.size() > kIndent) line += ' ';
            line += word;
            word.clear();
        }
        out += line + "\n";
    }
    return out;
}

bool supported_baud(long long baud) {
    switch (baud) {
    case 1200: case 2400: case 4800: case 9600: case 19200: case 38400: case 57600: case 115200:
        return true;
    default:
        return false;
    }
}

}  // namespace pwrsim
