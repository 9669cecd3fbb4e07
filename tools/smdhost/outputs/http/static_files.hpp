// Files of an installed folder served read-only: the dashboard's assets, and
// Debian's Chart.js from /usr/share/javascript/chart.js/.
//
// A request path is resolved below the folder only: a path with a ".."
// segment, a hidden segment (".git"), a backslash or a NUL is refused before
// the file system is asked, and a path whose real location (symbolic links
// followed) lies outside the folder's real location is refused after. Only
// regular files are served; a folder means its index.html.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace smdhttp {

class StaticFiles {
public:
    // Throws std::runtime_error naming `folder` when it is not a readable
    // folder. Files above `max_file_bytes` are not served.
    explicit StaticFiles(const std::string& folder, std::size_t max_file_bytes = 16u << 20);

    struct File {
        std::string path;          // real path on disk
        std::string content_type;
        std::string body;
    };

    // The file for `relative`, the decoded URL path below the mount point
    // ("", "index.html", "js/app.js", "sub/"); nullopt when it is refused,
    // missing or unreadable, which a server answers with 404 alike.
    std::optional<File> read(const std::string& relative) const;

    // The real path that `relative` resolves to, under the rules above.
    std::optional<std::string> resolve(const std::string& relative) const;

    const std::string& folder() const { return root_; }

private:
    std::string root_;  // real path, no trailing slash
    std::size_t max_file_bytes_;
};

// Content-Type by file name extension ("text/html; charset=utf-8",
// "text/javascript; charset=utf-8", ...); application/octet-stream for
// anything not listed.
std::string content_type_of(const std::string& path);

}  // namespace smdhttp
