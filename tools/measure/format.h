#pragma once

#include <string>

namespace measure {

// One number printed with a printf format of a single double ("%.4f"), however long the result
// (%.4f of 2e299 has 305 characters).
std::string FormatNumber(const char* format, double value);

// Text as it may be shown on a terminal or in XML: every control character (below 0x20, and
// 0x7f) becomes \xNN, so that a name cannot move the cursor, clear the screen or break a line.
// Everything else, UTF-8 included, is kept; text without control characters comes back unchanged.
std::string Printable(const std::string& text);

}  // namespace measure
