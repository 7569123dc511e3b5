#include "polyview/shapes3d/planar_polygon3d.h"

C3DPlanarPolygon::C3DPlanarPolygon() = default;
C3DPlanarPolygon::C3DPlanarPolygon(const C3DPlanarPolygon& other) = default;
C3DPlanarPolygon& C3DPlanarPolygon::operator=(const C3DPlanarPolygon& other) {
    m_plane = other.m_plane;
    m_vertices = other.m_vertices;
    return *this;
}
C3DPlanarPolygon::~C3DPlanarPolygon() {
    m_vertices.SetSize(0);
}

const C3DPlane& C3DPlanarPolygon::GetPlane() const {
    return m_plane;
}
const C1DArray<C3DCoordinate>& C3DPlanarPolygon::GetVertices() const {
    return m_vertices;
}

bool C3DPlanarPolygon::SetApproximationPlane(const C1DArray<C3DCoordinate>& points) {
    const int count = points.GetSize();
    if (count < 3) {
        return false;
    }
    C3DPlane fitted(m_plane);
    if (!fitted.SetApproximationPlane(points)) {
        return false;
    }
    m_vertices.SetSize(count);  // leaves the array as it was when no block can be had
    if (m_vertices.GetSize() != count) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        m_vertices.SetAt(i, points[i]);
    }
    m_plane = fitted;
    return true;
}
