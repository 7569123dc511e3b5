#pragma once

#include <cmath>

// Small kernels over 0-based arrays of doubles; matrices are row-major.

// sqrt of the sum of squares of v[0..n-1], summed in index order; 0.0 when n < 1.
double dnorm(int n, const double* v);
// Divides v[0..n-1] by dnorm(n, v) in place and returns that norm; a zero vector becomes NaN.
double dnormalize(int n, double* v);
// sqrt(a^2 + b^2) without squaring a or b, so that it neither over- nor underflows. Defined here
// so that the decompositions, which call it in their inner loops, can inline it.
inline double dhypot(double a, double b) {
    const double p = std::fabs(a);
    const double q = std::fabs(b);
    if (p > q) {
        const double t = q / p;
        if (t == 0.0) {
            return p;
        }
        return std::sqrt(t * q / p + 1.0) * p;  // order fixed
    }
    if (q == 0.0) {
        return 0.0;
    }
    const double t = p / q;
    if (t == 0.0) {
        return q;
    }
    return std::sqrt(t * p / q + 1.0) * q;  // order fixed
}

// Sum of a[i] * b[i] in index order; 0.0 when n < 1.
double ddot(int n, const double* a, const double* b);
// c (rows x cols) = a (rows x inner) * b (inner x cols), each sum from 0.0 in k order; nothing
// is done when rows < 1.
void dmatprod(const double* a, const double* b, int rows, int inner, int cols, double* c);
// c (m x p) = a (m x k) * b (k x p), 0-based row-major, each sum from 0.0 in ascending order;
// nothing is done when m < 1 or p < 1, and c is zeroed when k < 1.
void dmatmul(double* c, const double* a, const double* b, int m, int k, int p);
