#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

class CMNMatrix;

// A dense vector of n doubles. Operations on operands of mismatched sizes leave the target
// unchanged or return the empty vector, as each says.
class POLYVIEW_EXPORT CNDVector {
  public:
    CNDVector();  // no elements
    // n elements, every one fill; a negative size counts as 0.
    explicit CNDVector(int n, double fill = 0.0);
    // n elements read from values.
    CNDVector(int n, const double* values);
    CNDVector(const CNDVector& other);
    CNDVector& operator=(const CNDVector& other);
    virtual ~CNDVector();

    // The number of elements.
    int Rows() const { return m_size; }
    // Makes the vector n elements long with every element 0.0.
    void SetSize(int n);
    // Makes the vector n elements long, keeping the leading elements; new ones are 0.0.
    void Resize(int n);

    // Element i, 0-based, unchecked.
    double& operator[](int i) { return m_data[i]; }
    double operator[](int i) const { return m_data[i]; }
    // Element i; not-a-number outside the vector.
    double GetElement(int i) const;
    // Sets element i; false (nothing written) outside the vector.
    bool SetElement(int i, double value);

    // Element-wise sum; unchanged when the sizes differ.
    CNDVector& operator+=(const CNDVector& other);
    // Element-wise difference; the empty vector when the sizes differ.
    CNDVector operator-(const CNDVector& other) const;
    CNDVector& operator/=(double divisor);
    CNDVector& operator*=(double factor);
    // Sum of products, from 0.0 in index order; not-a-number when the sizes differ.
    double GetDotProduct(const CNDVector& other) const;
    // this * other^T.
    CMNMatrix GetOuterProduct(const CNDVector& other) const;
    // Writes the Rows() elements.
    void GetVector(double* values) const;
    // The first three elements (missing ones 0.0).
    explicit operator C3DVector() const;

  private:
    int m_size;
    double* m_data;  // null when empty
};

POLYVIEW_BITWISE_RELOCATABLE(CNDVector);
