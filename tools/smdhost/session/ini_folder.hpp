// --ini-dir DIR for replay and listen. The plug-in reads its threshold
// files from ./ini/ of the working directory, so smdhost makes every path
// it was given absolute, then runs in a private temporary folder that holds
// nothing but `ini`, a symbolic link to DIR:
//
//   /tmp/smdhost-ini-k3J9aQ/ini -> /etc/tarnel-pxr52/ini
//
// The folder is removed when the run ends. Messages name the absolute paths.
#pragma once

#include <string>

#include "tools/smdhost/cli/cli.hpp"

namespace smdsession {

// Every path-like option of `opts` made absolute against the working
// directory ("-", standard input, and empty options stay as they are). The
// one list of such options: a new one is added here.
void make_paths_absolute(smdcli::Options& opts);

// `path` made absolute against the working directory.
std::string absolute_path(const std::string& path);

class IniFolder {
public:
    IniFolder() = default;
    ~IniFolder();  // leaves and removes the folder
    IniFolder(const IniFolder&) = delete;
    IniFolder& operator=(const IniFolder&) = delete;

    // Makes the folder for `dir` (absolute) and enters it. Returns 0, or the
    // exit status after printing why: 2 when `dir` is not a folder, 1 when
    // the temporary folder cannot be made or entered.
    int enter(const std::string& dir);

    const std::string& path() const { return path_; }

private:
    std::string path_;      // the temporary folder; empty until entered
    std::string previous_;  // the working directory before
};

}  // namespace smdsession
