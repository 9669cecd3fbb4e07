// Pieces of the signal ids and alarm texts that the rule sets build per
// channel, module, fuse or screen. Header-only and free of host types: the
// signal catalogue of smdhost builds the same ids and texts with them.
#pragma once

#include <algorithm>
#include <string>
#include <utility>

namespace pxr52 {

// n in decimal, zero-padded to at least three digits (1 -> "001", 1234 -> "1234").
inline std::string zero_pad3(int n) {
    std::string s = std::to_string(n);
    if (s.size() < 3) s.insert(0, 3 - s.size(), '0');
    return s;
}

// Number of records a rule loop walks: the count the record states, never
// more than the record holds (a cached or polled record can state anything).
inline int bounded_count(unsigned char count, int capacity) {
    return std::min(static_cast<int>(count), capacity);
}

// "第<i+1>路交流输入-" for AC channel i.
inline std::string ac_prefix(int channel) { return "第" + std::to_string(channel + 1) + "路交流输入-"; }

// "模块<j+1>" for rectifier j.
inline std::string module_prefix(int module) { return "模块" + std::to_string(module + 1); }

// An id made per module, fuse or screen: head, a three-digit number, tail
// (head "12060069", number "001", tail "0" give 120600690010).
struct NumberedId {
    const char* head;
    const char* tail;
};

// `number` is the zero-padded number (zero_pad3). An instance whose texts
// use the number too passes it as an lvalue; a temporary is reused.
inline std::string numbered_id(const NumberedId& family, const std::string& number) {
    return family.head + number + family.tail;
}
inline std::string numbered_id(const NumberedId& family, std::string&& number) {
    return family.head + std::move(number) + family.tail;
}

}  // namespace pxr52
