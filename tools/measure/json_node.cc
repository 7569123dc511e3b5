#include "measure/json_node.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <system_error>
#include <vector>

#include "measure/input_error.h"

namespace measure {

namespace {

// A member name as it appears in a path: plain when it is an identifier, quoted otherwise.
std::string PathKey(const std::string& key) {
    bool plain = !key.empty();
    for (const char c : key) {
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        plain = plain && word;
    }
    return plain ? key : Json(key).dump();
}

std::string JoinPath(const std::string& path, const std::string& key) {
    return path.empty() ? PathKey(key) : path + "." + PathKey(key);
}

// Follows the parser through the document to refuse a member name given twice in one object,
// which JSON parsers otherwise resolve silently by keeping one of the two values.
class DuplicateMemberCheck {
  public:
    explicit DuplicateMemberCheck(const std::string& file) : m_file(file) {}

    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
            case Json::parse_event_t::array_start:
                CountElement();
                m_frames.push_back({event == Json::parse_event_t::object_start, {}, "", -1});
                break;
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                m_frames.pop_back();
                break;
            case Json::parse_event_t::key: {
                Frame& frame = m_frames.back();
                frame.key = parsed.get<std::string>();
                if (!frame.keys.insert(frame.key).second) {
                    throw InputError(m_file, Path(), "field given twice in one object");
                }
                break;
            }
            case Json::parse_event_t::value:
                CountElement();
                break;
        }
        return true;
    }

  private:
    struct Frame {
        bool object;
        std::set<std::string> keys;
        std::string key;  // the current member of an object
        int index;        // the current element of an array
    };

    void CountElement() {
        if (!m_frames.empty() && !m_frames.back().object) {
            ++m_frames.back().index;
        }
    }

    std::string Path() const {
        std::string path;
        for (const Frame& frame : m_frames) {
            path = frame.object ? JoinPath(path, frame.key)
                                : path + "[" + std::to_string(frame.index) + "]";
        }
        return path;
    }

    std::string m_file;
    std::vector<Frame> m_frames;
};

}  // namespace

Json ParseJsonText(const std::string& text, const std::string& file) {
    std::size_t stop = 0;
    std::string detail;
    try {
        return Json::parse(text, DuplicateMemberCheck(file));
    } catch (const Json::parse_error& error) {
        stop = error.byte == 0 ? 0 : error.byte - 1;
        detail = error.what();
    } catch (const Json::exception& error) {
        // A number too large for a double ("number overflow parsing '1e999'"): find the token.
        detail = error.what();
        const std::size_t open = detail.find('\'');
        const std::size_t close = detail.rfind('\'');
        if (open != std::string::npos && close > open) {
            const std::size_t at = text.find(detail.substr(open + 1, close - open - 1));
            stop = at == std::string::npos ? 0 : at;
        }
    }
    stop = std::min(stop, text.size());
    int line = 1;
    int column = 1;
    for (std::size_t i = 0; i < stop; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    // The parser's messages start with "[json.exception...] " and, for syntax errors, with
    // "parse error at line 1, column 2: ", which the position above already says.
    const std::size_t tag = detail.find("] ");
    if (tag != std::string::npos) {
        detail = detail.substr(tag + 2);
    }
    if (detail.compare(0, 11, "parse error") == 0) {
        const std::size_t colon = detail.find(": ");
        if (colon != std::string::npos) {
            detail = detail.substr(colon + 2);
        }
    }
    throw InputError(file,
                     "line " + std::to_string(line) + ", column " + std::to_string(column),
                     "malformed JSON: " + detail);
}

std::string ReadTextFile(const std::string& file, std::size_t limit) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (std::filesystem::is_directory(status)) {
        throw InputError(file, "", "is a directory, not a file");
    }
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw InputError(file, "", "is not a regular file (a device, pipe or socket); not read");
    }
    const auto tooLarge = [&]() {
        return InputError(
            file,
            "",
            "is larger than the limit of " + std::to_string(limit >> 20) + " MiB; not read");
    };
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > limit) {
        throw tooLarge();
    }
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        throw InputError(file, "", "cannot be opened for reading");
    }
    std::string text;
    char buffer[65536];
    while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(stream.gcount()));
        if (text.size() > limit) {
            throw tooLarge();
        }
    }
    if (stream.bad()) {
        throw InputError(file, "", "cannot be read");
    }
    return text;
}

JsonNode::JsonNode(const Json& value, const std::string& file, const std::string& path)
    : m_value(&value), m_file(file), m_path(path) {}

void JsonNode::Fail(const std::string& message) const {
    throw InputError(m_file, m_path.empty() ? "top level" : m_path, message);
}

std::string JsonNode::Describe(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "null";
        case Json::value_t::object:
            return "an object";
        case Json::value_t::array:
            return "an array";
        case Json::value_t::string:
            return "a string";
        case Json::value_t::boolean:
            return "a boolean";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned:
        case Json::value_t::number_float:
            return "a number";
        default:
            return "an unexpected value";
    }
}

void JsonNode::RequireObject() const {
    if (!m_value->is_object()) {
        Fail("expected an object, got " + Describe(*m_value));
    }
}

void JsonNode::RequireArray() const {
    if (!m_value->is_array()) {
        Fail("expected an array, got " + Describe(*m_value));
    }
}

bool JsonNode::Has(const std::string& key) const {
    RequireObject();
    return m_value->contains(key);
}

JsonNode JsonNode::Member(const std::string& key) const {
    RequireObject();
    const auto found = m_value->find(key);
    if (found == m_value->end()) {
        Fail("missing required field \"" + key + "\"");
    }
    return JsonNode(*found, m_file, JoinPath(m_path, key));
}

void JsonNode::CheckMembers(std::initializer_list<const char*> allowed) const {
    RequireObject();
    for (auto it = m_value->begin(); it != m_value->end(); ++it) {
        bool known = it.key() == "comment";  // free text is welcome anywhere
        for (const char* name : allowed) {
            known = known || it.key() == name;
        }
        if (!known) {
            std::string names;
            for (const char* name : allowed) {
                names += (names.empty() ? "" : ", ") + std::string(name);
            }
            JsonNode(it.value(), m_file, JoinPath(m_path, it.key()))
                .Fail("unknown field (expected one of: " + names + ", comment)");
        }
    }
}

std::size_t JsonNode::Size() const {
    RequireArray();
    return m_value->size();
}

JsonNode JsonNode::Element(std::size_t index) const {
    RequireArray();
    if (index >= m_value->size()) {
        Fail("has " + std::to_string(m_value->size()) + " elements, element " +
             std::to_string(index) + " is missing");
    }
    return JsonNode((*m_value)[index], m_file, m_path + "[" + std::to_string(index) + "]");
}

std::size_t JsonNode::SizeAtLeast(std::size_t minimum, const char* what) const {
    const std::size_t size = Size();
    if (size == 0) {
        Fail(std::string("empty list: expected at least ") + std::to_string(minimum) + " " + what);
    }
    if (size < minimum) {
        Fail("expected at least " + std::to_string(minimum) + " " + what + ", got " +
             std::to_string(size));
    }
    return size;
}

double JsonNode::Number() const {
    if (!m_value->is_number()) {
        Fail("expected a number, got " + Describe(*m_value));
    }
    const double value = m_value->get<double>();
    if (!std::isfinite(value)) {
        // Only read files can hold these (YAML's .nan and .inf); JSON text has no such number.
        Fail(std::string("is not finite (") +
             (std::isnan(value) ? "NaN"
              : value > 0       ? "infinity"
                                : "-infinity") +
             "): expected a finite number");
    }
    return value;
}

double JsonNode::PositiveNumber() const {
    const double value = Number();
    if (!(value > 0.0)) {
        Fail("must be greater than 0, got " + m_value->dump());
    }
    return value;
}

int JsonNode::PositiveInteger() const {
    const double value = Number();
    if (value != std::floor(value) || value > 1e9) {
        Fail("expected a whole number, got " + m_value->dump());
    }
    if (value <= 0.0) {
        Fail("must be greater than 0, got " + m_value->dump());
    }
    return static_cast<int>(value);
}

std::string JsonNode::String() const {
    if (!m_value->is_string()) {
        Fail("expected a string, got " + Describe(*m_value));
    }
    std::string value = m_value->get<std::string>();
    if (value.empty()) {
        Fail("must not be empty");
    }
    return value;
}

std::array<double, 2> JsonNode::Point2() const {
    if (!m_value->is_array() || m_value->size() != 2) {
        Fail("expected an image point [x, y], got " +
             (m_value->is_array() ? "an array of " + std::to_string(m_value->size()) + " elements"
                                  : Describe(*m_value)));
    }
    return {Element(0).Number(), Element(1).Number()};
}

std::array<double, 3> JsonNode::Vector3() const {
    if (!m_value->is_array() || m_value->size() != 3) {
        Fail("expected three numbers [x, y, z], got " +
             (m_value->is_array() ? "an array of " + std::to_string(m_value->size()) + " elements"
                                  : Describe(*m_value)));
    }
    return {Element(0).Number(), Element(1).Number(), Element(2).Number()};
}

}  // namespace measure
