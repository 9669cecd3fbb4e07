// Command-line conventions that smdhost and pwrsim share, on CLI11.
//
// Numbers: a whole number is decimal digits, with a leading '-' where the
// range allows one, or "0x" and hex digits; a decimal number is digits with
// an optional fraction ("2", "2.5", ".5"), with a leading '-' where the range
// allows one. No blanks, no '+', no exponent, no octal. A baud rate is a
// whole number from the serial line's one table. A bad value is reported as
// "--name: 'VALUE' is ..." and nothing else is guessed. An option given
// twice counts with its last value (repeatable ones collect every value).
//
// Help: the command's own text (usage line and description, at most 80
// columns), then every option with its value name, descriptions wrapped at
// 80 columns from column 23, then the footer. --help prints it on standard
// output with status 0, --version the version line; a usage error is one
// line "PROGRAM [COMMAND]: message (try 'PROGRAM [COMMAND] --help')" on
// standard error with status 2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <CLI/App.hpp>
#include <CLI/Formatter.hpp>

namespace toolcli {

constexpr int kExitUsage = 2;
constexpr std::size_t kHelpWidth = 80;   // columns of every help line
constexpr std::size_t kHelpColumn = 23;  // where option descriptions start

// The help layout described above; give it to the top-level App before its
// sub-commands are added (they inherit it).
std::shared_ptr<CLI::FormatterBase> help_formatter();

// A new top-level App with the shared layout, -h/--help ("this text") and
// --version printing `version_line`.
std::unique_ptr<CLI::App> make_app(const std::string& name, const std::string& description,
                                   const std::string& version_line);

// Value checks; each returns "" when `text` is good (and sets `out`), else
// the message without the option's name ("'x' is not a whole number").
std::string read_whole(const std::string& text, long long lo, unsigned long long hi,
                       bool& negative, unsigned long long& magnitude);
std::string read_decimal(const std::string& text, double lo, double hi, bool lo_open,
                         double& out);

// Options whose value is checked by the rules above, stored in `out` when
// given. `value` names the value in the help.
CLI::Option* add_whole(CLI::App& app, const std::string& name, long long& out, long long lo,
                       long long hi, const std::string& help, const std::string& value = "N");
CLI::Option* add_whole(CLI::App& app, const std::string& name, int& out, int lo, int hi,
                       const std::string& help, const std::string& value = "N");
CLI::Option* add_whole(CLI::App& app, const std::string& name, unsigned& out, unsigned lo,
                       unsigned hi, const std::string& help, const std::string& value = "N");
CLI::Option* add_whole(CLI::App& app, const std::string& name, std::uint64_t& out,
                       std::uint64_t lo, std::uint64_t hi, const std::string& help,
                       const std::string& value = "N");
// `lo_open`: the value must be above `lo`, not equal to it.
CLI::Option* add_decimal(CLI::App& app, const std::string& name, double& out, double lo,
                         double hi, bool lo_open, const std::string& help,
                         const std::string& value = "S");
// A device address on the line: 0..255.
CLI::Option* add_address(CLI::App& app, const std::string& name, int& out,
                         const std::string& help);
// A baud rate of the serial line's table.
CLI::Option* add_baud(CLI::App& app, const std::string& name, unsigned& out,
                      const std::string& help);
// One word of `choices`; the help shows them as "a|b|c" unless `value` is set.
CLI::Option* add_choice(CLI::App& app, const std::string& name, std::string& out,
                        const std::vector<std::string>& choices, const std::string& help,
                        const std::string& value = std::string());
// Any text but the empty one (a file name, a device): "'' is not a NAME".
CLI::Option* add_text(CLI::App& app, const std::string& name, std::string& out,
                      const std::string& help, const std::string& value);

// "smdhost replay" for the replay sub-command of smdhost.
std::string command_path(const CLI::App& app);

// Parses argv. Returns -1 when the program goes on, else the exit status
// after printing what was asked (help, version: 0) or the usage error (2).
int parse(CLI::App& app, int argc, const char* const* argv);

// Prints a usage error found after parsing, for the (sub-)command `where`;
// returns kExitUsage.
int usage_error(const CLI::App& where, const std::string& message);

}  // namespace toolcli
