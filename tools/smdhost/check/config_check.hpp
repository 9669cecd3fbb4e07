// smdhost check: what the plug-in will make of a configuration, told before
// it is deployed.
//
// The "appSetting" values go through the plug-in's own conversion functions
// (config/config_text.hpp), so what is shown is what the device will hold.
// The threshold file is looked for the way the plug-in looks for it, in the
// same eight places and the same order, and read with the same INI reader.
#pragma once

#include <string>
#include <vector>

#include "tools/smdhost/cli/cli.hpp"

namespace smdcheck {

struct Report {
    std::string failure;  // the configuration could not be read: nothing else is told
    std::string text;     // what is shown, line by line
    int errors = 0;       // the plug-in would fail (or the threshold file cannot be used)
    int warnings = 0;     // the plug-in goes on, but not as the writer likely meant
    bool has_data_id = false;  // the "host" member could be read: data_id is the device's
    unsigned data_id = 1;
};

// Checks the configuration file `config_path`; `ini_dir` is the folder the
// plug-in knows as ./ini/ (empty: "./ini").
Report check_configuration(const std::string& config_path, const std::string& ini_dir);

// Runs `smdhost check` on every configuration given (PATH, or ADDR=PATH for
// the device at that address); two of one data id, or two at one address,
// are errors. Returns the exit status (0 no errors, 1 errors).
int run_check(const smdcli::Options& opts);

}  // namespace smdcheck
