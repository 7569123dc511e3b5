#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/plane3d.h"
#include "polyview/shapes3d/shape3d.h"

// A plane together with the vertices it was fitted to. The vertices are kept as given, in the
// caller's order; they are not projected onto the plane.
class POLYVIEW_EXPORT C3DPlanarPolygon : public C3DShape {
  public:
    C3DPlanarPolygon();  // the default plane, no vertices
    // Copies the plane and the vertices (the copied vertices carry tag 0).
    C3DPlanarPolygon(const C3DPlanarPolygon& other);
    // Assigns the plane and the vertices (components only); when vertex storage cannot be had the
    // vertices stay as they were.
    C3DPlanarPolygon& operator=(const C3DPlanarPolygon& other);
    ~C3DPlanarPolygon() override;

    const C3DPlane& GetPlane() const;
    const C1DArray<C3DCoordinate>& GetVertices() const;
    // Fits the plane to the points (C3DPlane::SetApproximationPlane) and keeps a copy of them as
    // the vertices (components only). False, with plane and vertices unchanged, when the fit
    // fails (fewer than 3 points, non-finite points) or the vertex storage cannot be had.
    bool SetApproximationPlane(const C1DArray<C3DCoordinate>& points);

  private:
    C3DPlane m_plane;
    C1DArray<C3DCoordinate> m_vertices;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DPlanarPolygon);
