#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/range.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

// An oriented infinite 3D line d U + t V: U the unit vector from the origin towards the base point,
// V the unit direction, d the distance from the origin; positions t are measured along V.
class POLYVIEW_EXPORT C3DAxis {
  public:
    C3DAxis();  // zero vectors, distance 0.0
    // Stores the values, then normalises both vectors; one without direction stays as passed.
    C3DAxis(const C3DVector& uVector, const C3DVector& vVector, double distance);
    C3DAxis(const C3DAxis& other);
    C3DAxis& operator=(const C3DAxis& other);
    virtual ~C3DAxis();

    const C3DVector& GetUVector() const { return m_uVector; }
    const C3DVector& GetVVector() const { return m_vVector; }
    double GetDistance() const { return m_distance; }
    // Stores U, then normalises it; false (unnormalised U stored) when it has no direction.
    bool SetUVector(const C3DVector& uVector);
    // Stores V, then normalises it; false (unnormalised V stored) when it has no direction.
    bool SetVVector(const C3DVector& vVector);
    // Stores the distance unchecked.
    void SetDistance(double distance);
    // The base point d U (tag 0).
    C3DCoordinate GetBaseCoordinate() const;
    // The point at a position along V: d U + position V (tag 0).
    C3DCoordinate GetCoordinate(double position) const;
    // coordinates[0] and [1] receive the points at the range's start and end (components only).
    void GetCoordinate(const CRange& range, C3DCoordinate* const coordinates) const;
    // Maps every point x to (rotation x + translation) / scale, leaving U perpendicular to V and
    // d >= 0; false (axis unchanged) for a zero or NaN scale or a rotation that collapses V.
    bool Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale);
    // params[0..2] = rotation vector of the frame with rows V, U, V x U; params[3] = d.
    void GetFrom4Params(double* const params) const;
    // The inverse of GetFrom4Params; false when a vector cannot be normalised (values stored).
    bool SetFrom4Params(const double* const params);

  private:
    bool Normalized(bool normalizeU, bool normalizeV);

    C3DVector m_uVector;
    C3DVector m_vVector;
    double m_distance;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DAxis);
