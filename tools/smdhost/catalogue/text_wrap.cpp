#include "tools/smdhost/catalogue/text_wrap.hpp"

#include <algorithm>
#include <sstream>

namespace smdcatalogue {

std::vector<std::string> wrap(const std::string& text, std::size_t lead, std::size_t width) {
    const std::size_t room = std::max<std::size_t>(30, width > lead ? width - lead : 0);
    std::vector<std::string> lines(1);
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        std::string& line = lines.back();
        if (line.empty()) {
            line = word;
        } else if (line.size() + 1 + word.size() <= room) {
            line += " " + word;
        } else {
            lines.push_back(word);
        }
    }
    return lines;
}

}  // namespace smdcatalogue
