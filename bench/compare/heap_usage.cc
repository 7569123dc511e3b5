// Heap use of one call of Polyview's largest cases: the number of blocks obtained and the peak of
// the bytes held at once (usable block sizes), counted by replacing malloc and its relatives
// with versions that pass through to the C library's allocator. Prints one line per case.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "compare_scenes.h"
#include <malloc.h>

#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/workspace.h"
#include "polyview/polyview.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

bool gCounting = false;
long long gHeld = 0;    // bytes held since counting began (frees of older blocks included)
long long gPeak = 0;    // largest gHeld
long long gBlocks = 0;  // blocks obtained

void Obtained(void* block) {
    if (gCounting && block != nullptr) {
        gHeld += static_cast<long long>(malloc_usable_size(block));
        gPeak = std::max(gPeak, gHeld);
        ++gBlocks;
    }
}

void Released(void* block) {
    if (gCounting && block != nullptr) {
        gHeld -= static_cast<long long>(malloc_usable_size(block));
    }
}

}  // namespace

extern "C" {
void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    Obtained(block);
    return block;
}
void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    Obtained(block);
    return block;
}
void* realloc(void* block, size_t size) {
    Released(block);
    void* moved = __libc_realloc(block, size);
    Obtained(moved);
    return moved;
}
void* memalign(size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    Obtained(block);
    return block;
}
void* aligned_alloc(size_t alignment, size_t size) {
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    *out = memalign(alignment, size);
    return *out == nullptr ? 12 : 0;  // ENOMEM
}
void free(void* block) {
    Released(block);
    __libc_free(block);
}
}

namespace {

// Runs call once to warm up, then once counted; prints blocks and peak bytes of that call.
void Measure(const std::string& name, const std::function<bool()>& call) {
    const bool warm = call();
    gHeld = 0;
    gPeak = 0;
    gBlocks = 0;
    gCounting = true;
    const bool ok = call();
    gCounting = false;
    std::printf("%-52s %8lld %12lld%s\n",
                name.c_str(),
                gBlocks,
                gPeak,
                warm && ok ? "" : "  (call failed)");
}

}  // namespace

int main() {
    std::printf("%-52s %8s %12s\n", "case (one call)", "blocks", "peak bytes");
    for (int views : {2, 100}) {
        const auto scenes = compare::PointScenes(views, 100u + static_cast<unsigned>(views));
        Measure("point " + std::to_string(views) + " views", [&scenes] {
            C3DPoint point;
            return point.CreateFromImagePoints(scenes[0].observations);
        });
    }
    const auto lines = compare::LineScenes(10, 210u);
    Measure("line 10 views", [&lines] {
        C3DLine line;
        return line.CreateFromImageLines(lines[0].observations);
    });
    const auto fits = compare::LineFitScenes(1000, 1300u);
    Measure("2D line fit 1000 points", [&fits] {
        C2DLine line;
        return line.GetApproximationLine(fits[0].points);
    });
    const auto planes = compare::PlaneScenes(1000, 1400u);
    Measure("plane fit 1000 points", [&planes] {
        C3DPlane plane;
        return plane.SetApproximationPlane(planes[0].points);
    });
    const std::vector<double> input = compare::Matrices(10, 4, false, 604u)[0];
    Measure("SVD 10x4 (dsvd_inplace, caller's arrays)", [&input] {
        static double** a = dmatrix(1, 10, 1, 4);
        static double** v = dmatrix(1, 4, 1, 4);
        static double* w = dvector(1, 4);
        for (int i = 1; i <= 10; ++i) {
            for (int j = 1; j <= 4; ++j) {
                a[i][j] = input[(i - 1) * 4 + (j - 1)];
            }
        }
        return dsvd_inplace(a, 10, 4, w, v);
    });
    const std::vector<double> symmetric = compare::Matrices(3, 3, true, 603u)[0];
    Measure("symmetric eigen 3x3 (dsymeig_sorted)", [&symmetric] {
        double values[3];
        double vectors[9];
        return dsymeig_sorted(symmetric.data(), 3, values, vectors);
    });
    const C1DArray<C2DCoordinate> stroke = compare::StrokePoints();
    for (bool passThrough : {true, false}) {
        Measure(std::string("B-spline 100 points to 1000 samples, ") +
                    (passThrough ? "through" : "near (interval 20)"),
                [&stroke, passThrough] {
                    static C1DArray<C2DCoordinate> samples;
                    samples.SetSize(1000);
                    return C2DBSpline::GetSamplePoint(stroke, 20.0, samples, passThrough) ==
                           NoError;
                });
    }
    const auto cylinders = compare::CylinderScenes(10, 910u);
    for (bool fullFit : {true, false}) {
        Measure(std::string("cylinder 10 images, ") + (fullFit ? "tangent planes" : "centre lines"),
                [&cylinders, fullFit] {
                    C3DCylinder cylinder;
                    return cylinder.CreateFromImageCylinder(cylinders[0].records, fullFit);
                });
    }
    Measure("cylinder reprojection", [&cylinders] {
        C2DLineSegment centre;
        C2DLineSegment edges[2];
        return cylinders[0].cylinder.Reproject(
            cylinders[0].records[0].cameraParam, centre, edges, nullptr, nullptr, nullptr);
    });
    return 0;
}
