#include "polyview/foundations/vector_nd.h"

#include <algorithm>
#include <limits>

#include "polyview/foundations/matrix_mn.h"

namespace {

double* NewElements(int n, double fill) {
    if (n <= 0) {
        return nullptr;
    }
    double* data = new double[static_cast<size_t>(n)];
    std::fill(data, data + n, fill);
    return data;
}

}  // namespace

CNDVector::CNDVector() : m_size(0), m_data(nullptr) {}
CNDVector::CNDVector(int n, double fill) : m_size(n > 0 ? n : 0), m_data(NewElements(n, fill)) {}
CNDVector::CNDVector(int n, const double* values) : CNDVector(n, 0.0) {
    std::copy(values, values + m_size, m_data);
}
CNDVector::CNDVector(const CNDVector& other) : CNDVector(other.m_size, 0.0) {
    std::copy(other.m_data, other.m_data + m_size, m_data);
}
CNDVector& CNDVector::operator=(const CNDVector& other) {
    if (this == &other) {
        return *this;
    }
    if (m_size != other.m_size) {
        double* data = NewElements(other.m_size, 0.0);
        delete[] m_data;
        m_data = data;
        m_size = other.m_size;
    }
    std::copy(other.m_data, other.m_data + m_size, m_data);
    return *this;
}
CNDVector::~CNDVector() {
    delete[] m_data;
}

void CNDVector::SetSize(int n) {
    *this = CNDVector(n, 0.0);
}
void CNDVector::Resize(int n) {
    CNDVector resized(n, 0.0);
    std::copy(m_data, m_data + std::min(m_size, resized.m_size), resized.m_data);
    *this = resized;
}

double CNDVector::GetElement(int i) const {
    if (i < 0 || i >= m_size) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return m_data[i];
}
bool CNDVector::SetElement(int i, double value) {
    if (i < 0 || i >= m_size) {
        return false;
    }
    m_data[i] = value;
    return true;
}

CNDVector& CNDVector::operator+=(const CNDVector& other) {
    if (m_size != other.m_size) {
        return *this;
    }
    for (int i = 0; i < m_size; ++i) {
        m_data[i] += other.m_data[i];
    }
    return *this;
}
CNDVector CNDVector::operator-(const CNDVector& other) const {
    if (m_size != other.m_size) {
        return CNDVector();
    }
    CNDVector difference(m_size);
    for (int i = 0; i < m_size; ++i) {
        difference.m_data[i] = m_data[i] - other.m_data[i];
    }
    return difference;
}
CNDVector& CNDVector::operator/=(double divisor) {
    for (int i = 0; i < m_size; ++i) {
        m_data[i] /= divisor;
    }
    return *this;
}
CNDVector& CNDVector::operator*=(double factor) {
    for (int i = 0; i < m_size; ++i) {
        m_data[i] *= factor;
    }
    return *this;
}
double CNDVector::GetDotProduct(const CNDVector& other) const {
    if (m_size != other.m_size) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    double sum = 0.0;
    for (int i = 0; i < m_size; ++i) {
        sum += m_data[i] * other.m_data[i];
    }
    return sum;
}
CMNMatrix CNDVector::GetOuterProduct(const CNDVector& other) const {
    CMNMatrix outer(m_size, other.m_size);
    for (int row = 0; row < outer.Rows(); ++row) {
        for (int col = 0; col < outer.Cols(); ++col) {
            outer(row, col) = m_data[row] * other.m_data[col];
        }
    }
    return outer;
}
void CNDVector::GetVector(double* values) const {
    std::copy(m_data, m_data + m_size, values);
}
CNDVector::operator C3DVector() const {
    return C3DVector(
        m_size > 0 ? m_data[0] : 0.0, m_size > 1 ? m_data[1] : 0.0, m_size > 2 ? m_data[2] : 0.0);
}
