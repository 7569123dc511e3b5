#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"
#include "polyview/shapes3d/shape3d.h"

// A circle in space: centre, radius and axis direction, all stored as given (never normalised).
class POLYVIEW_EXPORT C3DCircle : public C3DShape {
  public:
    C3DCircle();  // centre (0, 0, 0), radius 1.0, normal (0, 0, 1)
    C3DCircle(const C3DCircle& other);
    // Assigns centre (components only), radius and normal.
    C3DCircle& operator=(const C3DCircle& other);
    ~C3DCircle() override;

    const C3DCoordinate& GetCenter() const;
    // Assigns the components; the stored tag stays.
    void SetCenter(const C3DCoordinate& center);
    double GetRadius() const;
    // Stores the radius unchecked.
    void SetRadius(double radius);
    const C3DVector& GetNormalVector() const;
    // Stores the components unchanged (not normalised).
    void SetNormalVector(const C3DCoordinate& normal);

  private:
    C3DCoordinate m_center;
    double m_radius;
    C3DVector m_normalVector;
};

POLYVIEW_BITWISE_RELOCATABLE(C3DCircle);
