#include "polyview/foundations/coordinate3d.h"

C3DCoordinate::C3DCoordinate(const double* values, ECoordinateSystem system)
    : C3DVector(values), m_coordinateSystem(system) {}

C3DCoordinate::~C3DCoordinate() = default;

void C3DCoordinate::Initialize() {
    C3DVector::Initialize();
    m_coordinateSystem = WorldCoordinateSystem;
}
