// The const members that compute (not the plain getters) of one object of each shape class, run
// from four threads at once on the same objects, give bit for bit what they give on one thread.
// Built with ThreadSanitizer by the CI's tsan step, this also shows that none of them writes shared
// state.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/angle.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/bspline2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"
#include "support/camera_rig.h"
#include "support/expect_geometry.h"
#include "support/expect_line2d.h"

namespace {

const int kThreads = 4;
const int kRounds = 50;

// One object of each shape class, and the cameras and observations the const members take.
struct SScene {
    SScene() {
        plane.SetApproximationPlane(ToArray({C3DCoordinate(0.0, 0.0, 0.1),
                                             C3DCoordinate(2.0, 0.0, 0.3),
                                             C3DCoordinate(2.0, 1.0, 0.2),
                                             C3DCoordinate(0.0, 1.0, 0.0)}));
        cylinder.Set3DCylinder(axis, CRange(-1.0, 1.0), 0.1, true, true, true);
        picks.SetSize(6);
        for (int i = 0; i < 6; ++i) {
            picks[i].SetVector(20.0 + 25.0 * i, 100.0 + 15.0 * (i % 3));
        }
    }

    const C3DAxis axis{C3DVector(0.0, 0.6, 0.8), C3DVector(1.0, 0.0, 0.0), 0.5};
    CCameraParam camera =
        LookAtCamera(C3DVector(4.0, -6.0, 3.0), C3DVector(0.0, 0.0, 0.5), 800.0, 320.0, 240.0);
    C3DPoint point{C3DCoordinate(0.3, -0.2, 0.7)};
    C3DLine line{axis};
    C3DLineSegment segment{axis, CRange(-1.0, 1.5)};
    C3DLineSegment otherSegment{C3DAxis(C3DVector(1.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 0.8),
                                CRange(0.0, 2.0)};
    C3DPlane plane;
    C3DCylinder cylinder;
    C2DLine line2d = MakeLine(1.0, -2.0, 30.0);
    C2DLineSegment segment2d{C2DCoordinate(10.0, 20.0), C2DCoordinate(300.0, 90.0)};
    C2DLineSegment otherSegment2d{C2DCoordinate(12.0, 30.0), C2DCoordinate(280.0, 100.0)};
    C1DArray<C2DCoordinate> picks;
};

// The results of the const members, in a fixed order.
struct SOut {
    std::vector<double> values;
    bool succeeded = true;  // every call given to Ok succeeded
    void Ok(bool success) {
        succeeded = succeeded && success;
        Put(success);
    }
    void Put(double value) { values.push_back(value); }
    template <typename A, typename B, typename... Rest>
    void Put(const A& a, const B& b, const Rest&... rest) {  // in the order given
        Put(a);
        Put(b, rest...);
    }
    void Put(const C2DVector& v) { Put(v.GetData(0), v.GetData(1)); }
    void Put(const C3DVector& v) { Put(v.GetData(0), v.GetData(1), v.GetData(2)); }
    void Put(const C2DLine& line) {
        double params[3];
        line.GetLineParams(params);
        Put(params[0], params[1], params[2]);
    }
    void Put(const C2DLineSegment& segment) {
        C2DCoordinate start, end;
        segment.GetEndPoints(start, end);
        Put(C2DLine(segment), start, end);
    }
};

// Every const member of every object once.
SOut RunConstMembers(const SScene& s) {
    SOut out;
    const C2DCoordinate observed[4] = {C2DCoordinate(300.0, 200.0),
                                       C2DCoordinate(340.0, 260.0),
                                       C2DCoordinate(310.0, 210.0),
                                       C2DCoordinate(350.0, 270.0)};
    // Point.
    C2DCoordinate image;
    double residual = -1.0;
    out.Ok(s.point.Reproject(s.camera, image, observed, &residual));
    out.Put(image, residual, s.point.GetPoint());
    // Line.
    C2DLine projectedLine;
    out.Ok(s.line.Reproject(s.camera, projectedLine));
    out.Put(projectedLine, s.line.GetDirectionVector());
    // Segment.
    C2DLineSegment projectedSegment;
    out.Ok(s.segment.Reproject(s.camera, projectedSegment, observed, &residual));
    out.Put(projectedSegment, residual);
    C3DCoordinate points[2];
    double distance = 0.0;
    s.segment.GetDistancePoint2Line(C3DCoordinate(1.0, 2.0, 3.0), points[0], distance);
    out.Put(points[0], distance);
    CAngle angle;
    out.Put(s.segment.GetAngleLine2Line(s.otherSegment, angle));
    out.Put(angle.GetRadian());
    out.Put(s.segment.GetDistanceLine2Line(s.otherSegment, points, distance));
    out.Put(points[0], points[1], distance);
    // Plane (the polygon and the circle have getters only).
    out.Put(s.plane.GetDistance(C3DCoordinate(1.0, 1.0, 1.0), points[0]));
    out.Put(points[0], s.plane.GetAngle(s.line).GetDegree());
    // Cylinder.
    out.Put(s.cylinder.GetEndPoint3D(points[0], points[1]));
    out.Put(points[0], points[1]);
    C2DCoordinate start2, end2;
    out.Put(s.cylinder.GetEndPoint2D(s.camera, start2, end2));
    out.Put(start2, end2);
    C2DLineSegment centerLine, edges[2];
    double distances[4] = {0.0, 0.0, 0.0, 0.0}, maxDistance = 0.0;
    out.Ok(s.cylinder.Reproject(s.camera, centerLine, edges, observed, distances, &maxDistance));
    out.Put(centerLine, edges[0], edges[1], distances[0], distances[1], distances[2], distances[3]);
    out.Put(maxDistance);
    // 2D line and segment.
    out.Put(s.line2d.GetDistance(C2DCoordinate(5.0, 6.0)));
    C2DCoordinate crossing;
    out.Put(s.line2d.GetIntersection(C2DLine(s.segment2d), crossing));
    out.Put(crossing);
    C2DLine centre;
    out.Put(s.line2d.CalcCenterLine(C2DLine(s.segment2d), centre));
    out.Put(centre);
    out.Put(s.line2d.GetLineSegment(0.0, 0.0, 640.0, 480.0));
    C2DLineSegment result;
    out.Ok(s.segment2d.Unify(s.otherSegment2d, result, 20.0));
    out.Put(result);
    out.Put(s.segment2d.IsIn(640.0, 480.0));
    out.Put(s.segment2d.GetLength(), s.segment2d.GetCenterCoordinate());
    out.Put(s.segment2d.CalcCenterLine(s.otherSegment2d, result));
    out.Put(result);
    // B-spline sampling of shared picks (static members, per-call work only).
    for (const bool passThrough : {true, false}) {
        C1DArray<C2DCoordinate> samples;
        samples.SetSize(16);
        out.Ok(C2DBSpline::GetSamplePoint(s.picks, 14.0, samples, passThrough) == NoError);
        for (int i = 0; i < samples.GetSize(); ++i) {
            out.Put(samples[i]);
        }
    }
    return out;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(ConstMembersFromThreads, FourThreadsGiveTheSingleThreadedResults) {
    const SScene scene;
    const SOut first = RunConstMembers(scene);
    const std::vector<double>& reference = first.values;
    ASSERT_GT(reference.size(), 100u);
    ASSERT_TRUE(first.succeeded);  // the success paths, where most of the work is

    std::atomic<int> ready{0};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();  // start together, to overlap as much as possible
            }
            for (int round = 0; round < kRounds; ++round) {
                mismatches += SameBits(RunConstMembers(scene).values, reference) ? 0 : 1;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    // The objects themselves are as they were built.
    const SScene fresh;
    EXPECT_TRUE(SameBits(RunConstMembers(fresh).values, reference));
}

}  // namespace
