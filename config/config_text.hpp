// Reading switches and limits out of the device's JSON configuration.
//
// Every configuration value is untrusted: the helpers here never throw on a
// value of the wrong JSON type and never overflow on a long digit string.
#pragma once

#include <string>

#include <json/value.h>

namespace pxr52 {

// obj[key] when obj is an object, else a null value (the const subscript of
// the JSON library throws on arrays and scalars).
const Json::Value& member_of(const Json::Value& obj, const char* key);

// Text of a scalar as the JSON library writes it with asString(): a number N
// gives "N" (2.5 gives "2.5"), a boolean "true"/"false", a string itself,
// null "". Arrays and objects have no text: false, `out` unchanged.
bool scalar_text(const Json::Value& value, std::string& out);

// The leading decimal integer of `text` as atoi reads it (leading blanks,
// optional sign, digits; 0 when there is none), saturated to the int range
// where atoi would overflow.
int leading_int(const std::string& text);

// One switch of "appSetting": when obj[key] is present (not null) and has a
// text, stores leading_int(text) in `value` and returns true; otherwise
// returns false and leaves `value` alone. Arrays and objects count as absent.
bool read_int_setting(const Json::Value& obj, const char* key, int& value);

}  // namespace pxr52
