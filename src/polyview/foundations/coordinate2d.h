#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate_system.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/polyview_export.h"

// A 2-vector tagged with its coordinate system. Assignment copies the components only and keeps
// the target's tag; copy construction copies the tag as well.
class POLYVIEW_EXPORT C2DCoordinate : public C2DVector {
  public:
    C2DCoordinate() : m_coordinateSystem(WorldCoordinateSystem) {}  // (0, 0), tag 0
    explicit C2DCoordinate(ECoordinateSystem system) : m_coordinateSystem(system) {}
    C2DCoordinate(const C2DVector& vector, ECoordinateSystem system)
        : C2DVector(vector), m_coordinateSystem(system) {}
    C2DCoordinate(double x, double y, ECoordinateSystem system = WorldCoordinateSystem)
        : C2DVector(x, y), m_coordinateSystem(system) {}
    C2DCoordinate(const C2DCoordinate& other)
        : C2DVector(other), m_coordinateSystem(other.m_coordinateSystem) {}
    // Assigns the components only; the tag stays.
    C2DCoordinate& operator=(const C2DCoordinate& other) {
        C2DVector::operator=(other);
        return *this;
    }
    // Assigns the components only; the tag stays.
    C2DCoordinate& operator=(const C2DVector& other) {
        C2DVector::operator=(other);
        return *this;
    }
    ~C2DCoordinate() override;

    ECoordinateSystem GetCoordinateSystem() const { return m_coordinateSystem; }

  private:
    ECoordinateSystem m_coordinateSystem;
};

POLYVIEW_BITWISE_RELOCATABLE(C2DCoordinate);
