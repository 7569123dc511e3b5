#pragma once

#include <vector>

#include "polyview/numeric/workspace.h"

// A matrix indexed [1..rows][1..cols] as the numeric kernels take it (a dmatrix), filled from
// row-major values (zeros when there are none) and released with the object.
class CIndexed {
  public:
    CIndexed(int rows, int cols, const std::vector<double>& values)
        : m_rows(rows), m_cols(cols), m_data(dmatrix(1, rows, 1, cols)) {
        for (int k = 0; k < rows * cols; ++k) {
            m_data[k / cols + 1][k % cols + 1] = values.empty() ? 0.0 : values[k];
        }
    }
    CIndexed(const CIndexed&) = delete;
    CIndexed& operator=(const CIndexed&) = delete;
    ~CIndexed() { dmatrix_free(m_data, 1, m_rows, 1, m_cols); }
    double** operator*() const { return m_data; }
    // The entries in row-major order.
    std::vector<double> Values() const {
        std::vector<double> values;
        for (int k = 0; k < m_rows * m_cols; ++k) {
            values.push_back(m_data[k / m_cols + 1][k % m_cols + 1]);
        }
        return values;
    }

  private:
    int m_rows, m_cols;
    double** m_data;
};
