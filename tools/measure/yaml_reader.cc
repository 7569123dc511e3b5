#include "measure/yaml_reader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "measure/camera_fields.h"
#include "measure/input_error.h"
#include <yaml.h>

namespace measure {

namespace {

// Nesting deeper than this is refused: OpenCV's files nest two or three levels.
constexpr std::size_t kMaxDepth = 64;

// A plain scalar: a number (with YAML's .nan and .inf in any case) or text.
Json PlainScalar(const std::string& text) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) {
        return static_cast<char>(std::tolower(c));
    });
    if (lower == ".nan") {
        return std::nan("");
    }
    if (lower == ".inf" || lower == "+.inf") {
        return HUGE_VAL;
    }
    if (lower == "-.inf") {
        return -HUGE_VAL;
    }
    double value = 0.0;
    if (ParseDouble(text, value)) {
        return value;
    }
    return text;
}

std::string Where(const yaml_mark_t& mark) {
    return "line " + std::to_string(mark.line + 1) + ", column " + std::to_string(mark.column + 1);
}

// The parser and its current event, released on every path.
class YamlEvents {
  public:
    YamlEvents(const std::string& text, const std::string& file) : m_file(file) {
        yaml_parser_initialize(&m_parser);
        yaml_parser_set_input_string(
            &m_parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    ~YamlEvents() {
        Release();
        yaml_parser_delete(&m_parser);
    }
    YamlEvents(const YamlEvents&) = delete;
    YamlEvents& operator=(const YamlEvents&) = delete;

    // The next event; throws InputError at the parser's mark when the text is malformed.
    const yaml_event_t& Next() {
        Release();
        if (!yaml_parser_parse(&m_parser, &m_event)) {
            std::string problem = m_parser.problem ? m_parser.problem : "unknown problem";
            if (m_parser.context) {
                problem = std::string(m_parser.context) + ", " + problem;
            }
            throw InputError(m_file, Where(m_parser.problem_mark), "malformed YAML: " + problem);
        }
        m_held = true;
        return m_event;
    }

  private:
    void Release() {
        if (m_held) {
            yaml_event_delete(&m_event);
            m_held = false;
        }
    }

    yaml_parser_t m_parser;
    yaml_event_t m_event;
    bool m_held = false;
    const std::string& m_file;
};

// A mapping or sequence being read, with the key whose value comes next.
struct Frame {
    Json value;
    std::string key;
    bool haveKey = false;
};

}  // namespace

Json ParseOpenCvYaml(const std::string& text, const std::string& file) {
    // "%YAML:1.0" is no YAML directive (libyaml would refuse even "%YAML 1.0" as incompatible):
    // the line is blanked, so that line numbers stay those of the file.
    std::string input = text;
    if (input.compare(0, 6, "%YAML:") == 0) {
        std::fill(input.begin(), input.begin() + std::min(input.find('\n'), input.size()), ' ');
    }
    YamlEvents events(input, file);
    std::vector<Frame> stack;
    Json root;
    bool haveRoot = false;
    // Puts a finished value where it belongs: under the pending key, at the end of a sequence, or
    // as the document.
    const auto place = [&](Json value, const yaml_mark_t& mark) {
        if (stack.empty()) {
            root = std::move(value);
            haveRoot = true;
            return;
        }
        Frame& top = stack.back();
        if (top.value.is_array()) {
            top.value.push_back(std::move(value));
        } else if (!top.haveKey) {
            throw InputError(file, Where(mark), "a mapping key must be a plain scalar");
        } else {
            top.value[top.key] = std::move(value);
            top.haveKey = false;
        }
    };
    for (;;) {
        const yaml_event_t& event = events.Next();
        switch (event.type) {
            case YAML_STREAM_END_EVENT:
                return haveRoot ? root : Json::object();
            case YAML_DOCUMENT_START_EVENT:
                if (haveRoot) {
                    throw InputError(file, Where(event.start_mark), "a second YAML document");
                }
                break;
            case YAML_ALIAS_EVENT:
                throw InputError(
                    file, Where(event.start_mark), "anchors and aliases are not supported");
            case YAML_SCALAR_EVENT: {
                const std::string value(reinterpret_cast<const char*>(event.data.scalar.value),
                                        event.data.scalar.length);
                if (!stack.empty() && stack.back().value.is_object() && !stack.back().haveKey) {
                    Frame& top = stack.back();
                    if (top.value.contains(value)) {
                        throw InputError(file,
                                         Where(event.start_mark),
                                         Json(value).dump() + " given twice in one mapping");
                    }
                    top.key = value;
                    top.haveKey = true;
                } else {
                    place(event.data.scalar.style == YAML_PLAIN_SCALAR_STYLE ? PlainScalar(value)
                                                                             : Json(value),
                          event.start_mark);
                }
                break;
            }
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT:
                if (!stack.empty() && stack.back().value.is_object() && !stack.back().haveKey) {
                    throw InputError(
                        file, Where(event.start_mark), "a mapping key must be a plain scalar");
                }
                if (stack.size() == kMaxDepth) {
                    throw InputError(file,
                                     Where(event.start_mark),
                                     "nesting deeper than " + std::to_string(kMaxDepth) +
                                         " levels is not supported");
                }
                stack.emplace_back();
                stack.back().value =
                    event.type == YAML_MAPPING_START_EVENT ? Json::object() : Json::array();
                break;
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT: {
                Json value = std::move(stack.back().value);
                stack.pop_back();
                place(std::move(value), event.start_mark);
                break;
            }
            default:
                break;  // stream start, document end
        }
    }
}

}  // namespace measure
