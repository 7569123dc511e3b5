#pragma once

#include <limits>

#include "polyview/foundations/array1d.h"
#include "polyview/polyview_export.h"

class C3DVector;

// A plain 2-vector (x, y).
class POLYVIEW_EXPORT C2DVector {
  public:
    C2DVector() : m_x(0.0), m_y(0.0) {}  // (0, 0)
    C2DVector(double x, double y) : m_x(x), m_y(y) {}
    C2DVector(const C2DVector& other) : m_x(other.m_x), m_y(other.m_y) {}
    // Assigns the two components only.
    C2DVector& operator=(const C2DVector& other) {
        m_x = other.m_x;
        m_y = other.m_y;
        return *this;
    }
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
    double GetData(int i) const {
        return i == 0 ? m_x : (i == 1 ? m_y : std::numeric_limits<double>::quiet_NaN());
    }
    // Writes x and y to values[0..1].
    void GetVector(double* values) const {
        values[0] = m_x;
        values[1] = m_y;
    }
    // Takes the first two components of a 3-vector.
    void SetVector(const C3DVector& vector);
    // Sets x and y.
    void SetVector(double x, double y) {
        m_x = x;
        m_y = y;
    }

  protected:
    double m_x;
    double m_y;
};

// factor * vector, component-wise.
POLYVIEW_EXPORT C2DVector operator*(double factor, const C2DVector& vector);

POLYVIEW_BITWISE_RELOCATABLE(C2DVector);
