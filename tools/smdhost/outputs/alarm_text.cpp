#include "tools/smdhost/outputs/alarm_text.hpp"

namespace smdevents {

namespace {

bool is_ascii(const std::string& s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::string alarm_text(const std::string& id, const std::string& text1, const std::string& text2) {
    if (text1 == id || text1.empty()) return text2;
    if (is_ascii(text1) && !is_ascii(text2)) return text2 + " [" + text1 + "]";
    if (!text2.empty() && text2 != text1) return text1 + " (" + text2 + ")";
    return text1;
}

}  // namespace smdevents
