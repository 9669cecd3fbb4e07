#include "tools/smdhost/session/plugin_loader.hpp"

#include <climits>
#include <cstring>
#include <exception>

#include <dlfcn.h>
#include <unistd.h>

namespace smdplugin {

std::string default_plugin_path() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string dir = ".";
    if (n > 0) {
        buf[n] = '\0';
        dir = buf;
        const auto slash = dir.rfind('/');
        dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    }
    return dir + "/../lib/tarnel_brelm_pxr52_419.so";
}

LoadedPlugin::~LoadedPlugin() {
    provider_ = nullptr;
    providers_.clear();
    if (handle_ != nullptr) dlclose(handle_);
}

bool LoadedPlugin::load(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name; a name the user gave
    // is a file.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    // RTLD_NOW: a symbol the host does not provide is an error now, not a
    // crash in the middle of a round.
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = dlerror();
        error = std::string("cannot load plug-in: ") + (why != nullptr ? why : path.c_str());
        return false;
    }
    dlerror();
    void* sym = dlsym(handle_, "get_providers");
    if (sym == nullptr) {
        error = "plug-in " + path + " exports no get_providers";
        return false;
    }
    get_providers_fn get_providers;
    static_assert(sizeof get_providers == sizeof sym, "function and object pointers differ");
    std::memcpy(&get_providers, &sym, sizeof sym);
    try {
        providers_ = get_providers();
    } catch (const std::exception& e) {
        error = std::string("get_providers failed: ") + e.what();
        return false;
    }
    for (const auto& p : providers_) {
        provider_ = dynamic_cast<SMDSPDeviceProvider*>(p.get());
        if (provider_ != nullptr) break;
    }
    if (provider_ == nullptr) {
        error = "plug-in " + path + " provides no serial-port device (" +
                std::to_string(providers_.size()) + " provider(s))";
        return false;
    }
    return true;
}

SMDSPDevice* LoadedPlugin::create(std::string& error) {
    if (provider_ == nullptr) {
        error = "no plug-in loaded";
        return nullptr;
    }
    try {
        SMDSPDevice* d = provider_->create();
        if (d == nullptr) error = "create() returned no device";
        return d;
    } catch (const std::exception& e) {
        error = std::string("create() failed: ") + e.what();
        return nullptr;
    }
}

}  // namespace smdplugin
