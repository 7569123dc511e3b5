#pragma once

// A small well-formedness check for the XML the tool writes: one root element, properly nested
// and closed tags, quoted attributes without duplicates, known entities only, no stray '<' or
// '&'. Enough to catch a broken SVG writer; not a validating parser.

#include <map>
#include <regex>
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
    // A tag (closing mark, name, attributes, self-closing mark), or a declaration or a comment.
    static const std::regex tag(
        R"(<(/?)([A-Za-z_][\w:.-]*)((?:\s+[\w:.-]+="[^"]*")*)\s*(/?)>|<\?xml[^>]*\?>|<!--(?:[^-]|-[^-])*-->)");
    static const std::regex attribute(R"re(([\w:.-]+)="([^"]*)")re");
    static const std::regex strayAmpersand(R"(&(?!(?:amp|lt|gt|quot|apos|#[0-9]+);))");
    SXmlCheck result;
    std::vector<std::string> open;
    std::size_t at = 0;
    const auto fail = [&](const std::string& problem) {
        result.problem = problem + " at byte " + std::to_string(at);
        return result;
    };
    const auto badText = [&](const std::string& chunk) {
        return chunk.find('<') != std::string::npos || std::regex_search(chunk, strayAmpersand);
    };
    const std::sregex_iterator end;
    for (std::sregex_iterator it(text.begin(), text.end(), tag);; ++it) {
        const std::size_t next = it == end ? text.size() : static_cast<std::size_t>(it->position());
        const std::string between = text.substr(at, next - at);
        if (badText(between) ||
            (open.empty() && between.find_first_not_of(" \t\r\n") != std::string::npos)) {
            return fail("bad character data or text outside the root element");
        }
        if (it == end) {
            break;
        }
        const std::smatch& match = *it;
        at = next + static_cast<std::size_t>(match.length());
        const std::string name = match[2];
        if (name.empty()) {
            continue;  // the declaration or a comment
        }
        if (match[1].length() != 0) {
            if (match[3].length() != 0 || match[4].length() != 0 || open.empty() ||
                open.back() != name) {
                return fail("closing tag </" + name + "> does not match");
            }
            open.pop_back();
            continue;
        }
        if (open.empty() && !result.rootName.empty()) {
            return fail("a second root element");
        }
        std::map<std::string, std::string> attributes;
        const std::string list = match[3];
        for (std::sregex_iterator a(list.begin(), list.end(), attribute); a != end; ++a) {
            if (badText((*a)[2]) || !attributes.emplace((*a)[1], (*a)[2]).second) {
                return fail("bad or repeated attribute " + (*a)[1].str());
            }
        }
        if (result.rootName.empty()) {
            result.rootName = name;
            result.rootAttributes = attributes;
        }
        ++result.elementCounts[name];
        if (match[4].length() == 0) {
            open.push_back(name);
        }
    }
    if (!open.empty() || result.rootName.empty()) {
        return fail(open.empty() ? "no root element" : "<" + open.back() + "> is not closed");
    }
    result.wellFormed = true;
    return result;
}
