#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate_system.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

// A 3-vector tagged with its coordinate system. Assignment copies the components only and keeps
// the target's tag; copy construction copies the tag as well.
class POLYVIEW_EXPORT C3DCoordinate : public C3DVector {
  public:
    C3DCoordinate() : m_coordinateSystem(WorldCoordinateSystem) {}  // (0, 0, 0), tag 0
    explicit C3DCoordinate(ECoordinateSystem system) : m_coordinateSystem(system) {}
    C3DCoordinate(const C3DVector& vector, ECoordinateSystem system)
        : C3DVector(vector), m_coordinateSystem(system) {}
    C3DCoordinate(double x, double y, double z, ECoordinateSystem system = WorldCoordinateSystem)
        : C3DVector(x, y, z), m_coordinateSystem(system) {}
    // Reads three values.
    C3DCoordinate(const double* values, ECoordinateSystem system);
    // (point.x, point.y, z).
    C3DCoordinate(const C2DCoordinate& point, double z, ECoordinateSystem system)
        : C3DVector(point.GetData(0), point.GetData(1), z), m_coordinateSystem(system) {}
    C3DCoordinate(const C3DCoordinate& other)
        : C3DVector(other), m_coordinateSystem(other.m_coordinateSystem) {}
    // Assigns the components only; the tag stays.
    C3DCoordinate& operator=(const C3DCoordinate& other) {
        C3DVector::operator=(other);
        return *this;
    }
    // Assigns the components only; the tag stays.
    C3DCoordinate& operator=(const C3DVector& other) {
        C3DVector::operator=(other);
        return *this;
    }
    ~C3DCoordinate() override;

    // Resets to (0, 0, 0) with tag 0.
    void Initialize() override;
    ECoordinateSystem GetCoordinateSystem() const { return m_coordinateSystem; }

  private:
    ECoordinateSystem m_coordinateSystem;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DCoordinate);
