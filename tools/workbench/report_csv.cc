#include "workbench/report_csv.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "measure/json_node.h"

namespace workbench {

namespace {

using measure::ShapeKind;
using measure::ShapeResult;
using measure::Vec3;

// Columns after name, kind, ok and reason.
constexpr const char* kColumns[] = {"x",
                                    "y",
                                    "z",
                                    "dx",
                                    "dy",
                                    "dz",
                                    "start_x",
                                    "start_y",
                                    "start_z",
                                    "end_x",
                                    "end_y",
                                    "end_z",
                                    "length",
                                    "radius",
                                    "plane_a",
                                    "plane_b",
                                    "plane_c",
                                    "plane_d",
                                    "rms_residual_px",
                                    "max_residual_px"};
constexpr std::size_t kColumnCount = sizeof(kColumns) / sizeof(kColumns[0]);

std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

// The shortest text that reads back to value; "" when it is not finite.
std::string Number(double value) {
    return std::isfinite(value) ? measure::Json(value).dump() : "";
}

void Put(std::vector<std::string>& row, std::size_t column, const Vec3& value) {
    for (std::size_t i = 0; i < 3; ++i) {
        row[column + i] = Number(value[i]);
    }
}

std::vector<std::string> Numbers(const ShapeResult& result) {
    std::vector<std::string> row(kColumnCount);
    if (result.ok) {
        switch (result.kind) {
            case ShapeKind::kPoint:
                Put(row, 0, result.point);
                break;
            case ShapeKind::kLine:
                Put(row, 0, result.point);
                Put(row, 3, result.direction);
                break;
            case ShapeKind::kCylinder:
                row[13] = Number(result.radius);
                [[fallthrough]];
            case ShapeKind::kSegment:
                Put(row, 3, result.direction);
                Put(row, 6, result.start);
                Put(row, 9, result.end);
                row[12] = Number(result.length);
                break;
            case ShapeKind::kPlane:
                for (std::size_t i = 0; i < 4; ++i) {
                    row[14 + i] = Number(result.plane[i]);
                }
                break;
            case ShapeKind::kCurve:
                break;
        }
    }
    double sum = 0.0;
    double largest = 0.0;
    std::size_t count = 0;
    for (const measure::Residual& residual : result.residuals) {
        const bool leftOut =
            std::find(result.leftOut.begin(), result.leftOut.end(), residual.camera) !=
            result.leftOut.end();
        if (residual.ok && !leftOut && std::isfinite(residual.pixels)) {
            sum += residual.pixels * residual.pixels;
            largest = std::max(largest, residual.pixels);
            ++count;
        }
    }
    if (count > 0) {
        row[18] = Number(std::sqrt(sum / static_cast<double>(count)));
        row[19] = Number(largest);
    }
    return row;
}

}  // namespace

std::string ReportCsv(const measure::Measurement& measurement) {
    std::string csv = "name,kind,ok,reason";
    for (const char* column : kColumns) {
        csv += std::string(",") + column;
    }
    csv += "\r\n";
    for (const ShapeResult& result : measurement.shapes) {
        csv += Field(result.name) + "," + measure::KindName(result.kind) + "," +
               (result.ok ? "true" : "false") + "," + Field(result.ok ? "" : result.reason);
        for (const std::string& value : Numbers(result)) {
            csv += "," + value;
        }
        csv += "\r\n";
    }
    return csv;
}

}  // namespace workbench
