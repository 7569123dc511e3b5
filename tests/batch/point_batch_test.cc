#include "polyview/batch/point_batch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/shapes3d/point3d.h"
#include "support/camera_rig.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Six cameras of random orientation, focal length and principal point around the origin, the
// last a copy of the one before (the same pixel in both is one ray twice).
C1DArray<CCameraParam> Rig(std::mt19937_64& generator) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    C1DArray<CCameraParam> cameras;
    cameras.SetSize(6);
    for (int k = 0; k < 6; ++k) {
        if (k == 5) {
            cameras[k] = cameras[4];
            break;
        }
        const C3DVector centre(8.0 * std::cos(k), 8.0 * std::sin(k), 2.0 * uniform(generator));
        const C3DVector target(uniform(generator), uniform(generator), uniform(generator));
        cameras[k] = LookAtCamera(
            centre, target, 900.0 + 300.0 * uniform(generator), 320.0, 240.0 + 9.0 * k);
        if (k == 3) {  // a rotation given as a matrix of no special form
            const CRotateMatrix turn = RandomRotation(generator);
            cameras[k] = CCameraParam(cameras[k].GetIntrinsicParam(),
                                      CExtrinsicParam(turn, C3DVector(0.1, -0.3, 7.5)));
        }
    }
    return cameras;
}

// count rows of picks of random points: noisy images, some views missing (u, v or both NaN),
// rows with one or no view, rows seen only by the two cameras at one centre, infinite pixels.
std::vector<double> Picks(const C1DArray<CCameraParam>& cameras,
                          int count,
                          std::mt19937_64& generator) {
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.5);
    const int n = cameras.GetSize();
    std::vector<double> picks(2 * n * count);
    for (int i = 0; i < count; ++i) {
        const C3DVector point(uniform(generator), uniform(generator), uniform(generator));
        double* row = picks.data() + 2 * n * i;
        for (int k = 0; k < n; ++k) {
            const C2DCoordinate image = ProjectPoint(cameras[k], point);
            row[2 * k] = image.GetData(0) + noise(generator);
            row[2 * k + 1] = image.GetData(1) + noise(generator);
            const double dice = uniform(generator);
            if (dice > 0.6) {
                row[2 * k + (dice > 0.8 ? 1 : 0)] = kNaN;
            }
        }
        switch (i % 16) {
            case 1:  // one view
                std::fill(row + 2, row + 2 * n, kNaN);
                break;
            case 2:  // none
                std::fill(row, row + 2 * n, kNaN);
                break;
            case 3:  // the same camera twice, seeing the same ray
                std::fill(row, row + 8, kNaN);
                row[8] = row[10] = 300.0;
                row[9] = row[11] = 200.0;
                break;
            case 4:
                row[0] = kInf;
                row[1] = 10.0;
                break;
            default:
                break;
        }
    }
    return picks;
}

// What C3DPoint::CreateFromImagePoints makes of row, the cameras that saw it in camera order.
bool Single(const C1DArray<CCameraParam>& cameras, const double* row, C3DPoint& point) {
    C1DArray<SImagePoint> observations;
    for (int k = 0; k < cameras.GetSize(); ++k) {
        if (!std::isnan(row[2 * k]) && !std::isnan(row[2 * k + 1])) {
            const int at = observations.GetSize();
            observations.SetSize(at + 1);
            observations[at] = {cameras[k], C2DCoordinate(row[2 * k], row[2 * k + 1])};
        }
    }
    return point.CreateFromImagePoints(observations);
}

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(CPointBatchTriangulate, EachPointIsTheSingleCallBitForBit) {
    std::mt19937_64 generator(20261207);
    int failures = 0;
    for (int scene = 0; scene < 4; ++scene) {
        const C1DArray<CCameraParam> cameras = Rig(generator);
        const int count = 400;
        const std::vector<double> picks = Picks(cameras, count, generator);
        const CPointBatch batch(cameras);
        ASSERT_EQ(batch.GetCameraCount(), 6);
        std::vector<double> points(3 * count, 5.0);
        const std::unique_ptr<bool[]> ok(new bool[count]);
        ASSERT_TRUE(batch.Triangulate(count, picks.data(), points.data(), ok.get(), 1));
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            C3DPoint single;
            const bool made = Single(cameras, picks.data() + 12 * i, single);
            ASSERT_EQ(ok[i], made);
            for (int c = 0; c < 3; ++c) {
                EXPECT_TRUE(made ? SameBits(points[3 * i + c], single.GetPoint().GetData(c))
                                 : std::isnan(points[3 * i + c]));
            }
            failures += made ? 0 : 1;
            if (i % 16 >= 1 && i % 16 <= 4) {
                EXPECT_FALSE(ok[i]);  // one view, none, parallel rays, an infinite pixel
            }
        }
    }
    EXPECT_GT(failures, 4 * 400 / 4);  // the built failures and some of the random missing views
    EXPECT_LT(failures, 4 * 400 / 2);
}

TEST(CPointBatchTriangulate, ThreadCountDoesNotChangeABit) {
    std::mt19937_64 generator(7);
    const C1DArray<CCameraParam> cameras = Rig(generator);
    const CPointBatch batch(cameras);
    for (const int count : {1, 3, 257}) {
        const std::vector<double> picks = Picks(cameras, count, generator);
        std::vector<double> first(3 * count);
        bool firstOk[257];
        ASSERT_TRUE(batch.Triangulate(count, picks.data(), first.data(), firstOk, 1));
        for (const int threads : {2, 3, 4, 300}) {
            SCOPED_TRACE(testing::Message() << count << " points, " << threads << " threads");
            std::vector<double> points(3 * count, 5.0);
            bool ok[257];
            ASSERT_TRUE(batch.Triangulate(count, picks.data(), points.data(), ok, threads));
            EXPECT_EQ(std::memcmp(points.data(), first.data(), 8 * points.size()), 0);
            EXPECT_EQ(std::memcmp(ok, firstOk, count), 0);
        }
    }
    // A copy and an assigned batch have the same cameras.
    CPointBatch assigned;
    assigned = batch;
    const CPointBatch copied(batch);
    const CPointBatch* const others[] = {&assigned, &copied};
    for (const CPointBatch* other : others) {
        const std::vector<double> picks = Picks(cameras, 20, generator);
        double points[2][60];
        bool ok[2][20];
        ASSERT_TRUE(batch.Triangulate(20, picks.data(), points[0], ok[0], 1));
        ASSERT_TRUE(other->Triangulate(20, picks.data(), points[1], ok[1], 2));
        EXPECT_EQ(std::memcmp(points[0], points[1], sizeof points[0]), 0);
    }
}

TEST(CPointBatchTriangulate, RefusedCallsWriteNothing) {
    std::mt19937_64 generator(3);
    const C1DArray<CCameraParam> cameras = Rig(generator);
    const CPointBatch batch(cameras);
    const std::vector<double> picks = Picks(cameras, 2, generator);
    double points[6] = {5.0, 5.0, 5.0, 5.0, 5.0, 5.0};
    bool ok[2] = {true, true};
    struct Call {
        int count;
        const double* picks;
        double* points;
        bool* ok;
        int threads;
    };
    const Call refused[] = {{-1, picks.data(), points, ok, 1},
                            {2, picks.data(), points, ok, 0},
                            {2, picks.data(), points, ok, -3},
                            {2, nullptr, points, ok, 1},
                            {2, picks.data(), nullptr, ok, 1},
                            {2, picks.data(), points, nullptr, 1}};
    for (const Call& call : refused) {
        SCOPED_TRACE(testing::Message() << call.count << " points, " << call.threads << " threads");
        EXPECT_FALSE(batch.Triangulate(call.count, call.picks, call.points, call.ok, call.threads));
        EXPECT_EQ(points[0], 5.0);
        EXPECT_EQ(points[5], 5.0);
        EXPECT_TRUE(ok[0] && ok[1]);
    }
    EXPECT_TRUE(batch.Triangulate(0, nullptr, nullptr, nullptr, 1));
    // Without cameras no point has two views.
    const CPointBatch empty;
    EXPECT_EQ(empty.GetCameraCount(), 0);
    EXPECT_TRUE(empty.Triangulate(2, picks.data(), points, ok, 2));
    EXPECT_TRUE(std::isnan(points[0]) && std::isnan(points[5]));
    EXPECT_FALSE(ok[0] || ok[1]);
}

}  // namespace
