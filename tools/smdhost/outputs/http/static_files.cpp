#include "tools/smdhost/outputs/http/static_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace smdhttp {
namespace {

std::optional<std::string> real_path(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf) == nullptr) return std::nullopt;
    return std::string(buf);
}

bool is_dir(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The path's segments pass the checks that need no file system.
bool plain_relative(const std::string& relative) {
    if (relative.find('\0') != std::string::npos || relative.find('\\') != std::string::npos) return false;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string seg = relative.substr(start, end - start);
        if (seg.empty() || seg[0] == '.') return false;  // "a//b", "..", ".", ".hidden"
        start = end + 1;
    }
    return true;
}

}  // namespace

std::string content_type_of(const std::string& path) {
    struct Type {
        const char* ext;
        const char* type;
    };
    static const Type kTypes[] = {
        {".html", "text/html; charset=utf-8"},  {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},          {".map", "application/json"},
        {".svg", "image/svg+xml"},              {".png", "image/png"},
        {".ico", "image/vnd.microsoft.icon"},   {".txt", "text/plain; charset=utf-8"},
        {".woff2", "font/woff2"},
    };
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        const std::string ext = path.substr(dot);
        for (const Type& t : kTypes)
            if (ext == t.ext) return t.type;
    }
    return "application/octet-stream";
}

StaticFiles::StaticFiles(const std::string& folder, std::size_t max_file_bytes)
    : max_file_bytes_(max_file_bytes) {
    const auto real = real_path(folder);
    if (!real || !is_dir(*real) || ::access(real->c_str(), R_OK | X_OK) != 0)
        throw std::runtime_error("static files: '" + folder + "' is not a readable folder");
    root_ = *real;
}

std::optional<std::string> StaticFiles::resolve(const std::string& relative) const {
    std::string rel = relative;
    while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
    if (!plain_relative(rel)) return std::nullopt;
    std::string candidate = root_ + "/" + rel;
    if (rel.empty() || rel.back() == '/' || is_dir(candidate)) {
        if (!candidate.empty() && candidate.back() != '/') candidate += '/';
        candidate += "index.html";
    }
    const auto real = real_path(candidate);
    if (!real) return std::nullopt;
    if (real->compare(0, root_.size() + 1, root_ + "/") != 0) return std::nullopt;  // escaped by a link
    struct stat st;
    if (::stat(real->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return real;
}

std::optional<StaticFiles::File> StaticFiles::read(const std::string& relative) const {
    const auto path = resolve(relative);
    if (!path) return std::nullopt;
    const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    File f;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<unsigned long long>(st.st_size) <= max_file_bytes_;
    if (ok) {
        f.body.resize(static_cast<std::size_t>(st.st_size));
        std::size_t got = 0;
        while (ok && got < f.body.size()) {
            const ssize_t n = ::read(fd, &f.body[got], f.body.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!ok) return std::nullopt;
    f.path = *path;
    f.content_type = content_type_of(*path);
    return f;
}

}  // namespace smdhttp
