#include "polyview/shapes3d/line3d.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/numeric/line_fit3d.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/vector_kernels.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"
#include "support/indexed_matrix.h"
#include "support/line_observations.h"
#include "support/numeric_allocation_sweep.h"

namespace {

// Distance of point from the line of axis.
double DistanceFromAxis(const C3DAxis& axis, const C3DVector& point) {
    const C3DVector offset = point - axis.GetBaseCoordinate();
    return (offset - axis.GetVVector() * offset.GetDotProduct(axis.GetVVector())).GetNorm();
}

void ExpectSameAxis(const C3DAxis& actual, const C3DAxis& expected) {
    EXPECT_EQ(actual.GetDistance(), expected.GetDistance());
    ExpectVectorNear(actual.GetUVector(), expected.GetUVector(), 0.0);
    ExpectVectorNear(actual.GetVVector(), expected.GetVVector(), 0.0);
}

// Exact observations of the segment middle +- direction by count cameras 5 away.
std::vector<SImageLine> Observe(const C3DVector& middle, const C3DVector& direction, int count) {
    std::vector<SImageLine> observations;
    for (const CCameraParam& camera : CamerasAroundLine(middle, direction, 5.0, count)) {
        observations.push_back(ObserveSegment(camera, middle - direction, middle + direction));
    }
    return observations;
}

TEST(C3DLineCreate, ExactSegmentsGiveTheTrueLine) {
    std::mt19937_64 generator(11);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (const int count : {2, 3, 10, 40}) {  // more than 32: work arrays on the heap
        for (int trial = 0; trial < 20; ++trial) {
            SCOPED_TRACE(testing::Message() << count << " cameras, trial " << trial);
            const C3DVector direction =
                C3DVector(uniform(generator), uniform(generator), uniform(generator))
                    .GetNormalizedVector();
            // The first trials put the line through or near the origin, where the least-squares
            // point may lie far along the line compared with its distance from the origin.
            const double offsets[4] = {0.0, 1e-12, 1e-8, 1e-4};
            const C3DVector middle =
                trial < 4 ? direction.GetCrossProduct(C3DVector(0, 0, 1)).GetNormalizedVector() *
                                offsets[trial]
                          : C3DVector(3.0 * uniform(generator), 3.0 * uniform(generator), 0.0);
            // Near the origin the homogeneous least-squares point is nearly at infinity and only
            // about half the digits survive (over 1000 seeds: 7e-8 in position, 1.4e-5 px).
            const double size = (1.0 + middle.GetNorm()) * (trial < 4 ? 200.0 : 1.0);
            const double pixels = trial < 4 ? 5e-5 : 1e-6;
            const std::vector<SImageLine> observations = Observe(middle, direction, count);
            C3DLine line;
            ASSERT_TRUE(line.CreateFromImageLines(ToArray(observations)));
            const C3DAxis& axis = line.Get3DAxis();
            // Direction: parallel to the truth, unit, with its largest component positive.
            const C3DVector& v = line.GetDirectionVector();
            EXPECT_LT(v.GetCrossProduct(direction).GetNorm(), 1e-9);
            EXPECT_NEAR(v.GetNorm(), 1.0, 1e-15);
            const double magnitude[3] = {
                std::fabs(v.GetData(0)), std::fabs(v.GetData(1)), std::fabs(v.GetData(2))};
            const auto largest = std::max_element(magnitude, magnitude + 3) - magnitude;
            EXPECT_GT(v.GetData(static_cast<int>(largest)), 0.0);
            // Position: the true points lie on it, and the foot form is proper.
            const C3DVector trueFoot = middle - direction * middle.GetDotProduct(direction);
            EXPECT_NEAR(axis.GetDistance(), trueFoot.GetNorm(), 1e-9 * size);
            EXPECT_LT(DistanceFromAxis(axis, middle + direction), 1e-9 * size);
            EXPECT_LT(DistanceFromAxis(axis, middle - direction), 1e-9 * size);
            EXPECT_NEAR(axis.GetUVector().GetDotProduct(v), 0.0, 1e-12);
            // It reprojects onto the observed image lines (image coordinates ~1000).
            for (const SImageLine& observation : observations) {
                C2DLine image;
                ASSERT_TRUE(line.Reproject(observation.cameraParam, image));
                double params[3];
                image.GetLineParams(params);
                C2DCoordinate ends[2];
                observation.lineSegment.GetEndPoints(ends[0], ends[1]);
                for (const C2DCoordinate& end : ends) {
                    EXPECT_LT(DistanceFromParams(params, end), pixels);
                }
            }
        }
    }
}

TEST(C3DLineCreate, HalfTurnFrameAndSmallTurnAreKept) {
    // Along +x with its foot at (0, -2, 0) the frame (rows V, U, V x U) is a half-turn about x,
    // where the skew part of the matrix vanishes. Along (1, 2e-7, 0) with its foot along +y it is
    // a turn of 2e-7 rad about z, which must not be rounded to the identity on its way through a
    // rotation vector.
    const C3DVector feet[2] = {C3DVector(0.0, -2.0, 0.0), C3DVector(0.0, 2.0, 0.0)};
    const C3DVector directions[2] = {C3DVector(1.0, 0.0, 0.0),
                                     C3DVector(1.0, 2e-7, 0.0).GetNormalizedVector()};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        C3DLine line;
        ASSERT_TRUE(line.CreateFromImageLines(ToArray(Observe(feet[i], directions[i], 3))));
        EXPECT_LT((line.GetDirectionVector() - directions[i]).GetNorm(), 1e-12);
        EXPECT_LT(DistanceFromAxis(line.Get3DAxis(), feet[i]), 1e-9);
    }
}

TEST(C3DLineCreate, RejectedObservationsAndRefusedWorkspaceLeaveTheLineUnchanged) {
    // 40 observations: more than the stack holds, so the stacked systems come from the heap.
    const std::vector<SImageLine> many =
        Observe(C3DVector(0, 0.5, 0.25), C3DVector(1, 0, 0.05), 40);
    std::vector<SImageLine> blind = {many[0], many[1]};  // focal length NaN: no plane
    blind[1].cameraParam.SetIntrinsicParam(
        CIntrinsicParam(std::numeric_limits<double>::quiet_NaN(), C2DCoordinate(640.0, 480.0)));
    // The same observation twice: the two viewing planes coincide.
    const std::vector<SImageLine> rejected[] = {{}, {many[0]}, blind, {many[0], many[0]}};
    const C3DAxis before(C3DVector(0.0, 0.0, 1.0), C3DVector(0.0, 1.0, 0.0), 7.0);
    for (const auto& observations : rejected) {
        SCOPED_TRACE(observations.size());
        C3DLine line(before);
        EXPECT_FALSE(line.CreateFromImageLines(ToArray(observations)));
        ExpectSameAxis(line.Get3DAxis(), before);
    }
    const C1DArray<SImageLine> array = ToArray(many);
    const int allocations = SweepAllocationFailures("CreateFromImageLines", [&]() {
        C3DLine line(before);
        const bool created = line.CreateFromImageLines(array);
        if (!created) {
            ExpectSameAxis(line.Get3DAxis(), before);
        }
        return created;
    });
    // The four flattened arrays (two blocks each) are refused too, not only the fit's normals and
    // planes (two blocks each): they once came from operator new, out of the injector's reach.
    EXPECT_EQ(allocations, 12);
}

// Two observations by cameras at the world origin with R = I, f = 1 and the principal point at
// 0: their image lines (1, +-s, -1) are the plane normals themselves.
int FitTwoPlanes(double s, double* result) {
    const double cameras[14] = {0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, -1, 1};
    const double lines[14] = {1, s, -1, 0, 0, 0, 0, 1, -s, -1, 0, 0, 0, 0};
    const double principal[2] = {0.0, 0.0};
    return dfitline3d(2, cameras, lines, principal, principal, result);
}

// w1 / w2 of the normals that FitTwoPlanes(s) decomposes.
double NormalQuotient(double s) {
    double rows[6] = {1.0, s, -1.0, 1.0, -s, -1.0};
    dnormalize(3, rows);
    dnormalize(3, rows + 3);
    const CIndexed a(2, 3, std::vector<double>(rows, rows + 6)), v(3, 3, {});
    double w[4];  // [1..3]
    return dsvd_inplace(*a, 2, 3, w, *v) ? w[1] / w[2] : std::numeric_limits<double>::quiet_NaN();
}

TEST(DFitLine3D, DirectionLimitAcceptsFiftyAndRejectsAbove) {
    // The normals (1, +-s, -1) / |.| have w1 / w2 = sqrt(2) / s. Over 4000 ulps of s around
    // sqrt(2) / 50 the fit succeeds exactly where the decomposed quotient is at most 50.
    double s = std::sqrt(2.0) / 50.0;
    for (int step = 0; step < 2000; ++step) {
        s = std::nextafter(s, 0.0);
    }
    bool sawFifty = false, sawAbove = false;
    for (int step = 0; step < 4000; ++step, s = std::nextafter(s, 1.0)) {
        const double quotient = NormalQuotient(s);
        sawFifty = sawFifty || quotient == 50.0;
        sawAbove = sawAbove || quotient > 50.0;
        double result[4];
        ASSERT_EQ(FitTwoPlanes(s, result), quotient <= 50.0 ? 1 : 0) << s << " " << quotient;
    }
    EXPECT_TRUE(sawFifty);
    EXPECT_TRUE(sawAbove);
}

TEST(DFitLine3D, AxisThroughTheOriginSeenFromTheOrigin) {
    // Three cameras at the origin (R = I, f = 1) see lines through their principal point: every
    // plane contains the z axis and the origin, so the homogeneous point is not determined at
    // all. The line is the z axis, at distance 0 with some foot vector perpendicular to it.
    const double cameras[21] = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    const double lines[21] = {1, 0.5, 0, 0, 0, 0, 0, 1, -0.3, 0, 0, 0, 0, 0, 0.2, 1, 0, 0, 0, 0, 0};
    const double principal[3] = {0.0, 0.0, 0.0};
    double result[4];
    ASSERT_EQ(dfitline3d(3, cameras, lines, principal, principal, result), 1);
    EXPECT_EQ(result[3], 0.0);
    const CRotateMatrix frame = CRotateVector(C3DVector(result)).GetRotateMatrix();
    ExpectVectorNear(frame.GetRowVector(0), C3DVector(0.0, 0.0, 1.0), 1e-15);
    EXPECT_NEAR(frame.GetRowVector(1).GetData(2), 0.0, 1e-15);
}

TEST(DFitLine3D, MatrixFormMatchesTheRotationVectorForm) {
    // Cameras given by rotation vector and by drotvec2mat of it give the same bits and the same
    // failures: random views, turns below the series limit, half-turns, a NaN rotation and
    // parallel planes.
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    const double special[][3] = {
        {1e-6, 0.0, 0.0}, {3.141592653589793, 0.0, 0.0}, {0.0, std::nan(""), 0.0}, {0.0, 0.0, 0.0}};
    for (int trial = 0; trial < 200; ++trial) {
        const int n = 2 + trial % 5;
        std::vector<double> vectors(7 * n), matrices(13 * n), lines(7 * n, 0.0), px(n), py(n);
        for (int i = 0; i < n; ++i) {
            double* camera = &vectors[7 * i];
            for (int j = 0; j < 7; ++j) {
                camera[j] = value(random);
            }
            if (trial % 4 == 0 && i == 0) {
                std::copy(special[trial / 4 % 4], special[trial / 4 % 4] + 3, camera);
            }
            drotvec2mat(camera, &matrices[13 * i]);
            std::copy(camera + 3, camera + 7, &matrices[13 * i + 9]);
            for (int j = 0; j < 3; ++j) {
                lines[7 * i + j] = trial % 9 == 0 ? 1.0 : value(random);  // equal: parallel
            }
            px[i] = value(random);
            py[i] = value(random);
        }
        double fromVectors[4] = {7, 7, 7, 7}, fromMatrices[4] = {7, 7, 7, 7};
        const int okVectors =
            dfitline3d(n, vectors.data(), lines.data(), px.data(), py.data(), fromVectors);
        ASSERT_EQ(dfitline3d_matrices(
                      n, matrices.data(), lines.data(), px.data(), py.data(), fromMatrices),
                  okVectors)
            << trial;
        for (int j = 0; j < 4; ++j) {
            EXPECT_TRUE(SameBits(fromVectors[j], fromMatrices[j])) << trial << " " << j;
        }
    }
}

TEST(C3DLineTransform, MovesPointsAndRejectsZeroScale) {
    const C3DAxis axis(C3DVector(0.0, 0.6, 0.8), C3DVector(1.0, 0.0, 0.0), 2.5);
    std::mt19937_64 generator(5);
    const CRotateMatrix rotation = RandomRotation(generator);
    const C3DVector translation(1.0, -2.0, 0.5);
    C3DLine line(axis);
    const C3DVector point = axis.GetCoordinate(3.0);
    ASSERT_TRUE(line.Transform(rotation, translation, 2.0));
    EXPECT_LT(DistanceFromAxis(line.Get3DAxis(), (rotation * point + translation) / 2.0), 1e-14);
    const C3DLine moved(line);
    EXPECT_FALSE(line.Transform(rotation, translation, 0.0));
    ExpectSameAxis(line.Get3DAxis(), moved.Get3DAxis());
}

}  // namespace
