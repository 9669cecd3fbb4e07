// smdhost decode and smdhost history: data records shown as named fields.
#pragma once

#include <string>
#include <vector>

#include "tools/smdhost/cli/cli.hpp"

namespace smdrecords {

// Turns decode's input into record bytes: `bytes` as read from `source`
// (a file name, "-" or "--hex"). Exactly 1257 bytes are the record; anything
// else that is text is read as hex digits (blanks and line ends between
// bytes allowed). False with a message naming `source` and the length found.
bool record_from_input(const std::string& source, const std::string& bytes, bool hex_only,
                       std::vector<unsigned char>& record, std::string& error);

// Returns the exit status.
int run_decode(const smdcli::Options& opts);
int run_history(const smdcli::Options& opts);

}  // namespace smdrecords
