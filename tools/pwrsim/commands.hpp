// The sub-commands of pwrsim and what they share.
#pragma once

#include <string>
#include <vector>

#include "tools/plant/plant_model.hpp"
#include "tools/plant/trace.hpp"
#include "tools/pwrsim/options.hpp"

namespace pwrsim {

// Each returns the process exit status: 0 done, 1 failure at run time,
// 2 bad usage. argv[first] is the first word after the sub-command.
int run_trace(int argc, char** argv, int first);
int run_serve(int argc, char** argv, int first);
int run_bus(int argc, char** argv, int first);

// Options every sub-command shares: the plant's shape and seed.
std::vector<OptionSpec> plant_options();
// Options of the generated interrogation (trace and bus).
std::vector<OptionSpec> round_options();
// The plant's shape from --rectifiers, --screens, --shape, --seed.
plant::PlantShape shape_from(const Options& o);
// Trace settings from the options above (throws UsageError).
plant::TraceConfig trace_config_from(const Options& o);

// "pwrsim SUB: message" and "Try 'pwrsim SUB --help'." on standard error; 2.
int usage_error(const char* sub, const std::string& message);
// Prints help when asked for (-h, --help anywhere); true if it did.
bool wants_help(int argc, char** argv, int first);

}  // namespace pwrsim
