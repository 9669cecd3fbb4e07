// smdhost check: what the plug-in will make of a configuration, told before
// it is deployed.
//
// The "appSetting" values go through the plug-in's own conversion functions
// (config/config_text.hpp), so what is shown is what the device will hold.
// The threshold file is looked for the way the plug-in looks for it, in the
// same eight places and the same order, and read with the same INI reader.
// The signal ids it names are checked against the signal catalogue
// (signal_ids.hpp).
#pragma once

#include <string>

#include "tools/smdhost/check/check_report.hpp"
#include "tools/smdhost/cli/cli.hpp"

namespace smdcheck {

// Checks the configuration file `config_path`; `ini_dir` is the folder the
// plug-in knows as ./ini/ (empty: "./ini").
Report check_configuration(const std::string& config_path, const std::string& ini_dir);

// Runs `smdhost check` on every configuration given (PATH, or ADDR=PATH for
// the device at that address); two of one data id, or two at one address,
// are errors. Returns the exit status (0 passed, 1 errors, or warnings with
// --strict).
int run_check(const smdcli::Options& opts);

}  // namespace smdcheck
