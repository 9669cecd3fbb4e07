// Word wrapping for the catalogue's text table and man page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace smdcatalogue {

// Splits `text` at blanks into lines that fit `width` columns after a
// first column of `lead` (at least 30 columns are always given to the text).
// A word longer than the room stays whole on its own line. Never empty.
std::vector<std::string> wrap(const std::string& text, std::size_t lead, std::size_t width);

}  // namespace smdcatalogue
