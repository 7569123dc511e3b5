#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/polyview_export.h"

// Tangential lens distortion coefficients; carried with a camera, never applied by the library.
class POLYVIEW_EXPORT CTangentialDistortion {
  public:
    CTangentialDistortion();  // both coefficients 0.0
    CTangentialDistortion(const CTangentialDistortion& other);
    CTangentialDistortion& operator=(const CTangentialDistortion& other);
    virtual ~CTangentialDistortion();

  private:
    double m_p1;
    double m_p2;
};

POLYVIEW_BITWISE_RELOCATABLE(CTangentialDistortion);
