#include "tools/smdhost/outputs/monitor/dashboard_folder.hpp"

#include <climits>
#include <cstdlib>

#include <unistd.h>

namespace smdmonitor {

namespace {

std::string program_folder() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::vector<std::string> dashboard_candidates() {
    const std::string bin = program_folder();
    return {bin + "/../share/tarnel-pxr52/dashboard", bin + "/../../../share/tarnel-pxr52/dashboard"};
}

std::string find_dashboard() {
    for (const auto& dir : dashboard_candidates())
        if (::access((dir + "/index.html").c_str(), R_OK) == 0) return dir;
    return "";
}

}  // namespace smdmonitor
