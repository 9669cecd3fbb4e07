#include "tools/smdhost/catalogue/edit_distance.hpp"

#include <algorithm>
#include <vector>

namespace smdcatalogue {

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::size_t suggestion_limit(std::size_t length) { return std::max<std::size_t>(1, length / 3); }

std::string nearest(const std::string& text, const std::vector<std::string>& candidates) {
    std::string best;
    std::size_t best_distance = suggestion_limit(text.size()) + 1;
    for (const std::string& c : candidates) {
        const std::size_t d = edit_distance(text, c);
        const bool better =
            d < best_distance ||
            (d == best_distance && !best.empty() &&
             ((c.size() == text.size()) != (best.size() == text.size())
                  ? c.size() == text.size()
                  : c < best));
        if (better) {
            best = c;
            best_distance = d;
        }
    }
    return best;
}

}  // namespace smdcatalogue
