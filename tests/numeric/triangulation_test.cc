#include "polyview/numeric/triangulation.h"

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/foundations/camera_param.h"
#include "polyview/numeric/rotation.h"
#include "support/camera_rig.h"

namespace {

const double kLimit = 500000.0;

// The fast decision, where it decides, and the combined one agree with the decomposition's.
// Returns whether the bounds decided.
bool ExpectSameDecision(const double* normal) {
    const bool full = dray_conditioning_fails_svd(normal);
    const int bound = dray_conditioning_bound(normal);
    if (bound >= 0) {
        EXPECT_EQ(bound == 1, full);
    }
    EXPECT_EQ(dray_conditioning_fails(normal), full);
    return bound >= 0;
}

// Q diag(s) P^T (P = Q for a symmetric one) from random rotations, row-major.
void Compose(std::mt19937_64& generator, const double* s, bool symmetric, double* matrix) {
    std::normal_distribution<double> normal(0.0, 1.0);
    double q[9];
    double p[9];
    const double r[3] = {normal(generator), normal(generator), normal(generator)};
    const double t[3] = {normal(generator), normal(generator), normal(generator)};
    drotvec2mat(r, q);
    drotvec2mat(symmetric ? r : t, p);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            matrix[3 * i + j] = 0.0;
            for (int k = 0; k < 3; ++k) {
                matrix[3 * i + j] += q[3 * i + k] * s[k] * p[3 * j + k];
            }
        }
    }
}

TEST(RayConditioning, BoundsAgreeWithTheDecompositionAcrossTheLimit) {
    std::mt19937_64 generator(5);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> quotients;
    for (int i = 0; i <= 600; ++i) {
        quotients.push_back(1e4 * std::pow(1e3, i / 600.0));  // 1e4 to 1e7, log-spaced
    }
    for (int i = -100; i <= 100; ++i) {
        quotients.push_back(kLimit * (1.0 + 1e-8 * i));  // within 1e-6 relative of the limit
    }
    int decided = 0;
    int clearCases = 0;
    for (double quotient : quotients) {
        for (int trial = 0; trial < 4; ++trial) {
            const double scale = std::pow(10.0, 20.0 * uniform(generator) - 10.0);
            const double spread = std::pow(10.0, 3.0 * uniform(generator));  // s1 / s2
            const double s[3] = {scale * spread, scale, scale / quotient};
            double matrix[9];
            Compose(generator, s, trial % 2 == 0, matrix);
            SCOPED_TRACE(testing::Message() << "quotient " << quotient << ", scale " << scale);
            const bool fast = ExpectSameDecision(matrix);
            decided += fast;
            if (quotient < 1e5 || (quotient > 3e6 && spread < 10.0)) {
                ++clearCases;
                EXPECT_TRUE(fast);  // far from the limit the bounds must decide
            }
        }
    }
    EXPECT_GT(clearCases, 900);
    EXPECT_GT(decided, clearCases);
}

TEST(RayConditioning, ExactLimitZerosDenormalsAndNonFiniteEntries) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double tiny = std::numeric_limits<double>::denorm_min();
    const double above = std::nextafter(kLimit, inf);
    const struct {
        double diagonal[3];
        bool fails;
    } diagonals[] = {
        {{1e6, kLimit, 1.0}, false},  // exactly 500000 passes
        {{1.0, kLimit, 1e6}, false},
        {{1e6, above, 1.0}, true},
        {{1.0, 1.0, 0.0}, true},   // an infinite quotient
        {{0.0, 0.0, 0.0}, false},  // 0 / 0 is not a number, and passes
        {{1.0, 0.0, 0.0}, false},
        {{1.0, 1.0, tiny}, true},
        {{1.0, 1e-300, 1e-310}, true},
        {{tiny, tiny, tiny}, false},
        {{2.0, 1.0, 1.0}, false},
    };
    for (const auto& d : diagonals) {
        SCOPED_TRACE(testing::Message()
                     << d.diagonal[0] << " " << d.diagonal[1] << " " << d.diagonal[2]);
        const double matrix[9] = {d.diagonal[0], 0, 0, 0, d.diagonal[1], 0, 0, 0, d.diagonal[2]};
        EXPECT_EQ(dray_conditioning_fails_svd(matrix), d.fails);
        ExpectSameDecision(matrix);
    }
    for (double bad : {nan, inf, -inf}) {
        for (int at = 0; at < 9; ++at) {
            double matrix[9] = {2, 0.1, 0, 0.1, 1.5, 0.2, 0, 0.2, 1};
            matrix[at] = bad;
            EXPECT_EQ(dray_conditioning_bound(matrix), -1);
            ExpectSameDecision(matrix);
        }
    }
}

// Normal matrices of real ray bundles: two rays meeting at angles through the limit (the tested
// quotient is cot(phi / 2)^2, 500000 near phi = 2.828e-3), and noisy views of a point from cameras
// all around it down to a narrow cone, near and far.
TEST(RayConditioning, BoundsAgreeOnRayGeometries) {
    std::mt19937_64 generator(17);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    const auto sums = [](const std::vector<SRayCamera>& cameras, const std::vector<double>& uv) {
        SRaySums result;
        dray_sums_clear(result);
        for (size_t k = 0; k < cameras.size(); ++k) {
            dray_add(cameras[k], uv.data() + 2 * k, result);
        }
        return result;
    };
    for (int i = 0; i <= 400; ++i) {
        const double phi = 1e-4 * std::pow(1e3, i / 400.0);
        const CCameraParam first(CIntrinsicParam(1.0, C2DCoordinate(0, 0)),
                                 CExtrinsicParam(CRotateMatrix(), C3DVector(0, 0, 0)));
        const CCameraParam second(
            CIntrinsicParam(1.0, C2DCoordinate(0, 0)),
            CExtrinsicParam(CRotateMatrix(), C3DVector(-std::tan(phi), 0, 0)));
        std::vector<SRayCamera> cameras(2);
        dray_camera(first, cameras[0]);
        dray_camera(second, cameras[1]);
        SCOPED_TRACE(phi);
        ExpectSameDecision(sums(cameras, {0.0, 0.0, -std::tan(phi), 0.0}).normal);
    }
    int decided = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const int views = 2 + trial % 5;
        const double distance = std::pow(10.0, 4.0 * (trial % 7) / 6.0);  // 1 to 1e4 away
        const double spread = std::pow(10.0, -(trial % 6));  // from all around to a narrow cone
        const C3DVector target(uniform(generator), uniform(generator), uniform(generator));
        std::vector<SRayCamera> cameras(views);
        std::vector<double> uv;
        for (int k = 0; k < views; ++k) {
            const C3DVector centre(
                spread * uniform(generator), spread * uniform(generator), 1.0 + uniform(generator));
            const CCameraParam camera =
                LookAtCamera(target + centre.GetNormalizedVector() * distance, target, 1500.0);
            dray_camera(camera, cameras[k]);
            const C2DCoordinate image = ProjectPoint(camera, target);
            uv.push_back(image.GetData(0) + uniform(generator));
            uv.push_back(image.GetData(1) + uniform(generator));
        }
        SCOPED_TRACE(testing::Message() << views << " views at " << distance);
        decided += ExpectSameDecision(sums(cameras, uv).normal);
    }
    EXPECT_GT(decided, 150);
}

}  // namespace
