#pragma once

#include "polyview/polyview_export.h"

// A plane angle, held in radians.
class POLYVIEW_EXPORT CAngle {
  public:
    CAngle();  // 0 radians
    CAngle(const CAngle& other);
    CAngle& operator=(const CAngle& other);
    virtual ~CAngle();

    // Sets the angle in degrees.
    void SetDegree(double degree);
    // Sets the angle whose cosine is cosine (clamped to [-1, 1]; NaN stays NaN).
    void ACos(double cosine);
    double GetRadian() const;
    double GetDegree() const;

  private:
    double m_radian;
};
