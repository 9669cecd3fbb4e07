#include "tools/common/cli_options.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <sstream>

#include <CLI/CLI.hpp>

#include "tools/common/hex_codec.hpp"
#include "tools/common/serial_line.hpp"

namespace toolcli {

namespace {

std::string quoted(const std::string& text) { return "'" + text + "'"; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string range_text(long long lo, unsigned long long hi) {
    return " is out of range (" + std::to_string(lo) + ".." + std::to_string(hi) + ")";
}

// Words of `text` laid out from column `column` to kHelpWidth; the first
// line continues `line`. An explicit '\n' starts a new line.
std::string wrap(std::string line, const std::string& text, std::size_t column) {
    std::string out;
    std::istringstream paragraphs(text);
    std::string paragraph;
    bool first_paragraph = true;
    while (std::getline(paragraphs, paragraph)) {
        if (!first_paragraph) {
            out += line + "\n";
            line.assign(column, ' ');
        }
        first_paragraph = false;
        std::istringstream words(paragraph);
        std::string word;
        while (words >> word) {
            if (line.size() > column && line.size() + 1 + word.size() > kHelpWidth) {
                out += line + "\n";
                line.assign(column, ' ');
            }
            if (line.size() > column) line += ' ';
            line += word;
        }
    }
    return out + line + "\n";
}

std::string option_names(const CLI::Option& o) {
    std::string names;
    for (const auto& s : o.get_snames()) names += (names.empty() ? "-" : ", -") + s;
    for (const auto& l : o.get_lnames()) names += (names.empty() ? "--" : ", --") + l;
    if (o.get_type_size() != 0 && !o.get_type_name().empty()) names += " " + o.get_type_name();
    return names;
}

class HelpFormatter : public CLI::Formatter {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        std::string out = app->get_description();
        if (!out.empty() && out.back() != '\n') out += '\n';
        const auto options = app->get_options([](const CLI::Option* o) {
            return o->nonpositional() && !o->get_group().empty();
        });
        if (!options.empty()) {
            out += "\noptions:\n";
            for (const CLI::Option* o : options) {
                std::string line = "  " + option_names(*o);
                if (line.size() + 1 > kHelpColumn) {
                    out += line + "\n";
                    line.clear();
                }
                line.resize(kHelpColumn, ' ');
                out += wrap(line, o->get_description(), kHelpColumn);
            }
        }
        const std::string footer = app->get_footer();
        if (!footer.empty()) out += "\n" + footer + (footer.back() == '\n' ? "" : "\n");
        return out;
    }
};

template <class T>
CLI::Option* add_checked_whole(CLI::App& app, const std::string& name, T& out, long long lo,
                               unsigned long long hi, const std::string& help,
                               const std::string& value) {
    CLI::Option* o = app.add_option_function<std::string>(
        name,
        [&out, name, lo, hi](const std::string& text) {
            bool negative = false;
            unsigned long long magnitude = 0;
            const std::string why = read_whole(text, lo, hi, negative, magnitude);
            if (!why.empty()) throw CLI::ValidationError(name, why);
            out = negative ? static_cast<T>(-static_cast<long long>(magnitude))
                           : static_cast<T>(magnitude);
        },
        help);
    o->type_name(value);
    return o;
}

}  // namespace

std::shared_ptr<CLI::FormatterBase> help_formatter() { return std::make_shared<HelpFormatter>(); }

std::unique_ptr<CLI::App> make_app(const std::string& name, const std::string& description,
                                   const std::string& version_line) {
    auto app = std::make_unique<CLI::App>(description, name);
    app->formatter(help_formatter());
    app->option_defaults()->group("options");
    // An option given twice: the last one counts, as people expect when
    // they add to a command line that has it already.
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->set_help_flag("-h,--help", "this text");
    app->set_version_flag("--version", version_line, "print the version");
    return app;
}

std::string read_whole(const std::string& text, long long lo, unsigned long long hi,
                       bool& negative, unsigned long long& magnitude) {
    negative = false;
    magnitude = 0;
    std::size_t k = 0;
    bool any = false;
    bool overflow = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        for (k = 2; k < text.size(); ++k) {
            const int v = hexcodec::digit_value(text[k]);
            if (v < 0) return quoted(text) + " is not a whole number";
            if (magnitude > (std::numeric_limits<unsigned long long>::max() >> 4)) overflow = true;
            magnitude = magnitude << 4 | static_cast<unsigned>(v);
        }
        any = true;
    } else {
        if (!text.empty() && text[0] == '-') {
            negative = true;
            k = 1;
        }
        for (; k < text.size(); ++k) {
            if (!is_digit(text[k])) return quoted(text) + " is not a whole number";
            const unsigned d = static_cast<unsigned>(text[k] - '0');
            if (magnitude > (std::numeric_limits<unsigned long long>::max() - d) / 10)
                overflow = true;
            magnitude = magnitude * 10 + d;
            any = true;
        }
    }
    if (!any) return quoted(text) + " is not a whole number";
    if (negative && magnitude == 0) negative = false;
    const bool below = negative ? (lo >= 0 || overflow ||
                                   magnitude > static_cast<unsigned long long>(-(lo + 1)) + 1)
                                : (lo > 0 && magnitude < static_cast<unsigned long long>(lo));
    const bool above = !negative && (overflow || magnitude > hi);
    if (below || above) return quoted(text) + range_text(lo, hi);
    return std::string();
}

std::string read_decimal(const std::string& text, double lo, double hi, bool lo_open,
                         double& out) {
    std::size_t k = text.size() > 0 && text[0] == '-' ? 1 : 0;
    std::size_t digits = 0;
    while (k < text.size() && is_digit(text[k])) ++k, ++digits;
    if (k < text.size() && text[k] == '.') {
        ++k;
        while (k < text.size() && is_digit(text[k])) ++k, ++digits;
    }
    if (digits == 0 || k != text.size()) return quoted(text) + " is not a number";
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v) || v < lo || v > hi || (lo_open && v <= lo)) {
        char range[96];
        if (lo_open)
            std::snprintf(range, sizeof range, " is out of range (more than %g, at most %g)", lo, hi);
        else
            std::snprintf(range, sizeof range, " is out of range (%g..%g)", lo, hi);
        return quoted(text) + range;
    }
    out = v;
    return std::string();
}

CLI::Option* add_whole(CLI::App& app, const std::string& name, long long& out, long long lo,
                       long long hi, const std::string& help, const std::string& value) {
    return add_checked_whole(app, name, out, lo, static_cast<unsigned long long>(hi), help, value);
}

CLI::Option* add_whole(CLI::App& app, const std::string& name, int& out, int lo, int hi,
                       const std::string& help, const std::string& value) {
    return add_checked_whole(app, name, out, lo, static_cast<unsigned long long>(hi), help, value);
}

CLI::Option* add_whole(CLI::App& app, const std::string& name, unsigned& out, unsigned lo,
                       unsigned hi, const std::string& help, const std::string& value) {
    return add_checked_whole(app, name, out, lo, hi, help, value);
}

CLI::Option* add_whole(CLI::App& app, const std::string& name, std::uint64_t& out,
                       std::uint64_t lo, std::uint64_t hi, const std::string& help,
                       const std::string& value) {
    return add_checked_whole(app, name, out, static_cast<long long>(lo), hi, help, value);
}

CLI::Option* add_decimal(CLI::App& app, const std::string& name, double& out, double lo,
                         double hi, bool lo_open, const std::string& help,
                         const std::string& value) {
    CLI::Option* o = app.add_option_function<std::string>(
        name,
        [&out, name, lo, hi, lo_open](const std::string& text) {
            const std::string why = read_decimal(text, lo, hi, lo_open, out);
            if (!why.empty()) throw CLI::ValidationError(name, why);
        },
        help);
    o->type_name(value);
    return o;
}

CLI::Option* add_address(CLI::App& app, const std::string& name, int& out,
                         const std::string& help) {
    return add_whole(app, name, out, 0, 255, help, "N");
}

CLI::Option* add_baud(CLI::App& app, const std::string& name, unsigned& out,
                      const std::string& help) {
    CLI::Option* o = app.add_option_function<std::string>(
        name,
        [&out, name](const std::string& text) {
            bool negative = false;
            unsigned long long v = 0;
            if (!read_whole(text, 0, 4294967295ULL, negative, v).empty() ||
                !serial::baud_supported(static_cast<unsigned>(v)))
                throw CLI::ValidationError(name, quoted(text) + " is not one of " +
                                                            serial::baud_list());
            out = static_cast<unsigned>(v);
        },
        help);
    o->type_name("B");
    return o;
}

CLI::Option* add_choice(CLI::App& app, const std::string& name, std::string& out,
                        const std::vector<std::string>& choices, const std::string& help,
                        const std::string& value) {
    std::string shown;
    std::string listed;
    for (const auto& c : choices) {
        shown += (shown.empty() ? "" : "|") + c;
        listed += (listed.empty() ? "" : ", ") + c;
    }
    CLI::Option* o = app.add_option_function<std::string>(
        name,
        [&out, name, choices, listed](const std::string& text) {
            for (const auto& c : choices) {
                if (c == text) {
                    out = text;
                    return;
                }
            }
            throw CLI::ValidationError(name, quoted(text) + " is not one of " + listed);
        },
        help);
    o->type_name(value.empty() ? shown : value);
    return o;
}

CLI::Option* add_text(CLI::App& app, const std::string& name, std::string& out,
                      const std::string& help, const std::string& value) {
    std::string noun = value;
    for (auto& c : noun) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    CLI::Option* o = app.add_option_function<std::string>(
        name,
        [&out, name, noun](const std::string& text) {
            if (text.empty()) throw CLI::ValidationError(name, "'' is not a " + noun);
            out = text;
        },
        help);
    o->type_name(value);
    return o;
}

std::string command_path(const CLI::App& app) {
    std::string path = app.get_name();
    for (const CLI::App* p = app.get_parent(); p != nullptr; p = p->get_parent())
        path = p->get_name() + " " + path;
    return path;
}

int usage_error(const CLI::App& where, const std::string& message) {
    const std::string path = command_path(where);
    std::cerr << path << ": " << message << " (try '" << path << " --help')" << std::endl;
    return kExitUsage;
}

int parse(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
        return -1;
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help() << std::flush;
        return std::cout ? 0 : 1;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << std::endl;
        return std::cout ? 0 : 1;
    } catch (const CLI::ParseError& e) {
        // The innermost command that was reached names the help to read.
        const CLI::App* where = &app;
        for (auto subs = where->get_subcommands(); !subs.empty(); subs = where->get_subcommands())
            where = subs.front();
        std::string message = e.what();
        for (auto& c : message)
            if (c == '\n') c = ' ';
        return usage_error(*where, message);
    }
}

}  // namespace toolcli
