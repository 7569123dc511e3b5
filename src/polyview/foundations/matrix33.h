#pragma once

#include <limits>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

// A 3 x 3 matrix of doubles, stored row by row.
class POLYVIEW_EXPORT C33Matrix {
  public:
    enum EType {
        ZeroMatrix = 0,
        IdentityMatrix = 1,
    };

    C33Matrix() : m_data{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0} {}  // the zero matrix
    // Nine values row by row.
    C33Matrix(double m00,
              double m01,
              double m02,
              double m10,
              double m11,
              double m12,
              double m20,
              double m21,
              double m22)
        : m_data{m00, m01, m02, m10, m11, m12, m20, m21, m22} {}
    // The zero (0) or identity (1) matrix.
    explicit C33Matrix(EType type);
    C33Matrix(const C33Matrix& other) {
        for (int i = 0; i < 9; ++i) {
            m_data[i] = other.m_data[i];
        }
    }
    C33Matrix& operator=(const C33Matrix& other) {
        for (int i = 0; i < 9; ++i) {
            m_data[i] = other.m_data[i];
        }
        return *this;
    }
    virtual ~C33Matrix();

    // Nine values row by row.
    void SetMatrix(double m00,
                   double m01,
                   double m02,
                   double m10,
                   double m11,
                   double m12,
                   double m20,
                   double m21,
                   double m22);
    // Element (row, col), 0-based; not-a-number outside 0..2.
    double GetData(int row, int col) const {
        if (row < 0 || row > 2 || col < 0 || col > 2) {
            return std::numeric_limits<double>::quiet_NaN();
        }
        return m_data[3 * row + col];
    }
    // Row 0..2 as a vector; not-a-number components outside 0..2.
    C3DVector GetRowVector(int row) const;
    // Writes the nine values row by row.
    void GetMatrix(double* values) const;
    // Matrix times column vector.
    C3DVector operator*(const C3DVector& vector) const;
    // Every element times factor.
    C33Matrix operator*(double factor) const;
    C33Matrix GetTransposedMatrix() const;
    // Writes the inverse to out; false (out untouched) when the determinant is 0 or not finite.
    bool GetInverseMatrix(C33Matrix& out) const;

  protected:
    double m_data[9];  // row-major, [3 * row + col]
};

// factor * matrix, element-wise.
POLYVIEW_EXPORT C33Matrix operator*(double factor, const C33Matrix& matrix);

POLYVIEW_BITWISE_RELOCATABLE(C33Matrix);
