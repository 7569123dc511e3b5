#include "polyview/geometry2d/epipolar_line2d.h"

#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/vector3d.h"

CEpipolarLine::CEpipolarLine() = default;

CEpipolarLine::CEpipolarLine(const CEpipolarLine& other) = default;

CEpipolarLine::CEpipolarLine(const C2DLine& line) : C2DLine(line) {}

CEpipolarLine& CEpipolarLine::operator=(const CEpipolarLine& other) {
    C2DLine::operator=(other);
    return *this;
}

CEpipolarLine::~CEpipolarLine() = default;

void CEpipolarLine::Create(const CFundamentalMatrix& fundamental, const C2DCoordinate& point) {
    const C3DCoordinate homogeneous(point, 1.0, WorldCoordinateSystem);
    const C3DVector line = fundamental * homogeneous;
    const double params[3] = {line.GetData(0), line.GetData(1), line.GetData(2)};
    SetLineParams(params);
}
