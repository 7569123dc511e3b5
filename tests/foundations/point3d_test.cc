#include "polyview/shapes3d/point3d.h"

#include <limits>

#include <gtest/gtest.h>

#include "support/expect_geometry.h"

namespace {

CCameraParam SimpleCamera() {
    return CCameraParam(CIntrinsicParam(1000.0, C2DCoordinate(320.0, 240.0)), CExtrinsicParam());
}

TEST(C3DPointReproject, WorkedExampleAndResidual) {
    const C3DPoint point(C3DCoordinate(0.1, -0.2, 2.0));
    C2DCoordinate image;
    const C2DCoordinate observed(373.0, 144.0);
    double residual = -1.0;
    ASSERT_TRUE(point.Reproject(SimpleCamera(), image, &observed, &residual));
    ExpectVectorNear(image, C2DVector(370.0, 140.0), 1e-12);
    EXPECT_NEAR(residual, 5.0, 1e-12);

    const C2DCoordinate exact(370.0, 140.0);
    ASSERT_TRUE(point.Reproject(SimpleCamera(), image, &exact, &residual));
    EXPECT_NEAR(residual, 0.0, 1e-12);
}

TEST(C3DPointReproject, DepthMustBeStrictlyPositive) {
    const double depths[] = {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()};
    for (double depth : depths) {
        SCOPED_TRACE(depth);
        const C3DPoint point(C3DCoordinate(0.1, 0.1, depth));
        C2DCoordinate image(7.0, 8.0);
        const C2DCoordinate observed(0.0, 0.0);
        double residual = 42.0;
        EXPECT_FALSE(point.Reproject(SimpleCamera(), image, &observed, &residual));
        EXPECT_EQ(image.GetData(0), 7.0);
        EXPECT_EQ(residual, 42.0);
    }
    C2DCoordinate image;
    EXPECT_TRUE(C3DPoint(C3DCoordinate(0.0, 0.0, 1e-300))
                    .Reproject(SimpleCamera(), image, nullptr, nullptr));
}

TEST(C3DPointReproject, ResidualNeedsBothObservedAndResidual) {
    const C3DPoint point(C3DCoordinate(0.0, 0.0, 1.0));
    const C2DCoordinate observed(0.0, 0.0);
    C2DCoordinate image;
    double residual = 42.0;
    EXPECT_TRUE(point.Reproject(SimpleCamera(), image, &observed, nullptr));
    EXPECT_TRUE(point.Reproject(SimpleCamera(), image, nullptr, &residual));
    EXPECT_EQ(residual, 42.0);
    // A NaN observation makes the residual NaN: failure, with both outputs written.
    const C2DCoordinate bad(std::numeric_limits<double>::quiet_NaN(), 0.0);
    EXPECT_FALSE(point.Reproject(SimpleCamera(), image, &bad, &residual));
    ExpectVectorNear(image, C2DVector(320.0, 240.0), 0.0);
}

TEST(C3DPointTags, AssignmentKeepsTagCopyConstructionCopiesIt) {
    const C3DPoint source(C3DCoordinate(1.0, 2.0, 3.0, CameraCoordinateSystem));
    C3DPoint assigned;
    assigned = source;
    EXPECT_EQ(assigned.GetPoint().GetCoordinateSystem(), WorldCoordinateSystem);
    EXPECT_EQ(assigned.GetPoint().GetData(2), 3.0);
    const C3DPoint copied(source);
    EXPECT_EQ(copied.GetPoint().GetCoordinateSystem(), CameraCoordinateSystem);
}

TEST(C3DPointTransform, MapsAndRejectsZeroScale) {
    C3DPoint point(C3DCoordinate(1.0, 0.0, 0.0));
    const CRotateMatrix quarterAboutZ(C33Matrix(0, -1, 0, 1, 0, 0, 0, 0, 1));
    for (const double scale : {0.0, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(point.Transform(quarterAboutZ, C3DVector(0, 0, 0), scale));
        ExpectVectorNear(point.GetPoint(), C3DVector(1.0, 0.0, 0.0), 0.0);
    }
    ASSERT_TRUE(point.Transform(quarterAboutZ, C3DVector(0.0, 0.0, 4.0), 2.0));
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.5, 2.0), 1e-15);
    point.Initialize();
    ExpectVectorNear(point.GetPoint(), C3DVector(0.0, 0.0, 0.0), 0.0);
}

}  // namespace
