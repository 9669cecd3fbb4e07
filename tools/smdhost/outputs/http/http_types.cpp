#include "tools/smdhost/outputs/http/http_types.hpp"

namespace smdhttp {

std::string HttpRequest::param(const std::string& name, const std::string& fallback) const {
    const auto it = params.find(name);
    return it == params.end() ? fallback : it->second;
}

HttpReply HttpReply::text(std::string body, int status) {
    HttpReply r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

HttpReply HttpReply::json(std::string body, int status) {
    HttpReply r;
    r.status = status;
    r.content_type = "application/json";
    r.body = std::move(body);
    return r;
}

HttpReply HttpReply::error(int status, const std::string& message) { return text(message + "\n", status); }

}  // namespace smdhttp
