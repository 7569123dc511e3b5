#include "polyview/numeric/vector_kernels.h"

#include <cmath>

double dnorm(int n, const double* v) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += v[i] * v[i];
    }
    return std::sqrt(sum);
}

double dnormalize(int n, double* v) {
    const double norm = dnorm(n, v);
    for (int i = 0; i < n; ++i) {
        v[i] /= norm;
    }
    return norm;
}

double ddot(int n, const double* a, const double* b) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        sum += a[i] * b[i];
    }
    return sum;
}

void dmatprod(const double* a, const double* b, int rows, int inner, int cols, double* c) {
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            double sum = 0.0;
            for (int k = 0; k < inner; ++k) {
                sum += a[i * inner + k] * b[k * cols + j];
            }
            c[i * cols + j] = sum;
        }
    }
}

void dmatmul(double* c, const double* a, const double* b, int m, int k, int p) {
    if (m < 1 || p < 1) {
        return;
    }
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < p; ++j) {
            double sum = 0.0;
            for (int q = 0; q < k; ++q) {
                sum += a[i * k + q] * b[q * p + j];
            }
            c[i * p + j] = sum;
        }
    }
}
