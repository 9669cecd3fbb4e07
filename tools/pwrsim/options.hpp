// Command-line options of one pwrsim sub-command: "--name value",
// "--name=value" or a bare "--flag". Every error names the option and the
// value it got.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace pwrsim {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    const char* name;    // without the leading "--"
    const char* value;   // name of the value in help texts; nullptr for a flag
    const char* help;
    bool repeatable = false;
};

class Options {
public:
    // Throws UsageError for an unknown option, a missing value, a value
    // given to a flag, a repeated option that is not repeatable, or a word
    // that is not an option.
    Options(const std::vector<OptionSpec>& specs, int argc, char** argv, int first);

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    // Last value given (or `fallback`).
    std::string text(const std::string& name, const std::string& fallback = {}) const;
    std::vector<std::string> all(const std::string& name) const;

    // Typed values; each throws UsageError naming the option and the value
    // when it does not parse or lies outside [lo, hi].
    long long integer(const std::string& name, long long fallback, long long lo, long long hi) const;
    double number(const std::string& name, double fallback, double lo, double hi) const;
    std::uint64_t seed(const std::string& name, std::uint64_t fallback) const;
    // A share: "0.1" or "10%"; 0..1.
    double share(const std::string& name, double fallback) const;

private:
    std::map<std::string, std::vector<std::string>> values_;
};

// The option list for a sub-command's --help.
std::string describe(const std::vector<OptionSpec>& specs);

// Line speeds the serial code can set.
bool supported_baud(long long baud);

}  // namespace pwrsim
