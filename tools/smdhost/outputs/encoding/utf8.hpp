// UTF-8 checks for text that leaves the process in a format that requires
// valid UTF-8 (Prometheus label values, MQTT topics and payloads, JSON).
#pragma once

#include <string>

namespace smdtext {

// True when `text` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(const std::string& text);

// `text` with every byte that does not belong to a well-formed sequence
// replaced by U+FFFD; valid input comes back unchanged.
std::string sanitize_utf8(const std::string& text);

}  // namespace smdtext
