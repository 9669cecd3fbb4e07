// Levenshtein distance, for "did you mean" suggestions on mistyped ids and
// names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace smdcatalogue {

// Insertions, deletions and substitutions of single bytes that turn `a`
// into `b`.
std::size_t edit_distance(const std::string& a, const std::string& b);

// The largest distance still offered as a suggestion for a text of `length`
// bytes: about a third of it, at least 1 ("22060014001" is one insertion
// from "220600140010"; an unrelated id is not suggested).
std::size_t suggestion_limit(std::size_t length);

// The candidate nearest to `text` within suggestion_limit(), "" when none
// is. Ties go to the candidate of the same length as `text`, then to the
// smaller one.
std::string nearest(const std::string& text, const std::vector<std::string>& candidates);

}  // namespace smdcatalogue
