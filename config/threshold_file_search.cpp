// The eight places a mode-1 threshold file may be, in order of preference.
#include <unistd.h>

#include <iostream>
#include <string>

#include "config/threshold_loaders.hpp"

namespace pxr52 {

std::string find_threshold_file(unsigned data_id, const std::string& device_type) {
    const std::string id = std::to_string(data_id);
    // Directory, then name, then type: a ".yaml" file wins over the ".ini"
    // file of the same name.
    struct Candidate {
        const char* dir;
        bool by_id;  // named by data id, else by device type
        const char* extension;
    };
    static const Candidate candidates[] = {
        {"./ini/", true, ".yaml"},        {"./ini/", true, ".ini"},
        {"./ini/", false, ".yaml"},       {"./ini/", false, ".ini"},
        {"./ini/tarnel/", true, ".yaml"}, {"./ini/tarnel/", true, ".ini"},
        {"./ini/tarnel/", false, ".yaml"}, {"./ini/tarnel/", false, ".ini"},
    };
    for (const Candidate& c : candidates) {
        const std::string path = std::string(c.dir) + (c.by_id ? id : device_type) + c.extension;
        if (::access(path.c_str(), F_OK) == 0) return path;
    }
    std::cout << "data_id:" << data_id << " model:" << device_type << " b ini not found\n";
    return std::string();
}

}  // namespace pxr52
