#include "measure/report.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "measure/format.h"

namespace measure {

namespace {

std::string Format(const char* format, double value) {
    const std::string printed = FormatNumber(format, value);
    // No "-0.0000" for a value that rounds to zero.
    if (printed[0] == '-' && printed.find_first_of("123456789") == std::string::npos) {
        return printed.substr(1);
    }
    return printed;
}

Vec3 FromVector(const C3DVector& v) {
    return {v.GetData(0), v.GetData(1), v.GetData(2)};
}

std::string Point3(const Vec3& v) {
    return "(" + Format("%.4f", v[0]) + ", " + Format("%.4f", v[1]) + ", " + Format("%.4f", v[2]) +
           ")";
}

// A length in scene units; in metres also in millimetres, the size of typical errors.
std::string Length(double value, const std::string& units) {
    std::string text = Format("%.4f", value) + " " + units;
    if (units == "m") {
        text += " (" + Format("%.1f", value * 1000.0) + " mm)";
    }
    return text;
}

std::string ErrorText(const TruthError& error, const std::string& units) {
    if (error.unit == units) {
        return error.quantity + " " + Length(error.value, units);
    }
    return error.quantity + " " + Format("%.3g", error.value) + " " + error.unit;
}

void Line(std::ostream& out, const std::string& label, const std::string& text) {
    std::string padded = "    " + label;
    padded.resize(std::max<std::size_t>(padded.size() + 1, 20), ' ');
    out << padded << Printable(text) << "\n";
}

std::string Title(const Scene& scene, const ShapeInput& shape) {
    std::string title = std::string(KindName(shape.kind));
    const bool median = shape.extent == Extent::kMedian;
    if (shape.kind == ShapeKind::kCylinder) {
        title += std::string(shape.tangentPlanes ? " (tangent planes" : " (centre lines") +
                 (median ? ", median ends)" : ")");
    } else if (shape.kind == ShapeKind::kSegment && median) {
        title += " (median ends)";
    }
    if (shape.kind == ShapeKind::kCurve) {
        title += " in " + scene.cameras[shape.curveCamera].id;
    }
    return title;
}

// "0.00012 x - 0.00003 y + 1.00000 z - 0.00017 = 0"
std::string PlaneEquation(const std::array<double, 4>& plane) {
    const char* names[4] = {" x", " y", " z", ""};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const std::string value = Format("%.5f", plane[i]);
        const bool negative = value[0] == '-';
        if (i == 0) {
            text = value;
        } else {
            text += (negative ? " - " : " + ") + (negative ? value.substr(1) : value);
        }
        text += names[i];
    }
    return text + " = 0";
}

// How far the views' ends spread, and which cameras set the union's ends.
std::string EndSpreadText(const Scene& scene, const ShapeResult& result) {
    return "start " + Length(result.ends[0].spread, scene.units) + ", end " +
           Length(result.ends[1].spread, scene.units) + "; union's ends from " +
           scene.cameras[result.ends[0].unionCamera].id + ", " +
           scene.cameras[result.ends[1].unionCamera].id;
}

// The same in the JSON report's result.
void AddEndSpreads(const Scene& scene,
                   const ShapeInput& shape,
                   const ShapeResult& result,
                   Json& values) {
    values["extent"] = shape.extent == Extent::kMedian ? "median" : "union";
    values["end_spread"] = Json::array({result.ends[0].spread, result.ends[1].spread});
    values["union_end_cameras"] = Json::array({scene.cameras[result.ends[0].unionCamera].id,
                                               scene.cameras[result.ends[1].unionCamera].id});
}

bool IsLeftOut(const ShapeResult& result, std::size_t camera) {
    return std::find(result.leftOut.begin(), result.leftOut.end(), camera) != result.leftOut.end();
}

// The cameras left out of the shape, by id, in the order left out.
Json LeftOutIds(const Scene& scene, const ShapeResult& result) {
    Json ids = Json::array();
    for (const std::size_t camera : result.leftOut) {
        ids.push_back(scene.cameras[camera].id);
    }
    return ids;
}

Json Array3(const Vec3& v) {
    return Json::array({v[0], v[1], v[2]});
}

// "view_1" or, for a cylinder's edge, "view_1 edge 2" (edges counted from 1 as read).
std::string SnapPlace(const Scene& scene, const PickSnap& snap) {
    const std::string& id = scene.cameras[snap.camera].id;
    return snap.edge < 0 ? id : id + " edge " + std::to_string(snap.edge + 1);
}

// The refined picks: how far each moved and the support; the refused ones on lines of their own.
void WriteSnaps(std::ostream& out, const Scene& scene, const ShapeResult& result) {
    std::string moved;
    for (const PickSnap& snap : result.snaps) {
        if (!snap.snap.ok) {
            continue;
        }
        std::string movements;
        for (const double movement : snap.snap.movements) {
            movements += (movements.empty() ? "" : " / ") + Format("%.2f", movement);
        }
        moved += (moved.empty() ? "" : ", ") + SnapPlace(scene, snap) + " " + movements +
                 " px (support " + Format("%.2f", snap.snap.support) + ")";
    }
    if (!moved.empty()) {
        Line(out, "refined", moved);
    }
    for (const PickSnap& snap : result.snaps) {
        if (!snap.snap.ok) {
            Line(out,
                 "not refined",
                 SnapPlace(scene, snap) + ": " + snap.snap.reason + " (as clicked)");
        }
    }
}

// The same in the JSON report, one entry per refined pick as /api/snap answers.
Json SnapsJson(const Scene& scene, const ShapeResult& result) {
    Json snaps = Json::array();
    for (const PickSnap& snap : result.snaps) {
        Json item = {{"camera", scene.cameras[snap.camera].id}};
        if (snap.edge >= 0) {
            item["edge"] = snap.edge;
        }
        item["ok"] = snap.snap.ok;
        if (!snap.snap.ok) {
            item["reason"] = snap.snap.reason;
            snaps.push_back(item);
            continue;
        }
        Json points = Json::array();
        for (const Vec2& point : snap.snap.points) {
            points.push_back({point.x, point.y});
        }
        const bool corner = points.size() == 1;
        item[corner ? "point" : "segment"] = corner ? points[0] : points;
        item["movement"] = corner ? Json(snap.snap.movements[0]) : Json(snap.snap.movements);
        item["support"] = snap.snap.support;
        snaps.push_back(item);
    }
    return snaps;
}

}  // namespace

void WriteTextReport(std::ostream& out, const Scene& scene, const Measurement& measurement) {
    out << "polyview-measure: " << Printable(scene.file) << "\n"
        << scene.cameras.size() << " cameras, " << scene.shapes.size() << " shapes, lengths in "
        << Printable(scene.units) << ", residuals in pixels\n\n";

    out << "Cameras\n";
    for (const Camera& camera : scene.cameras) {
        const CCamera& calibration = camera.calibration;
        out << "  " << Printable(camera.id) << ": " << calibration.GetWidth() << " x "
            << calibration.GetHeight() << ", f "
            << Format("%.2f",
                      calibration.GetCameraParam().GetIntrinsicParam().GetFocalLengthParam())
            << ", centre " << Point3(FromVector(calibration.GetCentre())) << " (from "
            << Printable(camera.origin) << ")\n";
    }
    if (!scene.warnings.empty()) {
        out << "\nWarnings\n";
        for (const std::string& warning : scene.warnings) {
            out << "  " << Printable(warning) << "\n";
        }
    }

    out << "\nShapes\n";
    if (scene.shapes.empty()) {
        out << "  none: the scene has no shapes yet\n";
    }
    std::size_t measured = 0;
    double worst = -1.0;
    std::string worstWhere;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        const ShapeInput& shape = scene.shapes[i];
        const ShapeResult& result = measurement.shapes[i];
        out << "  " << Printable(shape.name) << ": " << Printable(Title(scene, shape)) << ", "
            << (result.ok ? "measured" : "NOT MEASURED") << "\n";
        if (!result.ok) {
            Line(out, "reason", result.reason);
        }
        for (const std::string& note : result.notes) {
            Line(out, "note", note);
        }
        WriteSnaps(out, scene, result);
        if (!result.ok) {
            continue;
        }
        ++measured;
        switch (shape.kind) {
            case ShapeKind::kPoint:
                Line(out, "point", Point3(result.point));
                break;
            case ShapeKind::kLine:
                Line(out, "direction", Point3(result.direction));
                Line(out, "nearest origin", Point3(result.point));
                Line(out, "distance", Length(result.distance, scene.units) + " from the origin");
                break;
            case ShapeKind::kSegment:
                Line(out, "start", Point3(result.start));
                Line(out, "end", Point3(result.end));
                Line(out, "length", Length(result.length, scene.units));
                Line(out, "end spread", EndSpreadText(scene, result));
                break;
            case ShapeKind::kCylinder:
                Line(out, "axis start", Point3(result.start));
                Line(out, "axis end", Point3(result.end));
                Line(out, "radius", Length(result.radius, scene.units));
                Line(out, "length", Length(result.length, scene.units));
                Line(out, "end spread", EndSpreadText(scene, result));
                break;
            case ShapeKind::kPlane:
                Line(out, "plane", PlaneEquation(result.plane));
                Line(out,
                     "fit",
                     std::to_string(result.planePointCount) + " points, rms distance " +
                         Length(result.planeRms, scene.units) + ", largest " +
                         Length(result.planeMaxDistance, scene.units));
                break;
            case ShapeKind::kCurve:
                Line(out,
                     "samples",
                     std::to_string(result.samples.size()) +
                         (shape.interpolate ? " (through the picks)"
                                            : " (near the picks, interval " +
                                                  Format("%g", shape.interval) + " px)"));
                break;
        }
        if (shape.outliers == Outliers::kDrop) {
            std::string text;
            for (const std::size_t camera : result.leftOut) {
                text += (text.empty() ? "" : ", ") + scene.cameras[camera].id;
            }
            Line(out, "left out", text.empty() ? "none" : text);
        }
        if (!result.residuals.empty()) {
            std::string text;
            for (const Residual& residual : result.residuals) {
                const bool leftOut = IsLeftOut(result, residual.camera);
                text += (text.empty() ? "" : ", ") + scene.cameras[residual.camera].id + " " +
                        (residual.ok ? Format("%.2f", residual.pixels)
                                     : "n/a (" + residual.note + ")") +
                        (leftOut ? " (left out)" : "");
                if (residual.ok && !leftOut && residual.pixels > worst) {
                    worst = residual.pixels;
                    worstWhere = shape.name + " in " + scene.cameras[residual.camera].id;
                }
            }
            Line(out, shape.kind == ShapeKind::kCurve ? "picks off curve" : "residual px", text);
        }
        if (!result.truthErrors.empty()) {
            std::string text;
            for (const TruthError& error : result.truthErrors) {
                text += (text.empty() ? "" : ", ") + ErrorText(error, scene.units);
            }
            Line(out, "truth error", text);
        }
    }
    out << "\n" << measured << " of " << scene.shapes.size() << " shapes measured";
    if (worst >= 0.0) {
        out << "; largest residual " << Format("%.2f", worst) << " px (" << Printable(worstWhere)
            << ")";
    }
    out << "\n";
}

Json ReportJson(const Scene& scene, const Measurement& measurement) {
    Json report = Json::object();
    report["scene"] = scene.file;
    report["units"] = scene.units;
    report["warnings"] = scene.warnings;
    Json cameras = Json::array();
    for (const Camera& camera : scene.cameras) {
        const CCamera& calibration = camera.calibration;
        const CIntrinsicParam& pinhole = calibration.GetCameraParam().GetIntrinsicParam();
        const C2DCoordinate principal = pinhole.GetPrincipalPointParam();
        cameras.push_back({{"id", camera.id},
                           {"origin", camera.origin},
                           {"width", calibration.GetWidth()},
                           {"height", calibration.GetHeight()},
                           {"focal_length", pinhole.GetFocalLengthParam()},
                           {"principal_point", {principal.GetData(0), principal.GetData(1)}},
                           {"centre", Array3(FromVector(calibration.GetCentre()))}});
    }
    report["cameras"] = cameras;

    Json shapes = Json::array();
    std::size_t measured = 0;
    for (std::size_t i = 0; i < scene.shapes.size(); ++i) {
        const ShapeInput& shape = scene.shapes[i];
        const ShapeResult& result = measurement.shapes[i];
        Json entry = Json::object();
        entry["name"] = shape.name;
        entry["kind"] = KindName(shape.kind);
        entry["status"] = result.ok ? "measured" : "failed";
        if (!result.ok) {
            entry["reason"] = result.reason;
        }
        entry["notes"] = result.notes;
        if (shape.refine != Refine::kNone) {
            entry["refinements"] = SnapsJson(scene, result);
        }
        Json values = Json::object();
        if (result.ok) {
            ++measured;
            switch (shape.kind) {
                case ShapeKind::kPoint:
                    values["point"] = Array3(result.point);
                    break;
                case ShapeKind::kLine:
                    values["direction"] = Array3(result.direction);
                    values["point_nearest_origin"] = Array3(result.point);
                    values["distance_from_origin"] = result.distance;
                    break;
                case ShapeKind::kSegment:
                    values["start"] = Array3(result.start);
                    values["end"] = Array3(result.end);
                    values["length"] = result.length;
                    values["direction"] = Array3(result.direction);
                    AddEndSpreads(scene, shape, result, values);
                    break;
                case ShapeKind::kCylinder:
                    values["method"] = shape.tangentPlanes ? "tangent-planes" : "centre-lines";
                    values["start"] = Array3(result.start);
                    values["end"] = Array3(result.end);
                    values["radius"] = result.radius;
                    values["length"] = result.length;
                    values["direction"] = Array3(result.direction);
                    AddEndSpreads(scene, shape, result, values);
                    break;
                case ShapeKind::kPlane:
                    values["coefficients"] = result.plane;
                    values["point_count"] = result.planePointCount;
                    values["rms_distance"] = result.planeRms;
                    values["max_distance"] = result.planeMaxDistance;
                    break;
                case ShapeKind::kCurve: {
                    values["camera"] = scene.cameras[shape.curveCamera].id;
                    values["mode"] = shape.interpolate ? "interpolate" : "approximate";
                    if (!shape.interpolate) {
                        values["interval"] = shape.interval;
                    }
                    values["sample_count"] = result.samples.size();
                    Json samples = Json::array();
                    for (const Vec2& sample : result.samples) {
                        samples.push_back({sample.x, sample.y});
                    }
                    values["samples"] = samples;
                    break;
                }
            }
        }
        if (result.ok && shape.outliers == Outliers::kDrop) {
            values["left_out"] = LeftOutIds(scene, result);
        }
        entry["result"] = values;
        Json residuals = Json::array();
        double worst = -1.0;
        for (const Residual& residual : result.residuals) {
            Json item = {{"camera", scene.cameras[residual.camera].id}};
            const bool leftOut = IsLeftOut(result, residual.camera);
            if (residual.ok) {
                item["pixels"] = residual.pixels;
                if (!leftOut) {
                    worst = std::max(worst, residual.pixels);
                }
            } else {
                item["pixels"] = nullptr;
                item["note"] = residual.note;
            }
            if (leftOut) {
                item["left_out"] = true;
            }
            residuals.push_back(item);
        }
        entry["residuals"] = residuals;
        entry["max_residual"] = worst >= 0.0 ? Json(worst) : Json(nullptr);
        if (shape.truth) {
            Json errors = Json::array();
            for (const TruthError& error : result.truthErrors) {
                errors.push_back(
                    {{"quantity", error.quantity}, {"value", error.value}, {"unit", error.unit}});
            }
            entry["truth_errors"] = errors;
        }
        shapes.push_back(entry);
    }
    report["shapes"] = shapes;
    report["summary"] = {{"shapes", scene.shapes.size()},
                         {"measured", measured},
                         {"failed", scene.shapes.size() - measured}};
    // What the pictures draw, per camera in the order drawn: the picks and the reprojections.
    Json overlays = Json::array();
    for (std::size_t camera = 0; camera < scene.cameras.size(); ++camera) {
        Json drawings = Json::array();
        for (const Drawing& drawing : measurement.drawings[camera]) {
            Json points = Json::array();
            for (const Vec2& point : drawing.points) {
                points.push_back({point.x, point.y});
            }
            Json item = {{"shape", drawing.label},
                         {"role", core::RoleName(drawing.role)},
                         {"closed", drawing.closed},
                         {"points", points}};
            if (drawing.leftOut) {
                item["left_out"] = true;
            }
            drawings.push_back(item);
        }
        overlays.push_back({{"camera", scene.cameras[camera].id}, {"drawings", drawings}});
    }
    report["overlays"] = overlays;
    return report;
}

}  // namespace measure
