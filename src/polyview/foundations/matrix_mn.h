#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/polyview_export.h"

class CNDVector;

// A dense rows x cols matrix of doubles, stored row by row. Operations on operands of
// mismatched sizes leave the target unchanged or return the empty matrix, as each says.
class POLYVIEW_EXPORT CMNMatrix {
  public:
    CMNMatrix();  // 0 x 0
    // rows x cols, every element fill; a negative size counts as 0.
    CMNMatrix(int rows, int cols, double fill = 0.0);
    CMNMatrix(const CMNMatrix& other);
    CMNMatrix& operator=(const CMNMatrix& other);
    // Takes other's elements; other is left empty (0 x 0).
    CMNMatrix(CMNMatrix&& other) noexcept;
    // Takes other's elements; other is left empty (0 x 0).
    CMNMatrix& operator=(CMNMatrix&& other) noexcept;
    virtual ~CMNMatrix();

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }
    // Makes the matrix rows x cols with every element 0.0.
    void SetSize(int rows, int cols);
    // Makes the matrix rows x cols; keepValues keeps the overlapping elements, the rest are 0.0.
    void Resize(int rows, int cols, bool keepValues = true);
    // Makes the matrix the n x n identity.
    void IdentityMatrix(int n);

    // Element (row, col), 0-based, unchecked.
    double& operator()(int row, int col) { return m_data[row * m_cols + col]; }
    double operator()(int row, int col) const { return m_data[row * m_cols + col]; }
    // Element (row, col); not-a-number outside the matrix.
    double GetElement(int row, int col) const;
    // Sets element (row, col); false (nothing written) outside the matrix.
    bool SetElement(int row, int col, double value);

    // Element-wise sum; unchanged when the sizes differ.
    CMNMatrix& operator+=(const CMNMatrix& other);
    // Element-wise difference; the empty matrix when the sizes differ.
    CMNMatrix operator-(const CMNMatrix& other) const;
    // Matrix product; the empty matrix when the inner sizes differ.
    CMNMatrix operator*(const CMNMatrix& other) const;
    CMNMatrix& operator/=(double divisor);
    CMNMatrix& operator*=(double factor);
    CMNMatrix GetTransposed() const;
    // The inverse of a square matrix by LU decomposition; a matrix of the same size filled with
    // not-a-number values when the matrix is singular or not square.
    CMNMatrix GetInverted() const;
    // Writes the elements row by row (Rows() * Cols() values).
    void GetVector(double* values) const;
    // The leading 3 x 3 block (missing elements 0.0).
    explicit operator C33Matrix() const;

    // Smallest eigenvalue of a symmetric matrix and a unit eigenvector of it; false (outputs
    // untouched) when the matrix is empty or not square.
    bool GetMinEigenVector4MinEigenValue(double& value, CNDVector& vector) const;
    // All eigenvalues of a symmetric matrix in ascending order, index 0 the smallest, with unit
    // eigenvectors; false (outputs untouched) when the matrix is empty or not square.
    bool GetEigenVector4EigenValue(C1DArray<double>& values, C1DArray<CNDVector>& vectors) const;

  private:
    int m_rows;
    int m_cols;
    double* m_data;  // row-major, [row * m_cols + col]; null when empty
};

POLYVIEW_BITWISE_RELOCATABLE(CMNMatrix);
