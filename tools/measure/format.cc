#include "measure/format.h"

#include <cstdio>

namespace measure {

std::string FormatNumber(const char* format, double value) {
    const int length = std::snprintf(nullptr, 0, format, value);
    if (length <= 0) {
        return std::string();
    }
    std::string printed(static_cast<std::size_t>(length), '\0');
    // The terminating '\0' goes into the string's own terminator.
    std::snprintf(printed.data(), printed.size() + 1, format, value);
    return printed;
}

std::string Printable(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const unsigned char code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7f) {
            printable += "\\x";
            printable += kHex[code >> 4];
            printable += kHex[code & 0xf];
        } else {
            printable += c;
        }
    }
    return printable;
}

}  // namespace measure
