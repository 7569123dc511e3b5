#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/polyview_export.h"

class C3DVector;

// A plain 2-vector (x, y).
class POLYVIEW_EXPORT C2DVector {
  public:
    C2DVector();  // (0, 0)
    C2DVector(double x, double y);
    C2DVector(const C2DVector& other);
    // Assigns the two components only.
    C2DVector& operator=(const C2DVector& other);
    virtual ~C2DVector();

    C2DVector operator-(const C2DVector& other) const;
    C2DVector operator+(const C2DVector& other) const;
    C2DVector operator*(double factor) const;
    C2DVector& operator+=(const C2DVector& other);
    C2DVector& operator-=(const C2DVector& other);
    C2DVector& operator*=(double factor);
    // Euclidean length.
    double GetNorm() const;
    // Component i (0 = x, 1 = y); not-a-number for any other index.
    double GetData(int i) const;
    // Writes x and y to values[0..1].
    void GetVector(double* values) const;
    // Takes the first two components of a 3-vector.
    void SetVector(const C3DVector& vector);
    // Sets x and y.
    void SetVector(double x, double y);

  protected:
    double m_x;
    double m_y;
};

// factor * vector, component-wise.
POLYVIEW_EXPORT C2DVector operator*(double factor, const C2DVector& vector);

POLYVIEW_BITWISE_RELOCATABLE(C2DVector);
