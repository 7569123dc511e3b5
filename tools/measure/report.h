#pragma once

#include <ostream>

#include "measure/json_node.h"
#include "measure/measurement.h"
#include "measure/scene.h"

namespace measure {

// The readable report: cameras, warnings, and per shape its parameters, its residual in each
// camera where it was picked, its error against the truth where one is given, or why it failed.
void WriteTextReport(std::ostream& out, const Scene& scene, const Measurement& measurement);

// The same as JSON (the structure is described in docs/scene-format.md).
Json ReportJson(const Scene& scene, const Measurement& measurement);

}  // namespace measure
