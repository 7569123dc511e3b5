// Cylinder reconstruction from silhouette edges by tangent planes and by centre lines, from 2, 4
// and 10 images, the 3D line fit that the centre-line method cannot leave out timed alone, and
// the reprojection of a cylinder into one image with its four residuals.
#include <algorithm>
#include <cmath>
#include <vector>

#include "bench_cameras.h"
#include <benchmark/benchmark.h>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/array1d.h"
#include "polyview/foundations/axis3d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line_segment2d.h"
#include "polyview/numeric/line_fit3d.h"
#include "polyview/numeric/pose_access.h"

namespace {

// A pipe of radius 0.1 along (0.6, 0, 0.8), positions -1..1 around (0.2, -0.1, 0.5).
C3DCylinder Pipe() {
    const C3DVector direction(0.6, 0.0, 0.8);
    const C3DVector base(0.2, -0.1, 0.5);
    const double along = base.GetDotProduct(direction);
    const C3DVector foot = base - direction * along;
    C3DCylinder pipe;
    pipe.Set3DCylinder(C3DAxis(foot.GetNormalizedVector(), direction, foot.GetNorm()),
                       CRange(along - 1.0, along + 1.0),
                       0.1,
                       true,
                       true,
                       true);
    return pipe;
}

// Camera i of n on a ring 4 m around the pipe's middle, tilted along the axis, looking at it.
CCameraParam RingCamera(int i, int n) {
    const C3DVector middle(0.2, -0.1, 0.5);
    const double angle = 6.283185307179586 * i / (n + 1) + 0.3;  // never two opposite
    const C3DVector side(0.8, 0.0, -0.6);                        // perpendicular to the axis
    const C3DVector other(0.0, 1.0, 0.0);
    const C3DVector centre = middle + side * (4.0 * std::cos(angle)) +
                             other * (4.0 * std::sin(angle)) + C3DVector(0.6, 0.0, 0.8) * 1.5;
    return BenchCamera(
        centre, middle, C3DVector(0.6, 0.0, 0.8), 1500.0, C2DCoordinate(960.0, 540.0));
}

// The pipe's silhouette edges in n ring cameras, as the library projects them.
C1DArray<SImageCylinder> Observations(int n) {
    const C3DCylinder pipe = Pipe();
    C1DArray<SImageCylinder> records;
    records.SetSize(n);
    for (int i = 0; i < n; ++i) {
        records[i].cameraParam = RingCamera(i, n);
        C2DLineSegment centre;
        pipe.Reproject(
            records[i].cameraParam, centre, records[i].edgeSegment, nullptr, nullptr, nullptr);
    }
    return records;
}

void RunReconstruction(benchmark::State& state, bool fullFit) {
    const C1DArray<SImageCylinder> records = Observations(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        C3DCylinder cylinder;
        if (!cylinder.CreateFromImageCylinder(records, fullFit)) {
            state.SkipWithError("reconstruction failed");
            break;
        }
        benchmark::DoNotOptimize(cylinder.GetRadius());
    }
}

void BM_CreateCylinderTangentPlanes(benchmark::State& state) {
    RunReconstruction(state, true);
}
BENCHMARK(BM_CreateCylinderTangentPlanes)->Arg(2)->Arg(4)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_CreateCylinderCentreLines(benchmark::State& state) {
    RunReconstruction(state, false);
}
BENCHMARK(BM_CreateCylinderCentreLines)->Arg(2)->Arg(4)->Arg(10)->Unit(benchmark::kMicrosecond);

// The floor of the centre-line method: the 3D line fit through the centre lines (its two
// decompositions included), on the rows the method hands it, formed once outside the loop.
void BM_CentreLineFitAlone(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const C1DArray<SImageCylinder> records = Observations(n);
    std::vector<double> cameras(13 * static_cast<size_t>(n));
    std::vector<double> lines(7 * static_cast<size_t>(n), 0.0);
    std::vector<double> principalX(static_cast<size_t>(n));
    std::vector<double> principalY(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        C2DLineSegment centre;
        if (!records[i].edgeSegment[0].CalcCenterLine(records[i].edgeSegment[1], centre)) {
            state.SkipWithError("no centre line");
            return;
        }
        const CCameraParam& camera = records[i].cameraParam;
        const double* rotation = SPoseSolverAccess::LineRotation(camera.GetExtrinsicParam());
        std::copy(rotation, rotation + 9, &cameras[13 * static_cast<size_t>(i)]);
        camera.GetExtrinsicParam().GetTranslateVector().GetVector(&cameras[13 * i + 9]);
        cameras[13 * static_cast<size_t>(i) + 12] =
            camera.GetIntrinsicParam().GetFocalLengthParam();
        principalX[i] = camera.GetIntrinsicParam().GetPrincipalPointParam().GetData(0);
        principalY[i] = camera.GetIntrinsicParam().GetPrincipalPointParam().GetData(1);
        centre.GetLineParams(&lines[7 * static_cast<size_t>(i)]);
    }
    double result[4];
    for (auto _ : state) {
        if (dfitline3d_matrices(
                n, cameras.data(), lines.data(), principalX.data(), principalY.data(), result) ==
            0) {
            state.SkipWithError("line fit failed");
            break;
        }
        benchmark::DoNotOptimize(result[3]);
    }
}
BENCHMARK(BM_CentreLineFitAlone)->Arg(2)->Arg(4)->Arg(10)->Unit(benchmark::kMicrosecond);

// Silhouette, centre line and the four observed-point distances in one image.
void BM_CylinderReproject(benchmark::State& state) {
    const C3DCylinder pipe = Pipe();
    const C1DArray<SImageCylinder> records = Observations(4);
    C2DCoordinate observed[4];
    records[0].edgeSegment[0].GetEndPoints(observed[0], observed[1]);
    records[0].edgeSegment[1].GetEndPoints(observed[2], observed[3]);
    C2DLineSegment centre;
    C2DLineSegment edges[2];
    double distances[4];
    double maxDistance = 0.0;
    for (auto _ : state) {
        if (!pipe.Reproject(
                records[0].cameraParam, centre, edges, observed, distances, &maxDistance)) {
            state.SkipWithError("reprojection failed");
            break;
        }
        benchmark::DoNotOptimize(maxDistance);
    }
}
BENCHMARK(BM_CylinderReproject);

}  // namespace
