#include "polyview/foundations/coordinate2d.h"

C2DCoordinate::~C2DCoordinate() = default;
