// The report of `smdhost check` on one configuration: the lines a person
// reads, and every error and warning as a finding that scripts can take
// apart (`--format json`).
#pragma once

#include <string>
#include <vector>

namespace smdcheck {

struct Finding {
    enum class Severity { error, warning };
    Severity severity = Severity::warning;
    std::string message;     // as shown after "warning: " or "error: "
    // What the finding is about, where known (empty or 0 otherwise).
    std::string file;        // the configuration or the threshold file
    int line = 0;            // line of the threshold file
    std::string member;      // "\"host\".\"levels\"", "[AI] \"dcv\"", ...
    std::string id;          // the signal id
    std::string suggestion;  // the nearest id the plug-in knows
};

struct Report {
    std::string failure;  // the configuration could not be read: nothing else is told
    std::string config;   // the configuration file, as named
    int address = -1;     // ADDR of ADDR=PATH: the device's address on the line; -1 none
    bool has_data_id = false;  // the "host" member could be read: data_id is the device's
    unsigned data_id = 1;
    int mode = 1;         // threshold mode the plug-in ends with
    std::string text;     // what is shown, line by line
    std::vector<Finding> findings;
    int errors = 0;       // the plug-in would fail (or the threshold file cannot be used)
    int warnings = 0;     // the plug-in goes on, but not as the writer likely meant
};

// Adds lines and findings to a report.
class Writer {
public:
    explicit Writer(Report& r) : r_(r) {}
    void line(const std::string& s) { r_.text += s + "\n"; }
    void warn(const std::string& message, const std::string& indent = "    ");
    void error(const std::string& message, const std::string& indent = "    ");
    // A finding with what it is about; shown with its severity's word.
    void add(const Finding& f, const std::string& indent = "    ");
    // Appends what was collected apart (findings that belong below a line
    // written after them), each line indented by `indent` more.
    void absorb(const Report& sub, const std::string& indent = std::string());

private:
    Report& r_;
};

// Whether the check passes: no errors, and with `strict` no warnings.
bool passed(const Report& r, bool strict);

// The report's lines and the closing count, "0 errors, 1 warning".
std::string report_text(const Report& r, bool strict);

// One JSON object on one line: "config", "address" (when given), "data_id", "mode", "errors",
// "warnings", "passed", "findings" [{"severity", "message", and where known
// "file", "line", "member", "id", "suggestion"}].
std::string report_json(const Report& r, bool strict);

}  // namespace smdcheck
