// A failing cylinder call leaves the cylinder bit for bit as it was (its derived start circle and
// height included, through its bytes), and the outputs of its const members untouched.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "hardening/object_state.h"
#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/rotate_matrix.h"

namespace {

const double kNan = std::numeric_limits<double>::quiet_NaN();
const CRotateMatrix kIdentity;

double MarkedNan() {
    const std::uint64_t bits = 0x7ff8'0000'dead'beefULL;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The pipe along x at height z = 2, positions 0 .. 4, radius 0.5 (or as given).
C3DCylinder Pipe(double radius = 0.5, double distance = 2.0) {
    C3DCylinder cylinder;
    cylinder.Set3DCylinder(C3DAxis(C3DVector(0.0, 0.0, 1.0), C3DVector(1.0, 0.0, 0.0), distance),
                           CRange(0.0, 4.0),
                           radius,
                           true,
                           true,
                           true);
    return cylinder;
}

// A camera with R = I (looking along +z) centred at (x, y, z).
CCameraParam CameraAt(double x, double y, double z) {
    return CCameraParam(CIntrinsicParam(100.0, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(kIdentity, C3DVector(-x, -y, -z)));
}

C2DLineSegment MarkedSegment() {
    return C2DLineSegment(C2DCoordinate(MarkedNan(), 1.0), C2DCoordinate(2.0, 3.0));
}

TEST(UnchangedOnFailure, CylinderEndPointsWithoutRadiusOrAxisLeaveTheOutputs) {
    const C3DCylinder cases[] = {Pipe(0.0), Pipe(kNan), Pipe(0.5, 0.0), Pipe(0.5, kNan)};
    for (const C3DCylinder& cylinder : cases) {
        SCOPED_TRACE(cylinder.GetRadius());
        const auto cylinderBefore = Snapshot(cylinder);
        C3DCoordinate start(MarkedNan(), 1.0, 2.0, CameraCoordinateSystem);
        C3DCoordinate end(3.0, MarkedNan(), 4.0, ImageCoordinateSystem);
        const auto startBefore = Snapshot(start);
        const auto endBefore = Snapshot(end);
        EXPECT_FALSE(cylinder.GetEndPoint3D(start, end));
        ExpectUnchanged(startBefore, start);
        ExpectUnchanged(endBefore, end);

        C2DCoordinate start2(MarkedNan(), 1.0, ImageCoordinateSystem);
        C2DCoordinate end2(2.0, MarkedNan(), CameraCoordinateSystem);
        const auto start2Before = Snapshot(start2);
        const auto end2Before = Snapshot(end2);
        EXPECT_FALSE(cylinder.GetEndPoint2D(CameraAt(2.0, -5.0, 2.0), start2, end2));
        ExpectUnchanged(start2Before, start2);
        ExpectUnchanged(end2Before, end2);
        ExpectUnchanged(cylinderBefore, cylinder);
    }
}

TEST(UnchangedOnFailure, CylinderReprojectionWithoutSilhouetteLeavesTheOutputs) {
    const C3DCylinder pipe = Pipe();
    const CCameraParam cameras[] = {
        CameraAt(1.0, 0.1, 2.1),   // inside the pipe
        CameraAt(10.0, 0.0, 2.0),  // on the axis line
    };
    for (const CCameraParam& camera : cameras) {
        const auto pipeBefore = Snapshot(pipe);
        C2DLineSegment centerLine = MarkedSegment();
        C2DLineSegment edges[2] = {MarkedSegment(), MarkedSegment()};
        const auto centerBefore = Snapshot(centerLine);
        const auto edge0Before = Snapshot(edges[0]);
        const auto edge1Before = Snapshot(edges[1]);
        const C2DCoordinate observed[4];
        double distances[4] = {MarkedNan(), MarkedNan(), MarkedNan(), MarkedNan()};
        double maxDistance = MarkedNan();
        EXPECT_FALSE(pipe.Reproject(camera, centerLine, edges, observed, distances, &maxDistance));
        ExpectUnchanged(centerBefore, centerLine);
        ExpectUnchanged(edge0Before, edges[0]);
        ExpectUnchanged(edge1Before, edges[1]);
        for (const double distance : distances) {
            EXPECT_TRUE(SameDoubleBits(distance, MarkedNan()));
        }
        EXPECT_TRUE(SameDoubleBits(maxDistance, MarkedNan()));
        ExpectUnchanged(pipeBefore, pipe);
    }
    // Without edges to write the call is refused before anything is done.
    C2DLineSegment centerLine = MarkedSegment();
    const auto centerBefore = Snapshot(centerLine);
    EXPECT_FALSE(
        pipe.Reproject(CameraAt(2.0, -5.0, 2.0), centerLine, nullptr, nullptr, nullptr, nullptr));
    ExpectUnchanged(centerBefore, centerLine);
}

TEST(UnchangedOnFailure, RejectedCylinderMovesLeaveTheCylinder) {
    const CRotateMatrix collapse(C33Matrix(0, 0, 0, 0, 0, 0, 0, 0, 0));
    const std::pair<const CRotateMatrix*, double> cases[] = {
        {&kIdentity, 0.0}, {&kIdentity, kNan}, {&collapse, 1.0}};
    for (const auto& [rotation, scale] : cases) {
        SCOPED_TRACE(scale);
        C3DCylinder pipe = Pipe();
        const auto before = Snapshot(pipe);
        EXPECT_FALSE(pipe.Transform(*rotation, C3DVector(1.0, 2.0, 3.0), scale));
        ExpectUnchanged(before, pipe);
    }
}

TEST(UnchangedOnFailure, UnderdeterminedCylinderReconstructionLeavesTheCylinder) {
    C1DArray<SImageCylinder> empty;
    C1DArray<SImageCylinder> single;
    single.SetSize(1);
    single[0].cameraParam = CameraAt(2.0, -5.0, 2.0);
    single[0].edgeSegment[0].SetEndPoints(C2DCoordinate(-40.0, -10.0), C2DCoordinate(40.0, -10.0));
    single[0].edgeSegment[1].SetEndPoints(C2DCoordinate(-40.0, 10.0), C2DCoordinate(40.0, 10.0));
    C1DArray<SImageCylinder> unseen;  // two records whose edges all have length 0
    unseen.SetSize(2);
    for (int i = 0; i < 2; ++i) {
        unseen[i].cameraParam = CameraAt(2.0 * i, -5.0, 2.0);
        for (C2DLineSegment& edge : unseen[i].edgeSegment) {
            edge.SetEndPoints(C2DCoordinate(3.0, 4.0), C2DCoordinate(3.0, 4.0));
        }
    }
    for (const C1DArray<SImageCylinder>* records : {&empty, &single, &unseen}) {
        for (const bool fullFit : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << records->GetSize() << " records, fullFit " << fullFit);
            C3DCylinder pipe = Pipe();
            const auto before = Snapshot(pipe);
            EXPECT_FALSE(pipe.CreateFromImageCylinder(*records, fullFit));
            ExpectUnchanged(before, pipe);
        }
    }
}

TEST(UnchangedOnFailure, CylinderRangeWithoutPositionsLeavesTheCylinder) {
    C1DArray<SImageCylinder> records;
    records.SetSize(1);
    records[0].cameraParam = CameraAt(2.0, -5.0, 2.0);
    records[0].edgeSegment[0].SetEndPoints(C2DCoordinate(-40.0, -10.0), C2DCoordinate(40.0, -10.0));
    records[0].edgeSegment[1].SetEndPoints(C2DCoordinate(-40.0, 10.0), C2DCoordinate(40.0, 10.0));
    const C1DArray<SImageCylinder> none;
    const struct {
        C3DCylinder cylinder;
        const C1DArray<SImageCylinder>* records;
    } cases[] = {
        {Pipe(), &none},             // no records at all
        {Pipe(0.0), &records},       // no radius: no record yields positions
        {Pipe(0.5, 0.0), &records},  // no axis distance
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records->GetSize());
        C3DCylinder cylinder = c.cylinder;
        const auto before = Snapshot(cylinder);
        EXPECT_FALSE(cylinder.CalcRange(*c.records));
        ExpectUnchanged(before, cylinder);
    }
}

}  // namespace
