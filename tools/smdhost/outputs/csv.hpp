// CSV as smdhost writes it (RFC 4180): cells separated by commas, a cell
// quoted when it holds a comma, a quote or a line end, quotes doubled.
#pragma once

#include <string>

namespace smdcsv {

// One cell, quoted when it needs to be.
std::string cell(const std::string& text);

// A row built cell by cell.
class Row {
public:
    Row& add(const std::string& text);
    // Cells already written as CSV (another row's text), appended as they are.
    Row& add_cells(const std::string& cells);
    const std::string& str() const { return text_; }

private:
    std::string text_;
    bool first_ = true;
};

}  // namespace smdcsv
