#include "tools/smdhost/check/signal_ids.hpp"

#include <vector>

#include "tools/smdhost/catalogue/catalogue.hpp"
#include "tools/smdhost/catalogue/edit_distance.hpp"

namespace smdcheck {

namespace {

namespace cat = smdcatalogue;

// One member of "host" and the ids it is read for.
struct HostMember {
    const char* name;
    cat::IdUse use;
    const char* role;    // what the plug-in would read it for
    const char* unused;  // why an id the plug-in sends is not read here
};

const HostMember kHostMembers[] = {
    {"levels", cat::IdUse::level, "level",
     "the plug-in sends this id with a level of its own: this one is never read"},
    {"thresholds", cat::IdUse::threshold, "threshold",
     "the plug-in compares nothing under this id with a threshold"},
    {"reports", cat::IdUse::report, "report setting",
     "the plug-in sends no report under this id"},
};

// The threshold modes told apart by the catalogue; 4 stands for every mode
// but 1, 2, 3 and 5.
const int kModes[] = {1, 2, 3, 5, 4};

std::string mode_word(int mode) { return mode == 4 ? "other" : std::to_string(mode); }

// The modes other than `mode` in which the plug-in reads `id` for `use`,
// "2" or "1 and 2"; "" when none.
std::string other_modes(const std::string& id, cat::IdUse use, int mode) {
    const cat::Catalogue& c = cat::Catalogue::get();
    const std::uint8_t own = cat::mode_bit(mode);
    std::vector<std::string> found;
    for (int m : kModes)
        if (cat::mode_bit(m) != own && c.knows_id(id, use, m)) found.push_back(mode_word(m));
    std::string s;
    for (std::size_t k = 0; k < found.size(); ++k)
        s += (k == 0 ? "" : k + 1 == found.size() ? " and " : ", ") + found[k];
    return s;
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

// The ids of `member` the plug-in reads in `mode`, with the configuration's own.
std::vector<std::string> known_ids(const HostMember& member, int mode, const DefinedIds& defined) {
    std::vector<std::string> ids = cat::Catalogue::get().ids(member.use, mode);
    const std::set<std::string>* own = member.use == cat::IdUse::threshold ? &defined.thresholds
                                       : member.use == cat::IdUse::report  ? &defined.reports
                                                                           : nullptr;
    if (own != nullptr) ids.insert(ids.end(), own->begin(), own->end());
    return ids;
}

}  // namespace

void check_defined_id(Writer& w, const std::string& id, const IdPlace& place,
                      const std::string& indent) {
    const cat::Catalogue& c = cat::Catalogue::get();
    if (id.empty() || c.knows_id(id)) return;
    const std::string near = c.nearest_id(id);
    if (near.empty() || cat::edit_distance(id, near) != 1) return;
    Finding f;
    f.file = place.file;
    f.line = place.line;
    f.member = place.member;
    f.id = id;
    f.suggestion = near;
    f.message = place.file + (place.line != 0 ? ":" + std::to_string(place.line) : std::string()) +
                ": " + place.member + ": " + id + ": no such signal; did you mean " + near + "?";
    w.add(f, indent);
}

void check_host_ids(Writer& w, const std::string& config_path, const Json::Value& config,
                    int mode, const DefinedIds& defined) {
    const Json::Value& host = config["host"];
    w.line("signal ids in \"host\" (threshold mode " + std::to_string(mode) + "):");
    const cat::Catalogue& c = cat::Catalogue::get();
    for (const HostMember& m : kHostMembers) {
        const Json::Value& ids = host.isObject() ? host[m.name] : Json::Value::nullSingleton();
        // read_host_settings has refused anything but an object.
        const std::size_t n = ids.isObject() ? ids.size() : 0;
        w.line("  " + quoted(m.name) + ": " +
               (n == 0 ? std::string("none") : std::to_string(n) + (n == 1 ? " id" : " ids")));
        if (n == 0) continue;
        const std::vector<std::string> known = known_ids(m, mode, defined);
        const std::set<std::string> known_set(known.begin(), known.end());
        for (const std::string& id : ids.getMemberNames()) {
            if (known_set.count(id) != 0) continue;
            Finding f;
            f.file = config_path;
            f.member = "\"host\"." + quoted(m.name);
            f.id = id;
            const std::string lead = config_path + ": " + f.member + ": " + id + ": ";
            const std::string modes = other_modes(id, m.use, mode);
            if (!modes.empty()) {
                f.message = lead + "the plug-in reads this " + m.role + " only in threshold mode " +
                            modes + ", not in mode " + std::to_string(mode);
            } else if (c.knows_id(id)) {
                f.message = lead + m.unused;
            } else {
                f.suggestion = cat::nearest(id, known);
                if (f.suggestion.empty()) f.suggestion = c.nearest_id(id);
                f.message = lead + "no such signal" +
                            (f.suggestion.empty() ? std::string()
                                                  : "; did you mean " + f.suggestion + "?");
            }
            w.add(f);
        }
    }
}

}  // namespace smdcheck
