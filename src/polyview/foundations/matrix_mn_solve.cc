// The members of CMNMatrix that rest on the numeric module: inversion and symmetric eigenpairs.
#include <algorithm>
#include <limits>
#include <vector>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/symmetric_eigen.h"

namespace {

// Eigenvalues (ascending by value) and the matching unit eigenvectors as the columns of a
// row-major n x n array; false when the decomposition could not be done.
bool AscendingEigenpairs(const CMNMatrix& matrix,
                         std::vector<double>& values,
                         std::vector<double>& vectors) {
    const int n = matrix.Rows();
    if (n == 0 || matrix.Cols() != n) {
        return false;
    }
    std::vector<double> elements(static_cast<size_t>(n) * static_cast<size_t>(n));
    matrix.GetVector(elements.data());
    std::vector<double> byMagnitude(static_cast<size_t>(n));
    std::vector<double> columns(elements.size());
    if (!dsymeig_sorted(elements.data(), n, byMagnitude.data(), columns.data())) {
        return false;
    }
    // The solver orders by magnitude; reorder by value, keeping its order among equal values.
    std::vector<int> order(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        order[k] = k;
    }
    std::stable_sort(order.begin(), order.end(), [&byMagnitude](int left, int right) {
        return byMagnitude[left] < byMagnitude[right];
    });
    values.resize(static_cast<size_t>(n));
    vectors.resize(elements.size());
    for (int k = 0; k < n; ++k) {
        values[k] = byMagnitude[order[k]];
        for (int row = 0; row < n; ++row) {
            vectors[row * n + k] = columns[row * n + order[k]];
        }
    }
    return true;
}

}  // namespace

CMNMatrix CMNMatrix::GetInverted() const {
    CMNMatrix inverse;
    if (m_rows != m_cols || !dinvert_lu_nonsingular(*this, inverse)) {
        return CMNMatrix(m_rows, m_cols, std::numeric_limits<double>::quiet_NaN());
    }
    return inverse;
}

bool CMNMatrix::GetMinEigenVector4MinEigenValue(double& value, CNDVector& vector) const {
    std::vector<double> values;
    std::vector<double> vectors;
    if (!AscendingEigenpairs(*this, values, vectors)) {
        return false;
    }
    const int n = m_rows;
    CNDVector smallest(n);
    for (int row = 0; row < n; ++row) {
        smallest[row] = vectors[row * n];
    }
    value = values[0];
    vector = smallest;
    return true;
}

bool CMNMatrix::GetEigenVector4EigenValue(C1DArray<double>& values,
                                          C1DArray<CNDVector>& vectors) const {
    std::vector<double> eigenvalues;
    std::vector<double> columns;
    if (!AscendingEigenpairs(*this, eigenvalues, columns)) {
        return false;
    }
    const int n = m_rows;
    C1DArray<double> newValues;
    C1DArray<CNDVector> newVectors;
    newValues.SetSize(n);
    newVectors.SetSize(n);
    if (newValues.GetSize() != n || newVectors.GetSize() != n) {
        return false;
    }
    for (int k = 0; k < n; ++k) {
        newValues[k] = eigenvalues[k];
        CNDVector column(n);
        for (int row = 0; row < n; ++row) {
            column[row] = columns[row * n + k];
        }
        newVectors[k] = column;
    }
    values = newValues;
    vectors = newVectors;
    return values.GetSize() == n && vectors.GetSize() == n;
}
