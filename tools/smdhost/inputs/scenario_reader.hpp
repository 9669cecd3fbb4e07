// A scenario file read line by line into directives, with flat memory: one
// chunk of the file and one line at a time. Checked here beyond the line
// itself: a UTF-8 byte-order mark at the start is skipped, a line holding a
// NUL byte or more than kMaxScenarioLine characters is malformed, and the
// clock must stay in the calendar the plug-in can use (smdtime).
#pragma once

#include <string>

#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/inputs/scenario.hpp"

namespace smdscenario {

class ScenarioReader {
public:
    enum class Status { directive, end, malformed, read_error };

    // `name` is the file's name in messages, `folder` where its @PATH names
    // are resolved.
    ScenarioReader(smdinput::ChunkSource& source, std::string name, std::string folder);

    // The next directive (blank lines and comments skipped) in `d`. `clock`
    // is the scenario clock before the line; a clock line moves it (with
    // `check_clock` false, a @+ is taken without the calendar check: the
    // clock before it is not known yet). malformed: `error` is
    // "FILE:LINE: message"; read_error: the message names the file.
    Status next(Directive& d, double& clock, bool check_clock, std::string& error);

    int line() const { return lines_.number(); }
    // The file's name in messages.
    const std::string& name() const { return name_; }
    // "FILE:LINE: " of the line just read.
    std::string where() const;

private:
    smdinput::LineReader lines_;
    std::string name_;
    std::string folder_;
    std::string text_;
};

}  // namespace smdscenario
