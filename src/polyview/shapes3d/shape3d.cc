#include "polyview/shapes3d/shape3d.h"

C3DShape::C3DShape() = default;
C3DShape::C3DShape(const C3DShape&) = default;
C3DShape& C3DShape::operator=(const C3DShape&) {
    return *this;
}
C3DShape::~C3DShape() = default;
