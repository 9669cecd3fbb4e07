// Where the files the monitor serves are: the dashboard page, installed
// with the package (or copied into the build tree), and Debian's Chart.js.
#pragma once

#include <string>
#include <vector>

namespace smdmonitor {

// The folders tried for the dashboard, in order: share/tarnel-pxr52/dashboard
// beside the program's tree (the build tree: build/bin/../share; the
// package: <prefix>/lib/tarnel-pxr52/bin/../../../share).
std::vector<std::string> dashboard_candidates();
// The first candidate holding index.html; "" when none does.
std::string find_dashboard();

// Debian's libjs-chart.js.
constexpr const char* kChartJsFolder = "/usr/share/javascript/chart.js";

}  // namespace smdmonitor
