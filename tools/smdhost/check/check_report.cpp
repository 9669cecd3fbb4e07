#include "tools/smdhost/check/check_report.hpp"

#include <sstream>

#include <json/value.h>
#include <json/writer.h>

namespace smdcheck {

void Writer::add(const Finding& f, const std::string& indent) {
    const bool error = f.severity == Finding::Severity::error;
    ++(error ? r_.errors : r_.warnings);
    r_.findings.push_back(f);
    r_.text += indent + (error ? "error: " : "warning: ") + f.message + "\n";
}

void Writer::warn(const std::string& message, const std::string& indent) {
    Finding f;
    f.message = message;
    add(f, indent);
}

void Writer::error(const std::string& message, const std::string& indent) {
    Finding f;
    f.severity = Finding::Severity::error;
    f.message = message;
    add(f, indent);
}

void Writer::absorb(const Report& sub, const std::string& indent) {
    std::istringstream lines(sub.text);
    for (std::string s; std::getline(lines, s);) r_.text += indent + s + "\n";
    r_.findings.insert(r_.findings.end(), sub.findings.begin(), sub.findings.end());
    r_.errors += sub.errors;
    r_.warnings += sub.warnings;
}

bool passed(const Report& r, bool strict) {
    return r.errors == 0 && (!strict || r.warnings == 0);
}

std::string report_text(const Report& r, bool strict) {
    std::string s = r.text + std::to_string(r.errors) + (r.errors == 1 ? " error, " : " errors, ") +
                    std::to_string(r.warnings) + (r.warnings == 1 ? " warning" : " warnings");
    if (strict && r.warnings != 0) s += " (--strict: warnings fail the check)";
    return s + "\n";
}

std::string report_json(const Report& r, bool strict) {
    Json::Value doc(Json::objectValue);
    doc["config"] = r.config;
    if (r.address >= 0) doc["address"] = r.address;
    doc["data_id"] = r.data_id;
    doc["mode"] = r.mode;
    doc["errors"] = r.errors;
    doc["warnings"] = r.warnings;
    doc["passed"] = passed(r, strict);
    Json::Value& findings = doc["findings"] = Json::Value(Json::arrayValue);
    for (const Finding& f : r.findings) {
        Json::Value j(Json::objectValue);
        j["severity"] = f.severity == Finding::Severity::error ? "error" : "warning";
        j["message"] = f.message;
        if (!f.file.empty()) j["file"] = f.file;
        if (f.line != 0) j["line"] = f.line;
        if (!f.member.empty()) j["member"] = f.member;
        if (!f.id.empty()) j["id"] = f.id;
        if (!f.suggestion.empty()) j["suggestion"] = f.suggestion;
        findings.append(j);
    }
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;
    return Json::writeString(b, doc) + "\n";
}

}  // namespace smdcheck
