#pragma once

#include <limits>

#include "polyview/foundations/array1d.h"
#include "polyview/polyview_export.h"

class C33Matrix;

// A plain 3-vector (x, y, z).
class POLYVIEW_EXPORT C3DVector {
  public:
    C3DVector() : m_x(0.0), m_y(0.0), m_z(0.0) {}  // the zero vector
    C3DVector(double x, double y, double z) : m_x(x), m_y(y), m_z(z) {}
    // Reads three values.
    explicit C3DVector(const double* values);
    C3DVector(const C3DVector& other) : m_x(other.m_x), m_y(other.m_y), m_z(other.m_z) {}
    // Assigns the three components only (a coordinate's tag stays).
    C3DVector& operator=(const C3DVector& other) {
        m_x = other.m_x;
        m_y = other.m_y;
        m_z = other.m_z;
        return *this;
    }
    virtual ~C3DVector();

    // Resets to the type's initial value (the zero vector).
    virtual void Initialize();

    C3DVector operator+(const C3DVector& other) const;
    C3DVector operator-(const C3DVector& other) const;
    C3DVector operator*(double factor) const;
    C3DVector operator/(double divisor) const;
    C3DVector& operator+=(const C3DVector& other);
    C3DVector& operator-=(const C3DVector& other);
    C3DVector& operator*=(double factor);

    double GetDotProduct(const C3DVector& other) const;
    // this x other.
    C3DVector GetCrossProduct(const C3DVector& other) const;
    // this * other^T.
    C33Matrix GetOuterProduct(const C3DVector& other) const;
    // Euclidean length.
    double GetNorm() const;
    // Scales to unit length in place; a zero, infinite or not-a-number vector becomes zero.
    void Normalize();
    // The unit copy; the zero vector when there is no direction (zero, infinite or NaN).
    C3DVector GetNormalizedVector() const;
    // Writes the unit copy to out; false (out untouched) when there is no direction.
    bool GetNormalizedVector(C3DVector& out) const;
    // Component i (0..2); not-a-number for any other index.
    double GetData(int i) const {
        return i == 0 ? m_x
                      : (i == 1 ? m_y : (i == 2 ? m_z : std::numeric_limits<double>::quiet_NaN()));
    }
    // Writes the three components to values[0..2].
    void GetVector(double* values) const {
        values[0] = m_x;
        values[1] = m_y;
        values[2] = m_z;
    }
    // Reads the three components from values[0..2].
    void SetVector(const double* values) {
        m_x = values[0];
        m_y = values[1];
        m_z = values[2];
    }
    void SetVector(double x, double y, double z) {
        m_x = x;
        m_y = y;
        m_z = z;
    }
    // v becomes (rotation * v + translation) / scale; false and unchanged when scale is 0 or NaN.
    bool Transform(const C33Matrix& rotation, const C3DVector& translation, double scale);

  protected:
    double m_x;
    double m_y;
    double m_z;
};

// factor * vector, component-wise.
POLYVIEW_EXPORT C3DVector operator*(double factor, const C3DVector& vector);

POLYVIEW_BITWISE_RELOCATABLE(C3DVector);
