#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/polyview_export.h"

// Pinhole intrinsics: one focal length and the principal point, both in image units. A camera
// point (x, y, z), z > 0, images at (f x / z + cx, f y / z + cy).
class POLYVIEW_EXPORT CIntrinsicParam {
  public:
    CIntrinsicParam();  // focal length 1.0, principal point (0, 0)
    CIntrinsicParam(double focalLength, const C2DCoordinate& principalPoint);
    CIntrinsicParam(const CIntrinsicParam& other);
    CIntrinsicParam& operator=(const CIntrinsicParam& other);
    virtual ~CIntrinsicParam();

    double GetFocalLengthParam() const { return m_focalLength; }
    C2DCoordinate GetPrincipalPointParam() const;
    // Stores the focal length unchecked.
    void SetFocalLengthParam(double focalLength);
    // Stores the principal point's components.
    void SetPrincipalPointParam(const C2DCoordinate& principalPoint);

  private:
    double m_focalLength;
    C2DCoordinate m_principalPoint;
};

POLYVIEW_BITWISE_RELOCATABLE(CIntrinsicParam);
