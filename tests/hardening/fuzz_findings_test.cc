// Inputs found by the fuzz targets (fuzz/), reduced by hand to the case that went wrong. Each
// one used to give a success with values that were infinite or not a number, or a result that
// broke a documented property.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "support/cylinder_observations.h"
#include "support/expect_geometry.h"

namespace {

CCameraParam Camera(double f, const C3DVector& translation) {
    return CCameraParam(CIntrinsicParam(f, C2DCoordinate(0.0, 0.0)),
                        CExtrinsicParam(CRotateMatrix(), translation));
}

// The observation in camera of the image segment from (u0, v0) to (u1, v1).
SImageLine Seen(const CCameraParam& camera, double u0, double v0, double u1, double v1) {
    return {camera, C2DLineSegment(C2DCoordinate(u0, v0), C2DCoordinate(u1, v1))};
}

TEST(FuzzFindings, SegmentRangeLeavesOutALiftThatOverflows) {
    // The line y = 1, z = 0 with positions along x, seen by two cameras with R = I and f = 100.
    // From T = (0, 0, 10) the observed ends (20, 10) and (50, 10) lift to x = 2 and x = 5. From
    // T = (0, 0, 100) the axis images on v = 1, and the ends (1e307, 1) and (1.5e307, 1) lift
    // through 100 * 1e307, which overflows: that observation gives no position.
    const C3DLineSegment initial(C3DAxis(C3DVector(0.0, 1.0, 0.0), C3DVector(1.0, 0.0, 0.0), 1.0),
                                 CRange(0.0, 1.0));
    const SImageLine near = Seen(Camera(100.0, C3DVector(0, 0, 10)), 20.0, 10.0, 50.0, 10.0);
    const SImageLine overflowing = Seen(Camera(100.0, C3DVector(0, 0, 100)), 1e307, 1, 1.5e307, 1);
    C3DLineSegment segment(initial);
    ASSERT_TRUE(segment.CalcRange(ToArray({near, overflowing})));
    EXPECT_EQ(segment.GetRange().GetStartPosition(), 2.0);
    EXPECT_EQ(segment.GetRange().GetEndPosition(), 5.0);
    segment = initial;  // the overflowing observation alone: nothing is left
    ASSERT_TRUE(segment.CalcRange(ToArray({overflowing})));
    EXPECT_EQ(segment.GetRange().GetStartPosition(), 0.0);
    EXPECT_EQ(segment.GetRange().GetEndPosition(), 0.0);
}

TEST(FuzzFindings, LineFitKeepsAUnitNormalForTinyAndHugeSpreads) {
    // Points on x + y = 0, spaced by `spacing`: the fit is that line with the unit normal
    // +-(1, 1) / sqrt(2). At 1e-159 the squared spreads used to fall into denormals (the normal
    // came out with length 0.9999999), at 1e200 they overflowed (the fit was refused).
    for (const double spacing : {1e-159, 1e-300, 1.0, 1e200}) {
        SCOPED_TRACE(spacing);
        C1DArray<C2DCoordinate> points;
        points.SetSize(5);
        for (int k = 0; k < 5; ++k) {
            points[k] = C2DCoordinate(k * spacing, -k * spacing);
        }
        C2DLine line;
        ASSERT_TRUE(line.GetApproximationLine(points));
        double params[3];
        line.GetLineParams(params);
        EXPECT_NEAR(std::fabs(params[0]), std::sqrt(0.5), 1e-15);
        EXPECT_NEAR(std::fabs(params[1]), std::sqrt(0.5), 1e-15);
        EXPECT_EQ(params[0], params[1]);
        EXPECT_NEAR(params[2], 0.0, 1e-15 * spacing);
    }
}

TEST(FuzzFindings, LineThroughTheOriginKeepsItsDirection) {
    // Two planes through (nearly) the origin: z = 0, seen edge-on by a camera of focal length 0,
    // and the plane through the second camera's centre -(DBL_MIN, DBL_MIN, DBL_MIN) and its image
    // line x = DBL_MIN. They meet in the y axis. The foot of the perpendicular from the origin was
    // rounding noise along the direction even after its second projection, the frame built from
    // it was no rotation, and the stored direction came out as (-0.78, 0.55, -0.30).
    const double tiny = std::numeric_limits<double>::min();
    const CCameraParam second(CIntrinsicParam(-15.5615234375, C2DCoordinate(-46.49609375, tiny)),
                              CExtrinsicParam(CRotateMatrix(), C3DVector(tiny, tiny, tiny)));
    C3DLine line;
    ASSERT_TRUE(line.CreateFromImageLines(ToArray(
        {Seen(Camera(0.0, C3DVector(0, 0, 0)), -1, 0, -1, 1), Seen(second, tiny, 0, tiny, 1)})));
    const C3DAxis& axis = line.Get3DAxis();
    ExpectVectorNear(axis.GetVVector(), C3DVector(0.0, 1.0, 0.0), 1e-12);
    EXPECT_NEAR(axis.GetUVector().GetDotProduct(axis.GetVVector()), 0.0, 1e-12);
    EXPECT_NEAR(axis.GetDistance(), 0.0, 1e-30);
}

SImageCylinder CylinderRecord(const CCameraParam& camera, const double (&edges)[2][4]) {
    SImageCylinder record;
    record.cameraParam = camera;
    for (int e = 0; e < 2; ++e) {
        record.edgeSegment[e].SetEndPoints(C2DCoordinate(edges[e][0], edges[e][1]),
                                           C2DCoordinate(edges[e][2], edges[e][3]));
    }
    return record;
}

CRotateMatrix Rows(const double (&m)[3][3]) {
    return CRotateMatrix(
        C33Matrix(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]));
}

TEST(FuzzFindings, CylinderRefusesARadiusThatOverflows) {
    // Four records as the fuzzer decoded them: two proper cameras, one of focal length 0 and
    // one whose "rotation" has entries of 1e-158. That one's viewing lines meet the axis in a
    // distance formula with a determinant near the underflow limit: its distances, and so the
    // mean distance (the radius), came out infinite, and the call returned true.
    const double t = 8.8544945874389708e-159;
    const CRotateMatrix tiny =
        Rows({{t, t, t}, {t, t, 8.8544948926884329e-159}, {t, t, 2.4221327129510472e-156}});
    const CRotateMatrix first =
        Rows({{0.99995448449510649, -0.0014357555511860867, 0.009432260817171783},
              {0.009432260817171783, 0.29753423278862223, -0.95466455510548986},
              {-0.0014357555511860867, 0.95471007061038338, 0.29753423278862223}});
    const double a = 0.28317467688354458, b = -0.21730116945566891, c = 0.93412649257212432;
    const CRotateMatrix fourth = Rows({{a, b, c}, {c, a, b}, {b, c, a}});
    const double edges1[2][4] = {
        {2504.5642565109774, 11452.575518807111, 2526.5040169703047, 9169.9213841401433},
        {2534.28088202668, 11452.872213359256, 2555.4043739524386, 9170.2058334273424}};
    const double edges2[2][4] = {{0.0026985, 0.010794, 0.003072, 2570.086352},
                                 {-2.384375e-05, -2.384375e-05, -2.384375e-05, 2569.99997615625}};
    const double edges3[2][4] = {{-23.820554, -23.820684, -23.82062, -23.82062},
                                 {-23.844316, -23.84118, -23.84105225, 23130.00257}};
    const double edges4[2][4] = {
        {-876.20335113752208, 737.3583852906346, -628.51187026354182, 662.39079676966298},
        {-875.47049177680196, 740.75231169322683, -627.72989550383556, 665.6706708868395}};
    std::vector<SImageCylinder> list = {
        CylinderRecord(CCameraParam(CIntrinsicParam(23130.0, C2DCoordinate(2570.0, 2570.0)),
                                    CExtrinsicParam(first, C3DVector(0.0, 0.0, 0.0))),
                       edges1),
        CylinderRecord(Camera(0.0, C3DVector(0.0, 0.0, 0.0)), edges2),
        CylinderRecord(
            CCameraParam(CIntrinsicParam(-23.84375, C2DCoordinate(-23.84375, t)),
                         CExtrinsicParam(tiny, C3DVector(-23.84375, -23.84375, -23.84375))),
            edges3),
        CylinderRecord(
            CCameraParam(CIntrinsicParam(2570.0, C2DCoordinate(-93.3671875, -93.3671875)),
                         CExtrinsicParam(fourth, C3DVector(-93.3671875, -93.3671875, -93.3671875))),
            edges4),
    };
    C3DCylinder cylinder;
    const C3DAxis axis(C3DVector(0.0, 0.0, 1.0), C3DVector(1.0, 0.0, 0.0), 2.0);
    cylinder.Set3DCylinder(axis, CRange(0.0, 1.0), 0.5, true, true, true);
    const std::string before(reinterpret_cast<const char*>(&cylinder), sizeof cylinder);
    EXPECT_FALSE(cylinder.CreateFromImageCylinder(Records(list), false));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(&cylinder), sizeof cylinder) == before);
}

}  // namespace
