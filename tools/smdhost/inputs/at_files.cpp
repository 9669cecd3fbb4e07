#include "tools/smdhost/inputs/at_files.hpp"

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/session/host_config.hpp"

namespace smdscenario {

AtFile check_at_file(const Directive& d, std::string& error) {
    if (!d.has_path) return AtFile::usable;
    if (d.kind == Directive::Kind::init) {
        Json::Value config;
        bool unreadable = false;
        if (smdconfig::load_config(d.path, config, error, &unreadable)) return AtFile::usable;
        return unreadable ? AtFile::unreadable : AtFile::malformed;
    }
    smdinput::Problem problem = smdinput::Problem::none;
    if (smdinput::check_small_file(d.path, smdcli::kMaxLoadFile, "a !load file", error, &problem))
        return AtFile::usable;
    return problem == smdinput::Problem::unreadable ? AtFile::unreadable : AtFile::malformed;
}

bool read_load_file(const Directive& d, std::vector<unsigned char>& out, std::string& error) {
    std::string bytes;
    if (!smdinput::read_small_file(d.path, smdcli::kMaxLoadFile, "a !load file", bytes, error))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

bool read_init_file(const Directive& d, Json::Value& out, std::string& error) {
    return smdconfig::load_config(d.path, out, error);
}

}  // namespace smdscenario
