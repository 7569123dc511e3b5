#include "polyview/foundations/axis3d.h"

#include <cmath>
#include <limits>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "polyview/foundations/range.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"

namespace {

const CRotateMatrix kIdentity(C33Matrix(1, 0, 0, 0, 1, 0, 0, 0, 1));
const CRotateMatrix kCollapse(C33Matrix(0, 0, 0, 0, 0, 0, 0, 0, 0));  // sends every V to zero

TEST(C3DAxisTransform, ReplacesLeaningFootByTrueFootAndZeroesItThroughTheOrigin) {
    // U leans towards V: the base 2 * (0.6, 0.8, 0) is not the point closest to the origin.
    C3DAxis axis(C3DVector(0.6, 0.8, 0.0), C3DVector(1.0, 0.0, 0.0), 2.0);
    ASSERT_TRUE(axis.Transform(kIdentity, C3DVector(0.0, 0.0, 0.0), 1.0));
    EXPECT_NEAR(axis.GetDistance(), 1.6, 1e-14);  // the line y = 1.6; a few ulps
    ExpectVectorNear(axis.GetUVector(), C3DVector(0.0, 1.0, 0.0), 1e-14);
    axis = C3DAxis(C3DVector(0.0, 1.0, 0.0), C3DVector(1.0, 0.0, 0.0), 2.0);
    ASSERT_TRUE(axis.Transform(kIdentity, C3DVector(0.0, -2.0, 0.0), 1.0));  // onto the x axis
    EXPECT_EQ(axis.GetDistance(), 0.0);
    ExpectVectorNear(axis.GetUVector(), C3DVector(0.0, 0.0, 0.0), 0.0);
}

TEST(C3DAxisTransform, RejectedCallsLeaveAxisUntouched) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<CRotateMatrix, double> rejected[] = {
        {kIdentity, 0.0}, {kIdentity, nan}, {kCollapse, 1.0}};  // the last fails after the work
    for (const auto& [rotation, scale] : rejected) {
        SCOPED_TRACE(scale);
        C3DAxis axis(C3DVector(0.0, 1.0, 0.0), C3DVector(1.0, 0.0, 0.0), 4.0);
        EXPECT_FALSE(axis.Transform(rotation, C3DVector(1.0, 2.0, 3.0), scale));
        EXPECT_EQ(axis.GetDistance(), 4.0);  // exact: nothing may have been written
        ExpectVectorNear(axis.GetUVector(), C3DVector(0.0, 1.0, 0.0), 0.0);
        ExpectVectorNear(axis.GetVVector(), C3DVector(1.0, 0.0, 0.0), 0.0);
    }
}

TEST(C3DAxisFourParams, WorkedExampleAndRoundTripIncludingHalfTurnFrames) {
    // U = x, V = z: the frame rows (0,0,1), (1,0,0), (0,1,0) turn by 120 degrees about (1,1,1).
    double params[4];
    C3DAxis(C3DVector(1.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 2.0).GetFrom4Params(params);
    const double component = (2.0 * M_PI / 3.0) / std::sqrt(3.0);
    ExpectVectorNear(C3DVector(params), C3DVector(component, component, component), 1e-14);
    EXPECT_EQ(params[3], 2.0);
    std::mt19937_64 generator(11);
    std::vector<std::pair<C3DVector, C3DVector>> frames = {
        {C3DVector(0.0, -1.0, 0.0), C3DVector(1.0, 0.0, 0.0)},  // frame rows V,U,W: a half-turn
        {C3DVector(0.0, 1.0, 0.0), C3DVector(1.0, 0.0, 0.0)},   // the identity frame
        {C3DVector(0.0, 0.0, -1.0), C3DVector(0.0, 1.0, 0.0)},
    };
    for (int i = 0; i < 40; ++i) {
        const CRotateMatrix frame = RandomRotation(generator);
        frames.emplace_back(frame.GetRowVector(1), frame.GetRowVector(0));
    }
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const C3DAxis axis(frames[i].first, frames[i].second, 3.25);
        axis.GetFrom4Params(params);
        C3DAxis rebuilt;
        ASSERT_TRUE(rebuilt.SetFrom4Params(params));
        ExpectVectorNear(rebuilt.GetUVector(), axis.GetUVector(), 1e-12);
        ExpectVectorNear(rebuilt.GetVVector(), axis.GetVVector(), 1e-12);
        EXPECT_EQ(rebuilt.GetDistance(), 3.25);
    }
}

TEST(C3DAxisSetters, ZeroVectorIsStoredAndReported) {
    C3DAxis axis(C3DVector(3.0, 0.0, 0.0), C3DVector(0.0, 0.0, 2.0), 1.0);
    ExpectVectorNear(axis.GetUVector(), C3DVector(1.0, 0.0, 0.0), 0.0);
    EXPECT_FALSE(axis.SetUVector(C3DVector(0.0, 0.0, 0.0)));
    ExpectVectorNear(axis.GetUVector(), C3DVector(0.0, 0.0, 0.0), 0.0);
    EXPECT_TRUE(axis.SetVVector(C3DVector(0.0, 5.0, 0.0)));
    ExpectVectorNear(axis.GetVVector(), C3DVector(0.0, 1.0, 0.0), 0.0);
}

TEST(C3DAxisCoordinates, RangeEndsAreBaseAndBasePlusV) {
    const C3DAxis axis(C3DVector(0.0, 0.0, 1.0), C3DVector(1.0, 0.0, 0.0), 2.0);
    C3DCoordinate ends[2] = {C3DCoordinate(CameraCoordinateSystem), C3DCoordinate()};
    axis.GetCoordinate(CRange(), ends);
    ExpectVectorNear(ends[0], C3DVector(0.0, 0.0, 2.0), 0.0);
    ExpectVectorNear(ends[1], C3DVector(1.0, 0.0, 2.0), 0.0);
    EXPECT_EQ(ends[0].GetCoordinateSystem(), CameraCoordinateSystem);  // components only
}

}  // namespace
