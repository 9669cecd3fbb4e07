#include "tools/smdhost/catalogue/name_filter.hpp"

#include <fnmatch.h>

namespace smdcatalogue {

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const auto at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

// The first min(|pattern|, |name|) segments match one by one.
bool leading_segments_match(const std::vector<std::string>& pattern,
                            const std::vector<std::string>& name) {
    const std::size_t n = pattern.size() < name.size() ? pattern.size() : name.size();
    for (std::size_t k = 0; k < n; ++k)
        if (fnmatch(pattern[k].c_str(), name[k].c_str(), 0) != 0) return false;
    return true;
}

}  // namespace

NameFilter::NameFilter(const std::string& list) {
    for (const std::string& item : split(list, ',')) {
        const std::string p = trim(item);
        if (p.empty()) continue;
        patterns_.push_back(p);
        segments_.push_back(split(p, '.'));
    }
}

bool NameFilter::matches(const std::string& name, std::vector<bool>* hits) const {
    if (patterns_.empty()) return true;
    if (hits != nullptr && hits->size() != patterns_.size()) hits->assign(patterns_.size(), false);
    const std::vector<std::string> segments = split(name, '.');
    bool any = false;
    for (std::size_t k = 0; k < patterns_.size(); ++k) {
        if (segments_[k].size() > segments.size() || !leading_segments_match(segments_[k], segments))
            continue;
        any = true;
        if (hits == nullptr) break;
        (*hits)[k] = true;
    }
    return any;
}

bool NameFilter::covers(const std::string& name) const {
    if (patterns_.empty()) return true;
    const std::vector<std::string> segments = split(name, '.');
    for (const auto& pattern : segments_) {
        if (!leading_segments_match(pattern, segments)) continue;
        bool rest_is_wild = true;
        for (std::size_t k = segments.size(); k < pattern.size(); ++k)
            rest_is_wild = rest_is_wild && pattern[k] == "*";
        if (rest_is_wild) return true;
    }
    return false;
}

}  // namespace smdcatalogue
