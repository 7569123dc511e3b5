#pragma once

#include <vector>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/camera_param.h"
#include "polyview/polyview_export.h"

struct SRayCamera;  // the per-camera terms of the point triangulation, private to the library

// Many points seen by one set of cameras: the per-camera work once per batch, then per point
// the same triangulation as C3DPoint::CreateFromImagePoints from the cameras that saw it.
class POLYVIEW_EXPORT CPointBatch {
  public:
    CPointBatch();  // no cameras: every point fails
    // Forms the terms of each camera once. Without cameras when their storage cannot be had
    // (GetCameraCount() then differs from cameras.GetSize()).
    explicit CPointBatch(const C1DArray<CCameraParam>& cameras);
    // A copy; without cameras when their storage cannot be had.
    CPointBatch(const CPointBatch& other);
    // Takes other's cameras; keeps its own when their storage cannot be had.
    CPointBatch& operator=(const CPointBatch& other);
    ~CPointBatch();

    // The number of cameras whose terms the batch holds (0 without cameras).
    int GetCameraCount() const;
    // Triangulates count points. imagePoints: count rows of 2 * GetCameraCount() doubles, the
    // image point (u, v) of the point in each camera in the units of its focal length and
    // principal point, NaN in u or v where the camera did not see it. points[3 i .. 3 i + 2]
    // receives point i and ok[i] true, bit for bit what C3DPoint::CreateFromImagePoints gives
    // from the observations of the cameras that saw it (in camera order); where that fails (fewer
    // than two views, (nearly) parallel rays, a point that is not finite, as with an infinite
    // pixel) the point is NaN and ok[i] false. threads >= 1: the points are split into that many
    // contiguous ranges (at most count), each on its own std::thread (the calling thread takes
    // the first, and any that cannot be started); the results do not depend on the split.
    // False, nothing written, when count < 0, threads < 1, a pointer is null with count > 0, or
    // the work storage cannot be had; count 0 is true.
    bool Triangulate(
        int count, const double* imagePoints, double* points, bool* ok, int threads) const;

  private:
    std::vector<SRayCamera> m_terms;
};
