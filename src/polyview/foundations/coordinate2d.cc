#include "polyview/foundations/coordinate2d.h"

C2DCoordinate::C2DCoordinate() : m_coordinateSystem(WorldCoordinateSystem) {}
C2DCoordinate::C2DCoordinate(ECoordinateSystem system) : m_coordinateSystem(system) {}
C2DCoordinate::C2DCoordinate(const C2DVector& vector, ECoordinateSystem system)
    : C2DVector(vector), m_coordinateSystem(system) {}
C2DCoordinate::C2DCoordinate(double x, double y, ECoordinateSystem system)
    : C2DVector(x, y), m_coordinateSystem(system) {}
C2DCoordinate::C2DCoordinate(const C2DCoordinate& other) = default;
C2DCoordinate& C2DCoordinate::operator=(const C2DCoordinate& other) {
    C2DVector::operator=(other);
    return *this;
}
C2DCoordinate& C2DCoordinate::operator=(const C2DVector& other) {
    C2DVector::operator=(other);
    return *this;
}
C2DCoordinate::~C2DCoordinate() = default;
