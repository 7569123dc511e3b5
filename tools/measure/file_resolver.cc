#include "measure/file_resolver.h"

#include <filesystem>
#include <system_error>

namespace measure {

namespace {

namespace fs = std::filesystem;

// Whether every component of folder starts target (both canonical).
bool IsWithin(const fs::path& folder, const fs::path& target) {
    auto part = target.begin();
    for (const fs::path& component : folder) {
        if (component.empty()) {
            continue;  // a trailing separator
        }
        if (part == target.end() || *part != component) {
            return false;
        }
        ++part;
    }
    return true;
}

}  // namespace

FileResolver::FileResolver(const std::string& folder, bool confined, const std::string& hint)
    : m_folder(folder), m_confined(confined), m_hint(hint) {}

std::string FileResolver::Resolve(const std::string& named, const JsonNode& field) const {
    const fs::path given(named);
    const std::string joined =
        (given.is_absolute() || m_folder.empty()) ? named : m_folder + "/" + named;
    if (!m_confined) {
        return joined;
    }
    const std::string quoted = Json(named).dump();
    const std::string rule = "; a scene may name only files inside its own folder" + m_hint;
    if (given.is_absolute()) {
        field.Fail(quoted + " is an absolute path" + rule);
    }
    for (const fs::path& component : given) {
        if (component == "..") {
            field.Fail(quoted + " goes up with \"..\"" + rule);
        }
    }
    std::error_code error;
    const fs::path folder =
        fs::weakly_canonical(fs::absolute(m_folder.empty() ? "." : m_folder), error);
    fs::path target;
    if (!error) {
        target = fs::weakly_canonical(fs::absolute(joined), error);
    }
    if (error) {
        field.Fail(quoted + " cannot be resolved (" + error.message() + ")" + rule);
    }
    if (!IsWithin(folder, target)) {
        field.Fail(quoted + " leads outside the scene's folder through a link (to " +
                   target.string() + ")" + rule);
    }
    return joined;
}

}  // namespace measure
