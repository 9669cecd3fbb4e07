// The device configuration: arbitrary JSON handed to InitSetting and an
// arbitrary INI threshold file in one of the places the loader searches,
// then one round over the loaded tables.
//
// Input:  kind | data id choice | file place | JSON length (u16) | JSON text |
//         INI text (the rest)
//
// Properties: InitSetting returns 1, and the only exceptions that leave it
// are the INI reader's (boost::property_tree::ptree_error and its kinds);
// the round after it publishes one record and empties its queued rules.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <boost/property_tree/ptree.hpp>
#include <json/reader.h>
#include <json/value.h>

#include "fuzz/fuzz_devices.hpp"

namespace {

// The files the loader looks for, relative to the working directory.
std::string threshold_path(std::uint8_t place, unsigned data_id, const std::string& type) {
    const char* dir = (place & 4) != 0 ? "./ini/tarnel/" : "./ini/";
    const std::string name = (place & 2) != 0 ? type : std::to_string(data_id);
    return std::string(dir) + name + ((place & 1) != 0 ? ".ini" : ".yaml");
}

Json::Value parse_config(const std::string& text) {
    Json::Value root;
    try {
        Json::CharReaderBuilder builder;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        if (reader->parse(text.data(), text.data() + text.size(), &root, &errors)) return root;
    } catch (const std::exception&) {
    }
    return Json::Value(text);  // not JSON: the configuration is that text
}

// Gives every key the checks look for a number, so the loaded tables are
// walked past their look-ups.
void fill_values(PowerDevice& dev) {
    int k = 0;
    for (const auto& e : dev.ai_map) dev.value_map[e.first] = 50 + (k++ % 3);
    for (signal_rule_map* m : {&dev.up_map, &dev.up2_map, &dev.low_map, &dev.low2_map})
        for (const auto& e : *m) dev.value_map[e.first] = 50 + (k++ % 3);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    // A private working directory with the two threshold folders, in memory
    // where the machine has a tmpfs: every run writes and removes a file.
    static std::string dir;
    for (const char* base : {"/dev/shm", "/tmp"}) {
        std::string templ = std::string(base) + "/smd-fuzz-init-XXXXXX";
        if (::mkdtemp(&templ[0]) != nullptr) {
            dir = templ;
            break;
        }
    }
    if (dir.empty() || ::chdir(dir.c_str()) != 0) std::abort();
    ::mkdir("ini", 0700);
    ::mkdir("ini/tarnel", 0700);
    std::atexit([] {
        // Only the empty folders remain after a normal exit; a crash leaves
        // the file of the failing run for inspection.
        ::rmdir((dir + "/ini/tarnel").c_str());
        ::rmdir((dir + "/ini").c_str());
        ::rmdir(dir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    fuzzing::reset_clock();
    auto dev = fuzzing::make_device(static_cast<fuzzing::DeviceKind>(in.u8() % 3));
    static const unsigned kIds[] = {1, 5535, 0, 4294967295u};
    dev->data_id = in.pick(kIds);
    const std::uint8_t place = in.u8();
    const fuzzing::Bytes json = in.bytes(in.u16());
    const fuzzing::Bytes ini = in.rest();

    std::string path;
    if (place < 8) {
        path = threshold_path(place, dev->data_id, dev->DeviceType());
        if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(ini.data(), 1, ini.size(), f);
            std::fclose(f);
        }
    }
    fuzzing::CheckingListener listener;
    dev->host_listener = &listener;
    const Json::Value config = parse_config(std::string(json.begin(), json.end()));
    bool loaded = true;
    try {
        fuzzing::check(dev->InitSetting(config) == 1, "InitSetting returns 1");
    } catch (const boost::property_tree::ptree_error&) {
        loaded = false;  // the INI reader's documented errors
    }
    if (loaded) {
        // Applied again over the current values, as a host may do.
        try {
            dev->InitSetting(config);
        } catch (const boost::property_tree::ptree_error&) {
            fuzzing::fail("an INI file read once fails the second time");
        }
    }
    fill_values(*dev);
    const fuzzing::Bytes record(PXR52_419_RECORD_SIZE, 0);
    fuzzing::check(dev->LoadFromCache(record.data(), PXR52_419_RECORD_SIZE) == 1, "round runs");
    fuzzing::check(listener.published == 1 && dev->rule_values.empty(), "one round published");
    if (!path.empty()) ::unlink(path.c_str());
    return 0;
}
