#include "config/config_text.hpp"

#include <cctype>
#include <climits>

namespace pxr52 {

const Json::Value& member_of(const Json::Value& obj, const char* key) {
    static const Json::Value null_value;
    if (!obj.isObject()) return null_value;
    return obj[key];  // const subscript: does not insert
}

bool scalar_text(const Json::Value& value, std::string& out) {
    if (value.isArray() || value.isObject()) return false;
    out = value.asString();
    return true;
}

int leading_int(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate towards the sign's limit so INT_MIN itself is representable.
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) {
        v = -v;
        return v < INT_MIN ? INT_MIN : static_cast<int>(v);
    }
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

bool read_int_setting(const Json::Value& obj, const char* key, int& value) {
    const Json::Value& v = member_of(obj, key);
    if (v.isNull()) return false;
    std::string text;
    if (!scalar_text(v, text)) return false;
    value = leading_int(text);
    return true;
}

}  // namespace pxr52
