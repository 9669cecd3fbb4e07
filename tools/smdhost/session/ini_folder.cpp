#include "tools/smdhost/session/ini_folder.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "tools/smdhost/session/session.hpp"

namespace smdsession {

namespace {

std::string working_directory() {
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

void make_absolute(std::string& path) {
    if (path.empty() || path == "-" || path[0] == '/') return;
    path = absolute_path(path);
}

}  // namespace

std::string absolute_path(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::string cwd = working_directory();
    if (cwd.empty()) return path;
    std::string rel = path;
    while (rel.compare(0, 2, "./") == 0) rel.erase(0, 2);
    if (rel.empty() || rel == ".") return cwd;
    return cwd == "/" ? "/" + rel : cwd + "/" + rel;
}

void make_paths_absolute(smdcli::Options& opts) {
    for (std::string& file : opts.files) make_absolute(file);  // scenarios, captures
    for (smdcli::DeviceOption& device : opts.devices) make_absolute(device.config);  // --device ADDR=CONFIG
    make_absolute(opts.config);
    make_absolute(opts.plugin);
    make_absolute(opts.history);
    make_absolute(opts.record);   // listen --record
    make_absolute(opts.serial);   // listen --serial (a relative pseudo-terminal link)
    make_absolute(opts.ini_dir);
}

int IniFolder::enter(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::cerr << "smdhost: --ini-dir " << dir << ": not a folder" << std::endl;
        return kExitUsage;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/smdhost-ini-XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        std::cerr << "smdhost: --ini-dir: cannot make a folder " << templ << ": " << std::strerror(errno)
                  << std::endl;
        return kExitFailure;
    }
    path_ = name.data();
    previous_ = working_directory();
    const std::string link = path_ + "/ini";
    if (::symlink(dir.c_str(), link.c_str()) != 0 || ::chdir(path_.c_str()) != 0) {
        std::cerr << "smdhost: --ini-dir: " << link << ": " << std::strerror(errno) << std::endl;
        return kExitFailure;
    }
    return kExitOk;
}

IniFolder::~IniFolder() {
    if (path_.empty()) return;
    // Back where smdhost started, best effort: the folder can be removed
    // while it is the working directory too.
    if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) previous_.clear();
    ::unlink((path_ + "/ini").c_str());
    if (::rmdir(path_.c_str()) != 0)
        std::cerr << "smdhost: " << path_ << " left behind: " << std::strerror(errno) << std::endl;
}

}  // namespace smdsession
