#include "tools/smdhost/catalogue/catalogue.hpp"

#include <algorithm>
#include <set>

#include "tools/smdhost/catalogue/catalogue_tables.hpp"
#include "tools/smdhost/catalogue/edit_distance.hpp"

namespace smdcatalogue {

namespace {

bool used_for(const AlarmEntry& e, IdUse use) {
    switch (use) {
        case IdUse::any: return true;
        case IdUse::level: return e.kind == SignalKind::alarm && e.level == 0;
        case IdUse::threshold: return e.kind == SignalKind::threshold || e.reads_threshold;
        case IdUse::report: return e.kind == SignalKind::report;
    }
    return false;
}

bool in_mode(const AlarmEntry& e, std::optional<int> mode) {
    return !mode || (e.when.modes & mode_bit(*mode)) != 0;
}

}  // namespace

const Catalogue& Catalogue::get() {
    static const Catalogue catalogue;
    return catalogue;
}

Catalogue::Catalogue() {
    ValueTable v = build_value_table();
    AlarmTable a = build_alarm_table(v);
    values_ = std::move(v.values);
    value_families_ = std::move(v.families);
    alarms_ = std::move(a.alarms);
    alarm_families_ = std::move(a.families);
    for (std::size_t k = 0; k < values_.size(); ++k) {
        by_name_.emplace(values_[k].name, k);
        by_offset_.emplace(values_[k].offset, k);
    }
    for (std::size_t k = 0; k < alarms_.size(); ++k) by_id_.emplace(alarms_[k].id, k);
}

const ValueEntry* Catalogue::find_value(const std::string& name) const {
    const auto it = by_name_.find(name);
    return it == by_name_.end() ? nullptr : &values_[it->second];
}

const ValueEntry* Catalogue::value_at(std::size_t offset) const {
    const auto it = by_offset_.find(offset);
    return it == by_offset_.end() ? nullptr : &values_[it->second];
}

std::vector<const ValueEntry*> Catalogue::select_values(const NameFilter& filter,
                                                        std::vector<std::string>* unmatched) const {
    std::vector<const ValueEntry*> out;
    std::vector<bool> hits(filter.patterns().size(), false);
    for (const ValueEntry& v : values_)
        if (filter.matches(v.name, &hits)) out.push_back(&v);
    if (unmatched != nullptr) {
        unmatched->clear();
        for (std::size_t k = 0; k < hits.size(); ++k)
            if (!hits[k]) unmatched->push_back(filter.patterns()[k]);
    }
    return out;
}

std::string Catalogue::nearest_value_name(const std::string& name) const {
    std::vector<std::string> names;
    names.reserve(values_.size());
    for (const ValueEntry& v : values_) names.push_back(v.name);
    return nearest(name, names);
}

std::vector<const AlarmEntry*> Catalogue::find_alarms(const std::string& id) const {
    std::vector<const AlarmEntry*> out;
    const auto range = by_id_.equal_range(id);
    for (auto it = range.first; it != range.second; ++it) out.push_back(&alarms_[it->second]);
    return out;
}

std::vector<const AlarmEntry*> Catalogue::signals_of(const ValueEntry& value) const {
    std::vector<const AlarmEntry*> out;
    for (const AlarmEntry& e : alarms_)
        if (e.value == value.name) out.push_back(&e);
    return out;
}

std::vector<std::string> Catalogue::ids(IdUse use, std::optional<int> mode) const {
    std::set<std::string> ids;
    for (const AlarmEntry& e : alarms_) {
        if (!in_mode(e, mode)) continue;
        if (used_for(e, use)) ids.insert(e.id);
        if ((use == IdUse::any || use == IdUse::report) && !e.template_id.empty())
            ids.insert(e.template_id);
    }
    return std::vector<std::string>(ids.begin(), ids.end());
}

bool Catalogue::knows_id(const std::string& id, IdUse use, std::optional<int> mode) const {
    const std::vector<std::string> all = ids(use, mode);
    return std::binary_search(all.begin(), all.end(), id);
}

std::string Catalogue::nearest_id(const std::string& id, IdUse use, std::optional<int> mode) const {
    return nearest(id, ids(use, mode));
}

}  // namespace smdcatalogue
