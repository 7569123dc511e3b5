#include "polyview/geometry2d/epipolar_line2d.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/essential_matrix.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "support/camera_rig.h"
#include "support/expect_line2d.h"

namespace {

TEST(CEpipolarLine, CreateMultipliesThePointUnnormalised) {
    // Rows (0, 0, 0), (0, 0, -1), (0, 1, 0): the point (5, 7) maps to (0, -1, 7), the row y = 7.
    const CFundamentalMatrix fundamental(C33Matrix(0, 0, 0, 0, 0, -1, 0, 1, 0));
    CEpipolarLine line;
    line.Create(fundamental, C2DCoordinate(5.0, 7.0));
    ExpectLineParams(line, 0.0, -1.0, 7.0, 0.0);
    // A transposed product would give (0, 1, -5) instead; a scaled matrix scales the triple.
    line.Create(CFundamentalMatrix(C33Matrix(0, 0, 0, 0, 0, -4, 0, 4, 0)), C2DCoordinate(5, 7));
    ExpectLineParams(line, 0.0, -4.0, 28.0, 0.0);
}

// Random camera pairs looking at a unit cube from 6 to 14 units away, each image 640 x 480 with
// the principal point in the middle; random points of the cube are imaged in both cameras.
TEST(EpipolarGeometry, ImagesOfRandomPointsLieOnEachOthersEpipolarLines) {
    const double kImageSize = 640.0;
    const double kTolerance = 1e-9 * kImageSize;
    std::mt19937_64 generator(20240611);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> distance(6.0, 14.0);
    std::uniform_real_distribution<double> focal(400.0, 1500.0);
    const auto randomCamera = [&]() {
        const C3DVector target(0.2 * unit(generator), 0.2 * unit(generator), 0.2 * unit(generator));
        const C3DVector centre = RandomRotation(generator).GetRowVector(0) * distance(generator);
        const C3DVector up = RandomRotation(generator).GetRowVector(0);
        return LookAtCamera(centre, target, focal(generator), 320.0, 240.0, up);
    };
    for (int pair = 0; pair < 40; ++pair) {
        const CCameraParam camera1 = randomCamera();
        const CCameraParam camera2 = randomCamera();
        CExtrinsicParam relative;
        relative.SetDifferenceTwoExtrinsicParams(camera1.GetExtrinsicParam(),
                                                 camera2.GetExtrinsicParam());
        CFundamentalMatrix fundamental;
        ASSERT_TRUE(CEssentialMatrix(relative).CalcFundamentalMatrix(
            camera1.GetIntrinsicParam(), camera2.GetIntrinsicParam(), fundamental));
        for (int trial = 0; trial < 25; ++trial) {
            SCOPED_TRACE(testing::Message() << "pair " << pair << ", point " << trial);
            const C3DVector point(unit(generator), unit(generator), unit(generator));
            const C2DCoordinate image1 = ProjectPoint(camera1, point);
            const C2DCoordinate image2 = ProjectPoint(camera2, point);

            // A stretch of 100 pixels around the image in camera 2 passes through it.
            const int x = static_cast<int>(std::floor(image2.GetData(0)));
            C2DLineSegment segment;
            ASSERT_TRUE(segment.SetEpipolarLine(camera1, camera2, image1, x - 50, x + 50));
            C2DCoordinate start, end;
            segment.GetEndPoints(start, end);
            EXPECT_EQ(start.GetData(0), x - 50);
            EXPECT_EQ(end.GetData(0), x + 50);
            const C2DVector along = end - start, offset = image2 - start;  // x within the range
            const double across =
                along.GetData(0) * offset.GetData(1) - along.GetData(1) * offset.GetData(0);
            EXPECT_LE(std::fabs(across) / along.GetNorm(), kTolerance);

            // The same F gives the line in camera 1's image of the point seen by camera 2.
            CEpipolarLine line;
            line.Create(fundamental, image2);
            double params[3];
            line.GetLineParams(params);
            EXPECT_LE(DistanceFromParams(params, image1), kTolerance);
        }
    }
}

}  // namespace
