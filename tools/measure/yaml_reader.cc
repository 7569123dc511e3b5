#include "measure/yaml_reader.h"

#include <cmath>
#include <sstream>
#include <utility>
#include <vector>

#include "measure/camera_fields.h"
#include "measure/input_error.h"

namespace measure {

namespace {

// One scalar of the YAML subset: quoted text, a number (with .nan and .inf), or plain text.
Json YamlScalar(const std::string& raw) {
    std::string text = raw;
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t\r");
    text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front()) {
        return text.substr(1, text.size() - 2);
    }
    if (text == ".nan" || text == ".NaN" || text == ".NAN") {
        return std::nan("");
    }
    if (text == ".inf" || text == ".Inf" || text == "+.inf") {
        return HUGE_VAL;
    }
    if (text == "-.inf" || text == "-.Inf") {
        return -HUGE_VAL;
    }
    double value = 0.0;
    if (ParseDouble(text, value)) {
        return value;
    }
    return text;
}

std::string StripComment(const std::string& line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        }
        if (line[i] == '#' && !quoted && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
            return line.substr(0, i);
        }
    }
    return line;
}

}  // namespace

Json ParseOpenCvYaml(const std::string& text, const std::string& file) {
    std::vector<std::pair<int, std::string>> lines;  // (line number, text) of meaningful lines
    {
        std::istringstream stream(text);
        std::string line;
        for (int number = 1; std::getline(stream, line); ++number) {
            line = StripComment(line);
            if (IsBlank(line) || line.compare(0, 1, "%") == 0 || line.compare(0, 3, "---") == 0 ||
                line.compare(0, 3, "...") == 0) {
                continue;
            }
            if (line.find('\t') != std::string::npos) {
                throw InputError(
                    file, "line " + std::to_string(number), "tabs are not allowed in YAML");
            }
            lines.emplace_back(number, line);
        }
    }
    Json document = Json::object();
    std::size_t i = 0;
    // Reads "key: value" at lines[i]; a value "[" may continue over further lines up to "]".
    const auto readEntry =
        [&](std::size_t indent, std::string& key, std::string& value, int& number) {
            number = lines[i].first;
            const std::string& line = lines[i].second;
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos || colon <= indent) {
                throw InputError(file, "line " + std::to_string(number), "expected \"key: value\"");
            }
            key = line.substr(indent, colon - indent);
            value = line.substr(colon + 1);
            ++i;
            if (value.find('[') != std::string::npos) {
                while (value.find(']') == std::string::npos) {
                    if (i == lines.size()) {
                        throw InputError(file,
                                         "line " + std::to_string(number),
                                         "the list opened here is not closed");
                    }
                    value += " " + lines[i].second;
                    ++i;
                }
            }
        };
    const auto toJson = [&](const std::string& raw, int number) -> Json {
        const std::size_t open = raw.find('[');
        if (open == std::string::npos) {
            return YamlScalar(raw);
        }
        const std::size_t close = raw.rfind(']');
        if (raw.find_first_not_of(" \t") != open ||
            raw.find_first_not_of(" \t\r", close + 1) != std::string::npos) {
            throw InputError(
                file, "line " + std::to_string(number), "unexpected text around a list");
        }
        Json list = Json::array();
        std::istringstream items(raw.substr(open + 1, close - open - 1));
        std::string item;
        while (std::getline(items, item, ',')) {
            if (!IsBlank(item)) {
                list.push_back(YamlScalar(item));
            }
        }
        return list;
    };
    while (i < lines.size()) {
        const std::size_t indent = lines[i].second.find_first_not_of(' ');
        if (indent != 0) {
            throw InputError(
                file, "line " + std::to_string(lines[i].first), "unexpected indentation");
        }
        std::string key;
        std::string value;
        int number = 0;
        readEntry(0, key, value, number);
        const std::size_t start = value.find_first_not_of(" ");
        const bool tagged = start != std::string::npos && value.compare(start, 2, "!!") == 0;
        if (start == std::string::npos || tagged) {
            // A block mapping: the following, more indented lines.
            Json block = Json::object();
            while (i < lines.size() && lines[i].second.find_first_not_of(' ') > 0) {
                const std::size_t childIndent = lines[i].second.find_first_not_of(' ');
                std::string childKey;
                std::string childValue;
                int childNumber = 0;
                readEntry(childIndent, childKey, childValue, childNumber);
                if (IsBlank(childValue)) {
                    throw InputError(file,
                                     "line " + std::to_string(childNumber),
                                     "nesting deeper than one level is not supported");
                }
                block[childKey] = toJson(childValue, childNumber);
            }
            document[key] = block;
        } else {
            document[key] = toJson(value, number);
        }
    }
    return document;
}

}  // namespace measure
