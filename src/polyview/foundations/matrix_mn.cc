#include "polyview/foundations/matrix_mn.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// A block of rows x cols elements, not initialised; null for an empty size.
double* NewBlock(int rows, int cols) {
    if (rows <= 0 || cols <= 0) {
        return nullptr;
    }
    return new double[static_cast<size_t>(rows) * static_cast<size_t>(cols)];
}

double* NewElements(int rows, int cols, double fill) {
    double* data = NewBlock(rows, cols);
    if (data != nullptr) {
        std::fill(data, data + static_cast<size_t>(rows) * static_cast<size_t>(cols), fill);
    }
    return data;
}

}  // namespace

CMNMatrix::CMNMatrix() : m_rows(0), m_cols(0), m_data(nullptr) {}
CMNMatrix::CMNMatrix(int rows, int cols, double fill)
    : m_rows(rows > 0 && cols > 0 ? rows : 0),
      m_cols(rows > 0 && cols > 0 ? cols : 0),
      m_data(NewElements(rows, cols, fill)) {}
CMNMatrix::CMNMatrix(const CMNMatrix& other)
    : m_rows(other.m_rows), m_cols(other.m_cols), m_data(NewBlock(m_rows, m_cols)) {
    std::copy(other.m_data, other.m_data + m_rows * m_cols, m_data);
}
CMNMatrix& CMNMatrix::operator=(const CMNMatrix& other) {
    if (this == &other) {
        return *this;
    }
    if (m_rows * m_cols != other.m_rows * other.m_cols) {
        double* data = NewBlock(other.m_rows, other.m_cols);
        delete[] m_data;
        m_data = data;
    }
    m_rows = other.m_rows;
    m_cols = other.m_cols;
    std::copy(other.m_data, other.m_data + m_rows * m_cols, m_data);
    return *this;
}
CMNMatrix::CMNMatrix(CMNMatrix&& other) noexcept
    : m_rows(other.m_rows), m_cols(other.m_cols), m_data(other.m_data) {
    other.m_rows = 0;
    other.m_cols = 0;
    other.m_data = nullptr;
}
CMNMatrix& CMNMatrix::operator=(CMNMatrix&& other) noexcept {
    if (this != &other) {
        delete[] m_data;
        m_rows = other.m_rows;
        m_cols = other.m_cols;
        m_data = other.m_data;
        other.m_rows = 0;
        other.m_cols = 0;
        other.m_data = nullptr;
    }
    return *this;
}
CMNMatrix::~CMNMatrix() {
    delete[] m_data;
}

void CMNMatrix::SetSize(int rows, int cols) {
    *this = CMNMatrix(rows, cols, 0.0);
}

void CMNMatrix::Resize(int rows, int cols, bool keepValues) {
    CMNMatrix resized(rows, cols, 0.0);
    if (keepValues) {
        const int keptRows = std::min(m_rows, resized.m_rows);
        const int keptCols = std::min(m_cols, resized.m_cols);
        for (int row = 0; row < keptRows; ++row) {
            for (int col = 0; col < keptCols; ++col) {
                resized(row, col) = (*this)(row, col);
            }
        }
    }
    *this = std::move(resized);
}

void CMNMatrix::IdentityMatrix(int n) {
    SetSize(n, n);
    for (int i = 0; i < m_rows; ++i) {
        (*this)(i, i) = 1.0;
    }
}

double CMNMatrix::GetElement(int row, int col) const {
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return (*this)(row, col);
}
bool CMNMatrix::SetElement(int row, int col, double value) {
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols) {
        return false;
    }
    (*this)(row, col) = value;
    return true;
}

CMNMatrix& CMNMatrix::operator+=(const CMNMatrix& other) {
    if (m_rows != other.m_rows || m_cols != other.m_cols) {
        return *this;
    }
    for (int i = 0; i < m_rows * m_cols; ++i) {
        m_data[i] += other.m_data[i];
    }
    return *this;
}
CMNMatrix CMNMatrix::operator-(const CMNMatrix& other) const {
    if (m_rows != other.m_rows || m_cols != other.m_cols) {
        return CMNMatrix();
    }
    CMNMatrix difference(m_rows, m_cols);
    for (int i = 0; i < m_rows * m_cols; ++i) {
        difference.m_data[i] = m_data[i] - other.m_data[i];
    }
    return difference;
}
CMNMatrix CMNMatrix::operator*(const CMNMatrix& other) const {
    if (m_cols != other.m_rows) {
        return CMNMatrix();
    }
    CMNMatrix product(m_rows, other.m_cols);
    for (int row = 0; row < m_rows; ++row) {
        for (int col = 0; col < other.m_cols; ++col) {
            double sum = 0.0;
            for (int k = 0; k < m_cols; ++k) {
                sum += (*this)(row, k) * other(k, col);
            }
            product(row, col) = sum;
        }
    }
    return product;
}
CMNMatrix& CMNMatrix::operator/=(double divisor) {
    for (int i = 0; i < m_rows * m_cols; ++i) {
        m_data[i] /= divisor;
    }
    return *this;
}
CMNMatrix& CMNMatrix::operator*=(double factor) {
    for (int i = 0; i < m_rows * m_cols; ++i) {
        m_data[i] *= factor;
    }
    return *this;
}
CMNMatrix CMNMatrix::GetTransposed() const {
    CMNMatrix transposed(m_cols, m_rows);
    for (int row = 0; row < m_rows; ++row) {
        for (int col = 0; col < m_cols; ++col) {
            transposed(col, row) = (*this)(row, col);
        }
    }
    return transposed;
}
void CMNMatrix::GetVector(double* values) const {
    std::copy(m_data, m_data + m_rows * m_cols, values);
}
CMNMatrix::operator C33Matrix() const {
    double values[9];  // row-major, [3 * row + col]
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            values[3 * row + col] = (row < m_rows && col < m_cols) ? (*this)(row, col) : 0.0;
        }
    }
    return C33Matrix(values[0],
                     values[1],
                     values[2],
                     values[3],
                     values[4],
                     values[5],
                     values[6],
                     values[7],
                     values[8]);
}
