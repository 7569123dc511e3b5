// The const members of one object of each shape class, run from four threads at once on the same
// objects, give bit for bit what they give on one thread. Built with ThreadSanitizer by the CI's
// tsan step, this also shows that none of them writes shared state.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "hardening/object_state.h"
#include <gtest/gtest.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/angle.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/range.h"
#include "polyview/geometry2d/bspline2d.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/shapes3d/circle3d.h"
#include "polyview/shapes3d/line3d.h"
#include "polyview/shapes3d/line_segment3d.h"
#include "polyview/shapes3d/planar_polygon3d.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/point3d.h"
#include "support/camera_rig.h"

namespace {

const int kThreads = 4;
const int kRounds = 50;

// One object of each shape class, and the cameras and observations the const members take.
struct SScene {
    SScene() {
        camera =
            LookAtCamera(C3DVector(4.0, -6.0, 3.0), C3DVector(0.0, 0.0, 0.5), 800.0, 320.0, 240.0);
        otherCamera =
            LookAtCamera(C3DVector(-5.0, -4.0, 2.0), C3DVector(0.0, 0.0, 0.5), 700.0, 320.0, 240.0);
        point = C3DPoint(C3DCoordinate(0.3, -0.2, 0.7));
        const C3DAxis axis(C3DVector(0.0, 0.6, 0.8), C3DVector(1.0, 0.0, 0.0), 0.5);
        line = C3DLine(axis);
        segment = C3DLineSegment(axis, CRange(-1.0, 1.5));
        otherSegment = C3DLineSegment(
            C3DAxis(C3DVector(1.0, 0.0, 0.0), C3DVector(0.0, 0.0, 1.0), 0.8), CRange(0.0, 2.0));
        C1DArray<C3DCoordinate> corners;
        corners.SetSize(4);
        corners[0] = C3DCoordinate(0.0, 0.0, 0.1);
        corners[1] = C3DCoordinate(2.0, 0.0, 0.3);
        corners[2] = C3DCoordinate(2.0, 1.0, 0.2);
        corners[3] = C3DCoordinate(0.0, 1.0, 0.0);
        polygon.SetApproximationPlane(corners);
        plane = polygon.GetPlane();
        circle.SetCenter(C3DCoordinate(1.0, 2.0, 3.0));
        circle.SetRadius(0.25);
        cylinder.Set3DCylinder(axis, CRange(-1.0, 1.0), 0.1, true, true, true);
        const double params[3] = {1.0, -2.0, 30.0};
        line2d.SetLineParams(params);
        segment2d.SetEndPoints(C2DCoordinate(10.0, 20.0), C2DCoordinate(300.0, 90.0));
        otherSegment2d.SetEndPoints(C2DCoordinate(12.0, 30.0), C2DCoordinate(280.0, 100.0));
        picks.SetSize(6);
        for (int i = 0; i < 6; ++i) {
            picks[i].SetVector(20.0 + 25.0 * i, 100.0 + 15.0 * (i % 3));
        }
    }

    CCameraParam camera;
    CCameraParam otherCamera;
    C3DPoint point;
    C3DLine line;
    C3DLineSegment segment;
    C3DLineSegment otherSegment;
    C3DPlane plane;
    C3DPlanarPolygon polygon;
    C3DCircle circle;
    C3DCylinder cylinder;
    C2DLine line2d;
    C2DLineSegment segment2d;
    C2DLineSegment otherSegment2d;
    C1DArray<C2DCoordinate> picks;
};

void Put(SValues& out, double value) {
    out.push_back(value);
}
void Put(SValues& out, bool value) {
    out.push_back(value ? 1.0 : 0.0);
}

// Every const member of every object once, results in a fixed order.
SValues RunConstMembers(const SScene& s) {
    SValues out;
    const C2DCoordinate observed[4] = {C2DCoordinate(300.0, 200.0),
                                       C2DCoordinate(340.0, 260.0),
                                       C2DCoordinate(310.0, 210.0),
                                       C2DCoordinate(350.0, 270.0)};
    // Point.
    C2DCoordinate image;
    double residual = -1.0;
    Put(out, s.point.Reproject(s.camera, image, observed, &residual));
    Append(out, image);
    Put(out, residual);
    Append(out, s.point.GetPoint());
    // Line.
    C2DLine projectedLine;
    Put(out, s.line.Reproject(s.camera, projectedLine));
    const SValues lineValues = ValuesOf(projectedLine);
    out.insert(out.end(), lineValues.begin(), lineValues.end());
    Append(out, s.line.GetDirectionVector());
    // Segment.
    C2DLineSegment projectedSegment;
    Put(out, s.segment.Reproject(s.camera, projectedSegment, observed, &residual));
    const SValues segmentValues = ValuesOf(projectedSegment);
    out.insert(out.end(), segmentValues.begin(), segmentValues.end());
    Put(out, residual);
    C3DCoordinate ends[2];
    s.segment.GetEndPoint3D(ends);
    Append(out, ends[0]);
    Append(out, ends[1]);
    C3DCoordinate foot;
    double distance = 0.0;
    s.segment.GetDistancePoint2Line(C3DCoordinate(1.0, 2.0, 3.0), foot, distance);
    Append(out, foot);
    Put(out, distance);
    CAngle angle;
    Put(out, s.segment.GetAngleLine2Line(s.otherSegment, angle));
    Put(out, angle.GetRadian());
    C3DCoordinate closest[2];
    Put(out, s.segment.GetDistanceLine2Line(s.otherSegment, closest, distance));
    Append(out, closest[0]);
    Append(out, closest[1]);
    Put(out, distance);
    // Plane and polygon.
    double params[4];
    s.plane.GetPlaneParam(params);
    out.insert(out.end(), params, params + 4);
    Put(out, s.plane.GetDistance(C3DCoordinate(1.0, 1.0, 1.0), foot));
    Append(out, foot);
    Put(out, s.plane.GetAngle(s.line).GetDegree());
    const SValues polygonValues = ValuesOf(s.polygon);
    out.insert(out.end(), polygonValues.begin(), polygonValues.end());
    // Circle.
    Append(out, s.circle.GetCenter());
    Put(out, s.circle.GetRadius());
    Append(out, s.circle.GetNormalVector());
    // Cylinder.
    C3DCoordinate start3, end3;
    Put(out, s.cylinder.GetEndPoint3D(start3, end3));
    Append(out, start3);
    Append(out, end3);
    C2DCoordinate start2, end2;
    Put(out, s.cylinder.GetEndPoint2D(s.camera, start2, end2));
    Append(out, start2);
    Append(out, end2);
    C2DLineSegment centerLine;
    C2DLineSegment edges[2];
    double distances[4] = {0.0, 0.0, 0.0, 0.0};
    double maxDistance = 0.0;
    Put(out, s.cylinder.Reproject(s.camera, centerLine, edges, observed, distances, &maxDistance));
    for (const C2DLineSegment* projected : {&centerLine, &edges[0], &edges[1]}) {
        const SValues values = ValuesOf(*projected);
        out.insert(out.end(), values.begin(), values.end());
    }
    out.insert(out.end(), distances, distances + 4);
    Put(out, maxDistance);
    // 2D line and segment.
    Put(out, s.line2d.GetDistance(C2DCoordinate(5.0, 6.0)));
    C2DCoordinate crossing;
    Put(out, s.line2d.GetIntersection(C2DLine(s.segment2d), crossing));
    Append(out, crossing);
    C2DLine centre;
    Put(out, s.line2d.CalcCenterLine(C2DLine(s.segment2d), centre));
    const SValues centreValues = ValuesOf(centre);
    out.insert(out.end(), centreValues.begin(), centreValues.end());
    const SValues clipped = ValuesOf(s.line2d.GetLineSegment(0.0, 0.0, 640.0, 480.0));
    out.insert(out.end(), clipped.begin(), clipped.end());
    C2DLineSegment unified;
    Put(out, s.segment2d.Unify(s.otherSegment2d, unified, 20.0));
    const SValues unifiedValues = ValuesOf(unified);
    out.insert(out.end(), unifiedValues.begin(), unifiedValues.end());
    Put(out, s.segment2d.IsIn(640.0, 480.0));
    Put(out, s.segment2d.GetLength());
    Append(out, s.segment2d.GetCenterCoordinate());
    C2DLineSegment centre2d;
    Put(out, s.segment2d.CalcCenterLine(s.otherSegment2d, centre2d));
    const SValues centre2dValues = ValuesOf(centre2d);
    out.insert(out.end(), centre2dValues.begin(), centre2dValues.end());
    // B-spline sampling of shared picks (static members, per-call work only).
    for (const bool passThrough : {true, false}) {
        C1DArray<C2DCoordinate> samples;
        samples.SetSize(16);
        Put(out,
            static_cast<double>(C2DBSpline::GetSamplePoint(s.picks, 14.0, samples, passThrough)));
        const SValues sampleValues = ValuesOf(samples);
        out.insert(out.end(), sampleValues.begin(), sampleValues.end());
    }
    return out;
}

bool SameBits(const SValues& a, const SValues& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(ConstMembersFromThreads, FourThreadsGiveTheSingleThreadedResults) {
    const SScene scene;
    const SValues reference = RunConstMembers(scene);
    ASSERT_GT(reference.size(), 100u);
    {  // the scene takes the members' success paths, where most of the work is
        C2DCoordinate image;
        ASSERT_TRUE(scene.point.Reproject(scene.camera, image, nullptr, nullptr));
        C2DLineSegment projected;
        ASSERT_TRUE(scene.segment.Reproject(scene.camera, projected, nullptr, nullptr));
        C2DLineSegment edges[2];
        ASSERT_TRUE(
            scene.cylinder.Reproject(scene.camera, projected, edges, nullptr, nullptr, nullptr));
        ASSERT_TRUE(scene.segment2d.Unify(scene.otherSegment2d, projected, 20.0));
        C1DArray<C2DCoordinate> samples;
        samples.SetSize(16);
        ASSERT_EQ(C2DBSpline::GetSamplePoint(scene.picks, 20.0, samples, true), NoError);
        ASSERT_EQ(C2DBSpline::GetSamplePoint(scene.picks, 14.0, samples, false), NoError);
    }

    std::atomic<int> ready{0};
    std::vector<std::vector<SValues>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&scene, &ready, &results, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
                std::this_thread::yield();  // start together, to overlap as much as possible
            }
            for (int round = 0; round < kRounds; ++round) {
                results[t].push_back(RunConstMembers(scene));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        SCOPED_TRACE(t);
        ASSERT_EQ(results[t].size(), static_cast<size_t>(kRounds));
        for (int round = 0; round < kRounds; ++round) {
            EXPECT_TRUE(SameBits(results[t][round], reference)) << "round " << round;
        }
    }
    // The objects themselves are as they were built.
    const SScene fresh;
    EXPECT_TRUE(SameBits(RunConstMembers(fresh), reference));
}

}  // namespace
