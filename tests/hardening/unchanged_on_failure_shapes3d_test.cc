// A failing call leaves the 3D shape (or, for const members, the output arguments) bit for bit
// as it was: every getter value, every coordinate tag and every byte. Shapes start out with values
// no reconstruction writes (NaN payloads, camera tags), so that a stray write shows.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>

#include "hardening/object_state.h"
#include <gtest/gtest.h>

#include "polyview/foundations/angle.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/planar_polygon3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const CRotateMatrix kIdentity;
const CRotateMatrix kCollapse(C33Matrix(0, 0, 0, 0, 0, 0, 0, 0, 0));  // sends every V to zero

double MarkedNan() {
    const std::uint64_t bits = 0x7ff8'0000'dead'beefULL;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Camera with R = I at centre (cx, cy, cz), so T = -centre; focal length 100, principal point 0.
CCameraParam CameraAt(double cx, double cy, double cz) {
    return CCameraParam(CIntrinsicParam(100.0, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(kIdentity, C3DVector(-cx, -cy, -cz)));
}

// The rejected (rotation, scale) pairs of every Transform.
struct SRejectedMove {
    const CRotateMatrix* rotation;
    double scale;
};
const SRejectedMove kRejectedMoves[] = {
    {&kIdentity, 0.0}, {&kIdentity, -0.0}, {&kIdentity, kNan}, {&kCollapse, 1.0}};

C3DAxis TiltedAxis() {
    return C3DAxis(C3DVector(0.0, 0.6, 0.8), C3DVector(1.0, 0.0, 0.0), 2.5);
}

TEST(UnchangedOnFailure, RejectedMovesLeaveEveryShape) {
    for (const SRejectedMove& move : kRejectedMoves) {
        SCOPED_TRACE(move.scale);
        const C3DVector translation(1.0, 2.0, 3.0);
        C3DAxis axis = TiltedAxis();
        const auto axisBefore = Snapshot(axis);
        EXPECT_FALSE(axis.Transform(*move.rotation, translation, move.scale));
        ExpectUnchanged(axisBefore, axis);

        C3DLine line(TiltedAxis());
        const auto lineBefore = Snapshot(line);
        EXPECT_FALSE(line.Transform(*move.rotation, translation, move.scale));
        ExpectUnchanged(lineBefore, line);

        C3DLineSegment segment(TiltedAxis(), CRange(-1.0, 4.0));
        const auto segmentBefore = Snapshot(segment);
        EXPECT_FALSE(segment.Transform(*move.rotation, translation, move.scale));
        ExpectUnchanged(segmentBefore, segment);
    }
    // A point has no direction to collapse; only the scale can be refused.
    for (const double scale : {0.0, -0.0, kNan}) {
        C3DPoint point(C3DCoordinate(1.0, MarkedNan(), 3.0, CameraCoordinateSystem));
        const auto before = Snapshot(point);
        EXPECT_FALSE(point.Transform(kIdentity, C3DVector(1.0, 2.0, 3.0), scale));
        ExpectUnchanged(before, point);
    }
}

TEST(UnchangedOnFailure, PointReprojectionLeavesTheOutputs) {
    const CCameraParam camera = CameraAt(0.0, 0.0, 0.0);
    for (const double depth : {-5.0, 0.0, -0.0, kNan}) {
        SCOPED_TRACE(depth);
        const C3DPoint point(C3DCoordinate(1.0, 2.0, depth));
        const auto pointBefore = Snapshot(point);
        C2DCoordinate image(MarkedNan(), 4.0, ImageCoordinateSystem);
        const auto imageBefore = Snapshot(image);
        const C2DCoordinate observed(0.0, 0.0);
        double residual = MarkedNan();
        EXPECT_FALSE(point.Reproject(camera, image, &observed, &residual));
        ExpectUnchanged(imageBefore, image);
        EXPECT_TRUE(SameDoubleBits(residual, MarkedNan()));
        ExpectUnchanged(pointBefore, point);
    }
}

TEST(UnchangedOnFailure, RejectedTriangulationLeavesThePoint) {
    C1DArray<SImagePoint> parallel;  // two cameras side by side, both rays along +z
    parallel.SetSize(2);
    parallel[0].cameraParam = CameraAt(0.0, 0.0, -5.0);
    parallel[1].cameraParam = CameraAt(1.0, 0.0, -5.0);
    C1DArray<SImagePoint> single(parallel);
    single.SetSize(1);
    C1DArray<SImagePoint> notANumber(parallel);
    notANumber[1].imagePoint = C2DCoordinate(kNan, 0.0);
    C1DArray<SImagePoint> empty;
    const C1DArray<SImagePoint>* cases[] = {&empty, &single, &parallel, &notANumber};
    for (const C1DArray<SImagePoint>* observations : cases) {
        SCOPED_TRACE(observations->GetSize());
        C3DPoint point(C3DCoordinate(1.0, MarkedNan(), 3.0, CameraCoordinateSystem));
        const auto before = Snapshot(point);
        EXPECT_FALSE(point.CreateFromImagePoints(*observations));
        ExpectUnchanged(before, point);
    }
}

TEST(UnchangedOnFailure, RejectedLineReconstructionLeavesTheLine) {
    // The x axis seen from two centres in the plane y = 0: both planes are that plane.
    C1DArray<SImageLine> coplanar;
    coplanar.SetSize(2);
    coplanar[0].cameraParam = CameraAt(0.0, 0.0, -5.0);
    coplanar[1].cameraParam = CameraAt(1.0, 0.0, -5.0);
    for (int i = 0; i < 2; ++i) {
        coplanar[i].lineSegment.SetEndPoints(C2DCoordinate(-10.0, 0.0), C2DCoordinate(10.0, 0.0));
    }
    C1DArray<SImageLine> single(coplanar);
    single.SetSize(1);
    C1DArray<SImageLine> empty;
    const C1DArray<SImageLine>* cases[] = {&empty, &single, &coplanar};
    for (const C1DArray<SImageLine>* observations : cases) {
        SCOPED_TRACE(observations->GetSize());
        C3DLine line(C3DAxis(C3DVector(0.0, MarkedNan(), 1.0), C3DVector(1.0, 0.0, 0.0), -7.0));
        const auto before = Snapshot(line);
        EXPECT_FALSE(line.CreateFromImageLines(*observations));
        ExpectUnchanged(before, line);
    }
}

TEST(UnchangedOnFailure, SegmentAngleWithoutDirectionLeavesTheAngle) {
    const C3DLineSegment good(TiltedAxis(), CRange(0.0, 1.0));
    const C3DLineSegment noDirection;  // the default axis has a zero V
    const C3DLineSegment nanDirection(
        C3DAxis(C3DVector(0.0, 1.0, 0.0), C3DVector(kNan, 0.0, 0.0), 1.0), CRange(0.0, 1.0));
    const std::pair<const C3DLineSegment*, const C3DLineSegment*> cases[] = {
        {&good, &noDirection}, {&noDirection, &good}, {&good, &nanDirection}};
    for (const auto& [first, second] : cases) {
        CAngle angle;
        angle.SetDegree(33.0);
        const std::string before = BytesOf(angle);
        EXPECT_FALSE(first->GetAngleLine2Line(*second, angle));
        EXPECT_TRUE(BytesOf(angle) == before);
    }
}

TEST(UnchangedOnFailure, SegmentReprojectionBehindTheCameraLeavesBoth) {
    // The camera at the origin looks along +z.
    const CCameraParam camera = CameraAt(0.0, 0.0, 0.0);
    const struct {
        C3DCoordinate start;
        C3DCoordinate end;
    } cases[] = {
        {C3DCoordinate(1.0, 2.0, -5.0), C3DCoordinate(3.0, 1.0, -1.0)},  // wholly behind
        {C3DCoordinate(1.0, 2.0, -1.0), C3DCoordinate(3.0, 2.0, -1.0)},  // across, behind
        {C3DCoordinate(1.0, 2.0, 0.0), C3DCoordinate(3.0, 2.0, 0.0)},    // in the plane z = 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end.GetData(2));
        C3DLineSegment segment;
        segment.SetEndPoint3D(c.start, c.end);
        const auto segmentBefore = Snapshot(segment);
        C2DLineSegment image(C2DCoordinate(MarkedNan(), 1.0), C2DCoordinate(2.0, 3.0));
        const auto imageBefore = Snapshot(image);
        const C2DCoordinate observed[2] = {C2DCoordinate(0.0, 0.0), C2DCoordinate(1.0, 1.0)};
        double residual = MarkedNan();
        EXPECT_FALSE(segment.Reproject(camera, image, observed, &residual));
        ExpectUnchanged(imageBefore, image);
        EXPECT_TRUE(SameDoubleBits(residual, MarkedNan()));
        ExpectUnchanged(segmentBefore, segment);
    }
}

C1DArray<C3DCoordinate> Points(std::initializer_list<C3DCoordinate> list) {
    C1DArray<C3DCoordinate> array;
    array.SetSize(static_cast<int>(list.size()));
    int i = 0;
    for (const C3DCoordinate& point : list) {
        array[i++] = point;
    }
    return array;
}

std::string VertexBytes(const C3DPlanarPolygon& polygon) {
    std::string bytes;
    for (int i = 0; i < polygon.GetVertices().GetSize(); ++i) {
        bytes += BytesOf(polygon.GetVertices()[i]);
    }
    return bytes;
}

TEST(UnchangedOnFailure, RejectedPlaneFitsLeavePlaneAndPolygon) {
    const C3DCoordinate a(0.0, 0.0, 0.0), b(1.0, 0.0, 0.0), c(0.0, 1.0, 0.0);
    const C1DArray<C3DCoordinate> cases[] = {
        Points({}),
        Points({a}),
        Points({a, b}),
        Points({a, b, C3DCoordinate(kNan, 1.0, 0.0)}),
        Points({a, b, C3DCoordinate(0.0, kInf, 0.0)}),
        Points({a, b, C3DCoordinate(0.0, 1e300, 0.0)}),  // too large to square
    };
    for (const C1DArray<C3DCoordinate>& fitted : cases) {
        SCOPED_TRACE(fitted.GetSize());
        C3DPlane plane(C3DVector(0.0, 0.6, 0.8),
                       C3DCoordinate(1.0, MarkedNan(), 2.0, CameraCoordinateSystem));
        const auto planeBefore = Snapshot(plane);
        EXPECT_FALSE(plane.SetApproximationPlane(fitted));
        ExpectUnchanged(planeBefore, plane);

        C3DPlanarPolygon polygon;  // fitted once, to hold a plane and vertices of its own
        ASSERT_TRUE(polygon.SetApproximationPlane(Points({a, b, c, C3DCoordinate(1.0, 1.0, 0.0)})));
        const auto polygonBefore = Snapshot(polygon);
        const std::string vertexBytes = VertexBytes(polygon);
        EXPECT_FALSE(polygon.SetApproximationPlane(fitted));
        ExpectUnchanged(polygonBefore, polygon);
        EXPECT_TRUE(VertexBytes(polygon) == vertexBytes);
    }
}

}  // namespace
