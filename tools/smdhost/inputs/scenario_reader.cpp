#include "tools/smdhost/inputs/scenario_reader.hpp"

#include <cmath>

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/session/local_time.hpp"

namespace smdscenario {

ScenarioReader::ScenarioReader(smdinput::ChunkSource& source, std::string name,
                               std::string folder)
    : lines_(source, smdcli::kMaxScenarioLine), name_(std::move(name)), folder_(std::move(folder)) {}

std::string ScenarioReader::where() const { return name_ + ":" + std::to_string(line()) + ": "; }

ScenarioReader::Status ScenarioReader::next(Directive& d, double& clock, bool check_clock,
                                            std::string& error) {
    for (;;) {
        switch (lines_.next(text_, error)) {
            case smdinput::LineReader::Status::end:
                return Status::end;
            case smdinput::LineReader::Status::error:
                return Status::read_error;
            case smdinput::LineReader::Status::binary:
                error = where() + "binary bytes in a scenario (replay raw captures with --raw)";
                return Status::malformed;
            case smdinput::LineReader::Status::too_long:
                error = where() + "line longer than " + std::to_string(smdcli::kMaxScenarioLine) +
                        " characters";
                return Status::malformed;
            case smdinput::LineReader::Status::line:
                break;
        }
        if (lines_.number() == 1 && text_.compare(0, 3, "\xEF\xBB\xBF") == 0) text_.erase(0, 3);
        std::string why;
        if (!parse_line(text_, folder_, d, why)) {
            error = where() + why;
            return Status::malformed;
        }
        if (d.kind == Directive::Kind::none) continue;
        if (d.kind == Directive::Kind::set_clock) clock = d.epoch;
        if (d.kind == Directive::Kind::advance) {
            const double next = clock + d.seconds;
            if (check_clock && !smdtime::in_calendar(next)) {
                std::string shown = text_.substr(text_.find('+') + 1);
                if (shown.size() > 40) shown = shown.substr(0, 40) + "...";
                error = where() + "@+" + shown +
                        " moves the clock past 9999-12-31T23:59:59 local time, the last the "
                        "plug-in can use";
                return Status::malformed;
            }
            clock = next;
        }
        return Status::directive;
    }
}

}  // namespace smdscenario
