#include "polyview/foundations/coordinate3d.h"

C3DCoordinate::C3DCoordinate() : m_coordinateSystem(WorldCoordinateSystem) {}
C3DCoordinate::C3DCoordinate(ECoordinateSystem system) : m_coordinateSystem(system) {}
C3DCoordinate::C3DCoordinate(const C3DVector& vector, ECoordinateSystem system)
    : C3DVector(vector), m_coordinateSystem(system) {}
C3DCoordinate::C3DCoordinate(double x, double y, double z, ECoordinateSystem system)
    : C3DVector(x, y, z), m_coordinateSystem(system) {}
C3DCoordinate::C3DCoordinate(const double* values, ECoordinateSystem system)
    : C3DVector(values), m_coordinateSystem(system) {}
C3DCoordinate::C3DCoordinate(const C2DCoordinate& point, double z, ECoordinateSystem system)
    : C3DVector(point.GetData(0), point.GetData(1), z), m_coordinateSystem(system) {}
C3DCoordinate::C3DCoordinate(const C3DCoordinate& other) = default;
C3DCoordinate& C3DCoordinate::operator=(const C3DCoordinate& other) {
    C3DVector::operator=(other);
    return *this;
}
C3DCoordinate& C3DCoordinate::operator=(const C3DVector& other) {
    C3DVector::operator=(other);
    return *this;
}
C3DCoordinate::~C3DCoordinate() = default;

void C3DCoordinate::Initialize() {
    C3DVector::Initialize();
    m_coordinateSystem = WorldCoordinateSystem;
}
