#include "tools/smdhost/outputs/csv.hpp"

namespace smdcsv {

std::string cell(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string s = "\"";
    for (char c : text) {
        if (c == '"') s += '"';
        s += c;
    }
    return s + "\"";
}

Row& Row::add(const std::string& text) { return add_cells(cell(text)); }

Row& Row::add_cells(const std::string& cells) {
    if (!first_) text_ += ',';
    first_ = false;
    text_ += cells;
    return *this;
}

}  // namespace smdcsv
