#pragma once

#include "polyview/polyview_export.h"

// The root of the 3D shapes: no data, no virtual operation but the destructor.
class POLYVIEW_EXPORT C3DShape {
  public:
    C3DShape();
    C3DShape(const C3DShape& other);
    C3DShape& operator=(const C3DShape& other);
    virtual ~C3DShape();
};
