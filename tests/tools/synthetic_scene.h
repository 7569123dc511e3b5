#pragma once

// A scene built by construction: four cameras around a small set of known shapes, with picks that
// are the exact projections of those shapes (no noise), so that every measurement must return
// the truth up to rounding. Projections come from tests/support/camera_rig.h, independent of the
// shapes under test.

#include <cmath>
#include <string>
#include <vector>

#include "measure/scene.h"

#include "support/camera_rig.h"

namespace synthetic {

// World z points down in these pictures (as in the test rig's look-at cameras).
inline measure::Camera MakeCamera(const std::string& id,
                                  const measure::Vec3& centre,
                                  const measure::Vec3& target) {
    measure::Camera camera;
    camera.id = id;
    camera.origin = "test";
    CCamera::CreateLookAt(C3DVector(centre[0], centre[1], centre[2]),
                          C3DVector(target[0], target[1], target[2]),
                          C3DVector(0.0, 0.0, -1.0),
                          1000.0,
                          C2DCoordinate(800.0, 600.0),
                          1600,
                          1200,
                          camera.calibration);
    return camera;
}

inline measure::Vec2 Project(const measure::Camera& camera, const measure::Vec3& x) {
    const C2DCoordinate image =
        ProjectPoint(camera.calibration.GetCameraParam(), C3DVector(x[0], x[1], x[2]));
    return {image.GetData(0), image.GetData(1)};
}

inline measure::Vec3 Add(const measure::Vec3& a, const measure::Vec3& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline measure::Vec3 Scale(const measure::Vec3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
inline double Dot(const measure::Vec3& a, const measure::Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline measure::Vec3 Cross(const measure::Vec3& a, const measure::Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline measure::Vec3 Unit(const measure::Vec3& a) {
    return Scale(a, 1.0 / std::sqrt(Dot(a, a)));
}

// The known shapes.
const measure::Vec3 kCorner{0.3, -0.2, 1.1};
const measure::Vec3 kRailStart{-1.0, 0.5, 1.5};
const measure::Vec3 kRailEnd{1.0, 0.4, 1.6};
const measure::Vec3 kPoleFoot{0.8, 0.8, 0.0};  // a vertical line
const measure::Vec3 kTankStart{-0.8, -0.8, 0.5};
const measure::Vec3 kTankEnd{0.9, -0.7, 0.6};
const double kTankRadius = 0.25;
const measure::Vec3 kMarkers[3] = {{-1.0, -1.0, 0.0}, {1.2, -0.9, 0.0}, {0.1, 1.3, 0.0}};

// The two silhouette generators of the tank seen from a camera centre: the lines on the surface
// along which the tangent planes through the centre touch it (the same offset at both ends).
inline std::array<measure::Segment2, 2> TankEdges(const measure::Camera& camera) {
    const measure::Vec3 axis = Unit(Add(kTankEnd, Scale(kTankStart, -1.0)));
    const C3DVector centre = camera.calibration.GetCentre();
    const measure::Vec3 w =
        Add({centre.GetData(0), centre.GetData(1), centre.GetData(2)}, Scale(kTankStart, -1.0));
    const measure::Vec3 across = Add(w, Scale(axis, -Dot(w, axis)));
    const double s = std::sqrt(Dot(across, across));
    const measure::Vec3 u = Scale(across, 1.0 / s);
    const measure::Vec3 v = Cross(axis, u);
    std::array<measure::Segment2, 2> edges;
    for (int i = 0; i < 2; ++i) {
        const double sign = i == 0 ? 1.0 : -1.0;
        const measure::Vec3 offset =
            Add(Scale(u, kTankRadius * kTankRadius / s),
                Scale(v, sign * kTankRadius * std::sqrt(1.0 - std::pow(kTankRadius / s, 2))));
        edges[i] = {Project(camera, Add(kTankStart, offset)),
                    Project(camera, Add(kTankEnd, offset))};
    }
    return edges;
}

// A circle of radius 0.4 on the ground around (0, 0, 0), from angle 0.3 to 2.8 rad.
inline measure::Vec3 ArcPoint(double t) {
    const double angle = 0.3 + 2.5 * t;
    return {0.4 * std::cos(angle), 0.4 * std::sin(angle), 0.0};
}

// Shape indices in the scene below.
enum Index {
    kCornerShape,
    kRailShape,
    kPoleShape,
    kTankShape,
    kMarker0,
    kGroundShape = kMarker0 + 3,
    kArcShape,
    kLonelyShape
};

inline measure::ShapeInput Shape(const std::string& name, measure::ShapeKind kind) {
    measure::ShapeInput shape;
    shape.name = name;
    shape.kind = kind;
    return shape;
}

// A point shape picked at its exact image in every camera; with a truth when truth is set.
inline measure::ShapeInput PointShape(const measure::Scene& scene,
                                      const std::string& name,
                                      const measure::Vec3& point,
                                      bool truth) {
    measure::ShapeInput shape = Shape(name, measure::ShapeKind::kPoint);
    for (std::size_t c = 0; c < scene.cameras.size(); ++c) {
        shape.pointPicks.push_back({c, Project(scene.cameras[c], point)});
    }
    if (truth) {
        shape.truth.emplace().point = point;
    }
    return shape;
}

inline measure::Scene MakeScene() {
    using measure::ShapeInput;
    using measure::ShapeKind;
    measure::Scene scene;
    scene.file = "synthetic.json";
    const measure::Vec3 target{0.0, 0.0, 0.8};
    scene.cameras = {MakeCamera("north", {0.5, 6.0, 2.5}, target),
                     MakeCamera("east", {6.0, 0.8, 3.0}, target),
                     MakeCamera("south", {-0.7, -5.5, 2.0}, target),
                     MakeCamera("west", {-5.8, -1.0, 3.5}, target)};
    const std::size_t n = scene.cameras.size();
    scene.shapes.push_back(PointShape(scene, "corner", kCorner, true));

    ShapeInput rail = Shape("rail", ShapeKind::kSegment);
    ShapeInput pole = Shape("pole", ShapeKind::kLine);
    ShapeInput tank = Shape("tank", ShapeKind::kCylinder);
    for (std::size_t c = 0; c < n; ++c) {
        const measure::Camera& camera = scene.cameras[c];
        rail.segmentPicks.push_back({c, {Project(camera, kRailStart), Project(camera, kRailEnd)}});
        // A different stretch of the pole in each image.
        const double low = 0.2 + 0.1 * static_cast<double>(c);
        pole.segmentPicks.push_back({c,
                                     {Project(camera, Add(kPoleFoot, {0, 0, low})),
                                      Project(camera, Add(kPoleFoot, {0, 0, low + 1.0}))}});
        const auto edges = TankEdges(camera);
        tank.cylinderPicks.push_back({c, {edges[0], edges[1]}});
    }
    rail.truth.emplace().start = kRailStart;
    rail.truth->end = kRailEnd;
    pole.truth.emplace().point = Add(kPoleFoot, {0, 0, 5.0});
    pole.truth->direction = measure::Vec3{0, 0, -2};
    tank.truth.emplace().start = kTankStart;
    tank.truth->end = kTankEnd;
    tank.truth->radius = kTankRadius;
    scene.shapes.insert(scene.shapes.end(), {rail, pole, tank});

    ShapeInput ground = Shape("ground", ShapeKind::kPlane);
    for (int i = 0; i < 3; ++i) {
        scene.shapes.push_back(PointShape(scene, "marker" + std::to_string(i), kMarkers[i], false));
        ground.planePoints.push_back({"marker" + std::to_string(i), {0, 0, 0}, ""});
    }
    ground.planePoints.push_back({"", {0.5, 0.5, 0.0}, ""});
    ground.truth.emplace().point = measure::Vec3{3.0, -2.0, 0.0};
    ground.truth->normal = measure::Vec3{0, 0, -1};
    scene.shapes.push_back(ground);

    ShapeInput arc = Shape("arc", ShapeKind::kCurve);
    arc.curveCamera = 2;
    for (int i = 0; i <= 12; ++i) {
        arc.curvePicks.push_back(Project(scene.cameras[2], ArcPoint(i / 12.0)));
    }
    arc.sampleCount = 200;
    arc.truth = measure::Truth();
    for (int i = 0; i <= 400; ++i) {
        arc.truth->imagePoints.push_back(Project(scene.cameras[2], ArcPoint(i / 400.0)));
    }
    scene.shapes.push_back(arc);

    ShapeInput lonely = PointShape(scene, "lonely", kCorner, false);
    lonely.pointPicks = {lonely.pointPicks[1]};
    scene.shapes.push_back(lonely);
    return scene;
}

}  // namespace synthetic
