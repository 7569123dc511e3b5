#pragma once

#include <string>

#include "measure/measurement.h"

namespace workbench {

// The report as CSV (RFC 4180: CRLF line ends, fields with a comma, quote or line break quoted,
// quotes doubled): a header row, then one row per shape with its name, kind, whether it was
// measured, the reason, and the numbers its kind has (point, direction, ends, length, radius,
// plane coefficients, rms and largest residual over the views in use); empty fields otherwise.
std::string ReportCsv(const measure::Measurement& measurement);

}  // namespace workbench
