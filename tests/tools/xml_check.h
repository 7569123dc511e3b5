#pragma once

// A small well-formedness check for the XML the tool writes: one root element, properly nested
// and closed tags, quoted attributes without duplicates, known entities only, no stray '<' or
// '&'. Enough to catch a broken SVG writer; not a validating parser.

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

struct SXmlCheck {
    bool wellFormed = false;
    std::string problem;   // the first fault found
    std::string rootName;  // e.g. "svg"
    std::map<std::string, std::string> rootAttributes;
    std::map<std::string, int> elementCounts;  // elements by name
};

inline SXmlCheck CheckXml(const std::string& text) {
    SXmlCheck result;
    std::vector<std::string> open;
    std::size_t i = 0;
    bool rootClosed = false;
    const auto fail = [&](const std::string& problem) {
        result.problem = problem + " at byte " + std::to_string(i);
        return result;
    };
    const auto isNameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == ':' ||
               c == '.';
    };
    const auto checkText = [&](const std::string& chunk) {
        for (std::size_t at = chunk.find('&'); at != std::string::npos;
             at = chunk.find('&', at + 1)) {
            const std::size_t end = chunk.find(';', at);
            if (end == std::string::npos) {
                return false;
            }
            static const std::set<std::string> entities = {"amp", "lt", "gt", "quot", "apos"};
            const std::string name = chunk.substr(at + 1, end - at - 1);
            if (entities.count(name) == 0 && !(name.size() > 1 && name[0] == '#')) {
                return false;
            }
        }
        return chunk.find('<') == std::string::npos;
    };
    if (text.compare(0, 5, "<?xml") == 0) {
        i = text.find("?>");
        if (i == std::string::npos) {
            return fail("unterminated XML declaration");
        }
        i += 2;
    }
    while (i < text.size()) {
        const std::size_t lt = text.find('<', i);
        const std::string between =
            text.substr(i, lt == std::string::npos ? std::string::npos : lt - i);
        if (!checkText(between)) {
            return fail("bad character data");
        }
        if ((open.empty()) && between.find_first_not_of(" \t\r\n") != std::string::npos) {
            return fail("text outside the root element");
        }
        if (lt == std::string::npos) {
            break;
        }
        i = lt;
        if (text.compare(i, 4, "<!--") == 0) {
            const std::size_t end = text.find("-->", i);
            if (end == std::string::npos) {
                return fail("unterminated comment");
            }
            i = end + 3;
            continue;
        }
        const bool closing = text.compare(i, 2, "</") == 0;
        std::size_t at = i + (closing ? 2 : 1);
        std::string name;
        while (at < text.size() && isNameChar(text[at])) {
            name += text[at++];
        }
        if (name.empty()) {
            return fail("tag without a name");
        }
        if (closing) {
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
                ++at;
            }
            if (at >= text.size() || text[at] != '>') {
                return fail("bad closing tag");
            }
            if (open.empty() || open.back() != name) {
                return fail("closing tag </" + name + "> does not match");
            }
            open.pop_back();
            rootClosed = open.empty();
            i = at + 1;
            continue;
        }
        if (rootClosed || (open.empty() && !result.rootName.empty())) {
            return fail("a second root element");
        }
        std::map<std::string, std::string> attributes;
        while (true) {
            while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
                ++at;
            }
            if (at >= text.size()) {
                return fail("unterminated tag <" + name + ">");
            }
            if (text[at] == '>' || text.compare(at, 2, "/>") == 0) {
                break;
            }
            std::string key;
            while (at < text.size() && isNameChar(text[at])) {
                key += text[at++];
            }
            if (key.empty() || at + 1 >= text.size() || text[at] != '=' ||
                (text[at + 1] != '"' && text[at + 1] != '\'')) {
                return fail("bad attribute in <" + name + ">");
            }
            const char quote = text[at + 1];
            const std::size_t end = text.find(quote, at + 2);
            if (end == std::string::npos) {
                return fail("unterminated attribute value");
            }
            const std::string value = text.substr(at + 2, end - at - 2);
            if (!checkText(value) || !attributes.emplace(key, value).second) {
                return fail("bad or repeated attribute " + key);
            }
            at = end + 1;
        }
        if (result.rootName.empty()) {
            result.rootName = name;
            result.rootAttributes = attributes;
        }
        ++result.elementCounts[name];
        if (text[at] == '>') {
            open.push_back(name);
            i = at + 1;
        } else {
            rootClosed = open.empty();
            i = at + 2;
        }
    }
    if (!open.empty()) {
        return fail("<" + open.back() + "> is not closed");
    }
    if (result.rootName.empty()) {
        return fail("no root element");
    }
    result.wellFormed = true;
    return result;
}
