#include "core/soundness.h"

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/polyview.h"

namespace {

// Spread ratio of the rectangle (+-1, +-b, 0): the scatter's eigenvalues are 4 and 4 b^2, so the
// ratio is b. The examples: three collinear points, and four points within 0.5 mm of a
// 1.5 m line.
TEST(CoreJudgePlanePoints, ThresholdOnTheSpreadRatio) {
    const auto rectangle = [](double b) {
        return std::vector<double>{-1, -b, 0, 1, -b, 0, -1, b, 0, 1, b, 0};
    };
    const std::pair<std::vector<double>, bool> cases[] = {
        {rectangle(0.0099), false},
        {rectangle(0.0101), true},
        {{0, 0, 0, 1, 0, 0, 2, 0, 0}, false},
        {{0, 0, 0, 0.5, 0.0005, 0, 1.0, -0.0005, 0.0003, 1.5, 0.0002, -0.0004}, false},
        {{0, 0, 0, 1, 0, 0, 0, 1, 0, 0.5, 0.5, 0.1}, true},
        {{1, 2, 3, 1, 2, 3, 1, 2, 3}, false},           // coincident
        {{0, 0, 0, 1, 0, 0, 0, NAN, 0}, false},         // not finite
        {{0, 0, 0, 1e300, 0, 0, 0, 1e300, 0}, true},    // squares beyond the double range
        {{0, 0, 0, 1e-170, 0, 0, 0, 1e-170, 0}, true},  // and below it
        {{1.7e308, 0, 0, -1.7e308, 0, 0, -1.7e308, 1, 0}, false},  // the spread overflows
    };
    for (const auto& [xyz, ok] : cases) {
        SCOPED_TRACE(xyz[4] + 10 * xyz[7]);
        const core::PlaneConditioning judged = core::JudgePlanePoints(xyz.data(), xyz.size() / 3);
        EXPECT_EQ(judged.ok, ok) << judged.reason;
        EXPECT_EQ(judged.reason.empty(), ok);
    }
    EXPECT_NEAR(core::JudgePlanePoints(rectangle(0.0099).data(), 4).spreadRatio, 0.0099, 1e-12);
    EXPECT_NE(core::JudgePlanePoints(rectangle(0.0).data(), 4).reason.find("line"),
              std::string::npos);
    EXPECT_FALSE(core::JudgePlanePoints(rectangle(1.0).data(), 2).ok);  // two points
}

CCameraParam Pose(double r22, const C3DVector& translation, double turn = 0.0) {
    const double c = std::cos(turn), s = std::sin(turn);
    return CCameraParam(
        CIntrinsicParam(1000.0, C2DCoordinate(500.0, 400.0)),
        CExtrinsicParam(CRotateMatrix(C33Matrix(c, -s, 0, s, c, 0, 0, 0, r22)), translation));
}

// det R = r22 and (R R^T)_22 = r22^2: a deviation of about 2 (r22 - 1) against 1e-5.
TEST(CoreCheckCameraPose, RotationToleranceAndFiniteValues) {
    const C3DVector t(0.0, 0.0, 5.0);
    EXPECT_EQ(core::CheckCameraPose(Pose(1.0, t)), "");
    EXPECT_EQ(core::CheckCameraPose(Pose(1.0 + 0.45e-5, t)), "");
    EXPECT_NE(core::CheckCameraPose(Pose(1.0 + 0.55e-5, t)).find("not a rotation"),
              std::string::npos);
    EXPECT_NE(core::CheckCameraPose(Pose(NAN, t)).find("not finite"), std::string::npos);
    EXPECT_NE(core::CheckCameraPose(Pose(1.0, C3DVector(0, INFINITY, 0))).find("translation"),
              std::string::npos);
    // Finite translation, but the centre -R^T T overflows.
    EXPECT_NE(core::CheckCameraPose(Pose(1.0, C3DVector(1.5e308, 1.5e308, 0), 0.7)).find("centre"),
              std::string::npos);
    // The rotation vector of length 1e200.
    const CCameraParam huge(
        CIntrinsicParam(1000.0, C2DCoordinate(500.0, 400.0)),
        CExtrinsicParam(CRotateMatrix(CRotateVector(C3DVector(1e200, 0, 0))), t));
    EXPECT_NE(core::CheckCameraPose(huge), "");
}

}  // namespace
