#include "tools/smdhost/inputs/at_files.hpp"

#include "tools/smdhost/cli/cli.hpp"
#include "tools/smdhost/inputs/input_file.hpp"
#include "tools/smdhost/session/host_config.hpp"

namespace smdscenario {

bool check_at_file(const Directive& d, std::string& error) {
    if (!d.has_path) return true;
    if (d.kind == Directive::Kind::init) {
        Json::Value config;
        return read_init_file(d, config, error);
    }
    return smdinput::check_small_file(d.path, smdcli::kMaxLoadFile, "a !load file", error);
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
