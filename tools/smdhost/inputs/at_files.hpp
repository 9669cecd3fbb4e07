// The files a scenario names with @PATH: the bytes of `!load @PATH` (at most
// kMaxLoadFile) and the configuration of `!init @PATH`. A scenario file's
// validating pass checks them: a name that does not open, or a configuration
// that does not parse, makes the line malformed; a file that opens but
// cannot be read whole (a folder, too large) is a failure of the replay.
// They are read again, and only then kept, when their line runs.
#pragma once

#include <string>
#include <vector>

#include <json/value.h>

#include "tools/smdhost/inputs/scenario.hpp"

namespace smdscenario {

enum class AtFile { usable, malformed, unreadable };

// Whether the file of `d` (a !load or !init with a path) can be used; when
// not, the reason, naming the file, is in `error`.
AtFile check_at_file(const Directive& d, std::string& error);

// The bytes of a !load @PATH.
bool read_load_file(const Directive& d, std::vector<unsigned char>& out, std::string& error);

// The configuration of a !init @PATH.
bool read_init_file(const Directive& d, Json::Value& out, std::string& error);

}  // namespace smdscenario
