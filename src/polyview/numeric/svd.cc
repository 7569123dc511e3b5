#include "polyview/numeric/svd.h"

#include <cmath>
#include <memory>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/vector_kernels.h"
#include "polyview/numeric/workspace.h"

namespace {

const int kMaxSweeps = 30;  // implicit QR sweeps allowed per singular value

using DMatrixPtr = std::unique_ptr<double*, SDMatrixFree>;
using DVectorPtr = std::unique_ptr<double, SDVectorFree>;
using IVectorPtr = std::unique_ptr<int, SIVectorFree>;

// |x| with the sign of f (f >= 0 counts as positive; a NaN f as negative).
double SignOf(double x, double f) {
    return f >= 0.0 ? std::fabs(x) : -std::fabs(x);
}

// Householder reduction of a[1..m][1..n] to upper bidiagonal form: w the diagonal, rv1 the
// superdiagonal; returns anorm, the largest |w[i]| + |rv1[i]|, and leaves in g the scale-free
// value of the last right reflection, as the accumulation of the right transformations needs.
double Bidiagonalise(double** a, int m, int n, double* w, double* rv1, double& g) {
    double anorm = 0.0;
    double scale = 0.0;
    g = 0.0;
    for (int i = 1; i <= n; ++i) {
        const int l = i + 1;
        rv1[i] = scale * g;
        g = 0.0;
        double s = 0.0;
        scale = 0.0;
        if (i <= m) {
            // Left reflection on column i, rows i..m.
            for (int k = i; k <= m; ++k) {
                scale += std::fabs(a[k][i]);
            }
            if (scale != 0.0) {
                for (int k = i; k <= m; ++k) {
                    a[k][i] /= scale;
                    s += a[k][i] * a[k][i];
                }
                const double f = a[i][i];
                g = -SignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][i] = f - g;
                for (int j = l; j <= n; ++j) {
                    double sum = 0.0;
                    for (int k = i; k <= m; ++k) {
                        sum += a[k][i] * a[k][j];
                    }
                    const double factor = sum / h;
                    for (int k = i; k <= m; ++k) {
                        a[k][j] += factor * a[k][i];
                    }
                }
                for (int k = i; k <= m; ++k) {
                    a[k][i] *= scale;
                }
            }
        }
        w[i] = scale * g;
        g = 0.0;
        s = 0.0;
        scale = 0.0;
        if (i <= m && i != n) {
            // Right reflection on row i, columns i+1..n.
            for (int k = l; k <= n; ++k) {
                scale += std::fabs(a[i][k]);
            }
            if (scale != 0.0) {
                for (int k = l; k <= n; ++k) {
                    a[i][k] /= scale;
                    s += a[i][k] * a[i][k];
                }
                const double f = a[i][l];
                g = -SignOf(std::sqrt(s), f);
                const double h = f * g - s;
                a[i][l] = f - g;
                for (int k = l; k <= n; ++k) {
                    rv1[k] = a[i][k] / h;
                }
                for (int j = l; j <= m; ++j) {
                    double sum = 0.0;
                    for (int k = l; k <= n; ++k) {
                        sum += a[j][k] * a[i][k];
                    }
                    for (int k = l; k <= n; ++k) {
                        a[j][k] += sum * rv1[k];
                    }
                }
                for (int k = l; k <= n; ++k) {
                    a[i][k] *= scale;
                }
            }
        }
        const double rowNorm = std::fabs(w[i]) + std::fabs(rv1[i]);
        if (rowNorm > anorm) {
            anorm = rowNorm;
        }
    }
    return anorm;
}

// Accumulates the right reflections into v[1..n][1..n]; g enters as left by Bidiagonalise.
void AccumulateRight(double** a, int n, const double* rv1, double g, double** v) {
    int l = n + 1;
    for (int i = n; i >= 1; --i) {
        if (i < n) {
            if (g != 0.0) {
                for (int j = l; j <= n; ++j) {
                    v[j][i] = (a[i][j] / a[i][l]) / g;  // two divisions, order fixed
                }
                for (int j = l; j <= n; ++j) {
                    double sum = 0.0;
                    for (int k = l; k <= n; ++k) {
                        sum += a[i][k] * v[k][j];
                    }
                    for (int k = l; k <= n; ++k) {
                        v[k][j] += sum * v[k][i];
                    }
                }
            }
            for (int j = l; j <= n; ++j) {
                v[i][j] = 0.0;
                v[j][i] = 0.0;
            }
        }
        v[i][i] = 1.0;
        g = rv1[i];
        l = i;
    }
}

// Accumulates the left reflections into a, which becomes U.
void AccumulateLeft(double** a, int m, int n, const double* w) {
    for (int i = (m < n ? m : n); i >= 1; --i) {
        const int l = i + 1;
        for (int j = l; j <= n; ++j) {
            a[i][j] = 0.0;
        }
        if (w[i] != 0.0) {
            const double g = 1.0 / w[i];
            for (int j = l; j <= n; ++j) {
                double sum = 0.0;
                for (int k = l; k <= m; ++k) {
                    sum += a[k][i] * a[k][j];
                }
                const double factor = (sum / a[i][i]) * g;
                for (int k = i; k <= m; ++k) {
                    a[k][j] += factor * a[k][i];
                }
            }
            for (int j = i; j <= m; ++j) {
                a[j][i] *= g;
            }
        } else {
            for (int j = i; j <= m; ++j) {
                a[j][i] = 0.0;
            }
        }
        a[i][i] += 1.0;
    }
}

// Rotates columns p and q of x[1..rows][..] by (c, s): p <- p c + q s, q <- q c - p s.
void RotateColumns(double** x, int rows, int p, int q, double c, double s) {
    for (int j = 1; j <= rows; ++j) {
        const double y = x[j][p];
        const double z = x[j][q];
        x[j][p] = y * c + z * s;
        x[j][q] = z * c - y * s;
    }
}

// Diagonalises the bidiagonal (w, rv1) by implicitly shifted QR sweeps, rotating U (in a) when
// kLeft and V when kRight. The rotations are chosen from w and rv1 alone, so the values and V
// come out the same whether or not U is carried along.
template <bool kLeft, bool kRight>
void Diagonalise(double** a, int m, int n, double* w, double* rv1, double** v, double anorm) {
    for (int k = n; k >= 1; --k) {
        for (int sweep = 1; sweep <= kMaxSweeps; ++sweep) {
            // Split test; exact comparisons after adding anorm, no other tolerance.
            bool cancel = true;
            int l = k;
            for (; l >= 1; --l) {
                if (std::fabs(rv1[l]) + anorm == anorm) {
                    cancel = false;
                    break;
                }
                if (std::fabs(w[l - 1]) + anorm == anorm) {
                    break;
                }
            }
            const int nm = l - 1;
            if (cancel) {
                // w[l-1] is negligible: chase rv1[l] out by rotations from the left.
                double c = 0.0;
                double s = 1.0;
                for (int i = l; i <= k; ++i) {
                    const double f = s * rv1[i];
                    rv1[i] = c * rv1[i];
                    if (std::fabs(f) + anorm == anorm) {
                        break;
                    }
                    const double g = w[i];
                    double h = dhypot(f, g);
                    w[i] = h;
                    h = 1.0 / h;
                    c = g * h;
                    s = -f * h;
                    if (kLeft) {
                        RotateColumns(a, m, nm, i, c, s);
                    }
                }
            }
            double z = w[k];
            if (l == k) {
                // Converged: make the singular value non-negative.
                if (z < 0.0) {
                    w[k] = -z;
                    for (int j = 1; kRight && j <= n; ++j) {
                        v[j][k] = -v[j][k];
                    }
                }
                break;
            }
            // Shift from the trailing 2 x 2 block.
            double x = w[l];
            double y = w[k - 1];
            double g = rv1[k - 1];
            double h = rv1[k];
            double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
            g = dhypot(f, 1.0);
            f = ((x - z) * (x + z) + h * ((y / (f + SignOf(g, f))) - h)) / x;
            // Chase the bulge from l to k - 1.
            double c = 1.0;
            double s = 1.0;
            for (int j = l; j <= k - 1; ++j) {
                const int i = j + 1;
                g = rv1[i];
                y = w[i];
                h = s * g;
                g = c * g;
                z = dhypot(f, h);
                rv1[j] = z;
                c = f / z;
                s = h / z;
                f = x * c + g * s;
                g = g * c - x * s;
                h = y * s;
                y *= c;
                if (kRight) {
                    RotateColumns(v, n, j, i, c, s);
                }
                z = dhypot(f, h);
                w[j] = z;
                if (z != 0.0) {
                    z = 1.0 / z;
                    c = f * z;
                    s = h * z;
                }
                f = c * g + s * y;
                x = c * y - s * g;
                if (kLeft) {
                    RotateColumns(a, m, j, i, c, s);
                }
            }
            rv1[l] = 0.0;
            rv1[k] = f;
            w[k] = x;
        }
    }
}

// order[1..n] = 1..n ordered by decreasing |w|: an exchange sort in which a NaN on either side
// exchanges. Returns whether the order differs from 1..n.
bool OrderByDecreasingMagnitude(const double* w, int n, int* order) {
    for (int i = 1; i <= n; ++i) {
        order[i] = i;
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            if (!(std::fabs(w[order[i]]) >= std::fabs(w[order[j]]))) {
                const int swap = order[i];
                order[i] = order[j];
                order[j] = swap;
            }
        }
    }
    for (int i = 1; i <= n; ++i) {
        if (order[i] != i) {
            return true;
        }
    }
    return false;
}

// Moves column order[k] of each row of x[1..rows][1..n] to column k, through row (n values).
void PermuteColumns(double** x, int rows, int n, const int* order, double* row) {
    for (int i = 1; i <= rows; ++i) {
        for (int j = 1; j <= n; ++j) {
            row[j] = x[i][j];
        }
        for (int k = 1; k <= n; ++k) {
            x[i][k] = row[order[k]];
        }
    }
}

// Bidiagonalisation, accumulation and diagonalisation (steps 2 to 5); rv1[1..n] is workspace.
void Decompose(double** a, int m, int n, double* w, double** v, double* rv1) {
    double g = 0.0;
    const double anorm = Bidiagonalise(a, m, n, w, rv1, g);
    AccumulateRight(a, n, rv1, g, v);
    AccumulateLeft(a, m, n, w);
    Diagonalise<true, true>(a, m, n, w, rv1, v, anorm);
}

const int kSmallColumns = 8;  // largest n of the stack-workspace forms

}  // namespace

bool dsvd_inplace(double** a, int m, int n, double* w, double** v) {
    if (m < 0 || n < 0) {
        return false;
    }
    // All workspace first, so that an exhausted heap leaves the caller's arrays untouched.
    const DVectorPtr rv1(dvector(1, n), SDVectorFree{1, n});
    const IVectorPtr index(ivector(1, n), SIVectorFree{1, n});
    const DMatrixPtr aCopy(dmatrix(1, m, 1, n), SDMatrixFree{1, m, 1, n});
    const DVectorPtr wCopy(dvector(1, n), SDVectorFree{1, n});
    const DMatrixPtr vCopy(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    if (!rv1 || !index || !aCopy || !wCopy || !vCopy) {
        return false;
    }
    Decompose(a, m, n, w, v, rv1.get());

    // Order by decreasing |w|; a NaN on either side exchanges. Moving through the copies leaves
    // everything where it is when the order is already right, so that case skips the moves.
    int* const order = index.get();
    if (!OrderByDecreasingMagnitude(w, n, order)) {
        return true;
    }
    double** const u0 = aCopy.get();
    double* const w0 = wCopy.get();
    double** const v0 = vCopy.get();
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            u0[i][j] = a[i][j];
        }
    }
    for (int i = 1; i <= n; ++i) {
        w0[i] = w[i];
        for (int j = 1; j <= n; ++j) {
            v0[i][j] = v[i][j];
        }
    }
    for (int k = 1; k <= n; ++k) {
        const int source = order[k];
        w[k] = w0[source];
        for (int i = 1; i <= n; ++i) {
            v[i][k] = v0[i][source];
        }
        for (int i = 1; i <= m; ++i) {
            a[i][k] = u0[i][source];
        }
    }
    return true;
}

bool dsvd_inplace_small(double** a, int m, int n, double* w, double** v) {
    if (m < 0 || n < 0 || n > kSmallColumns) {
        return false;
    }
    double rv1[kSmallColumns + 1];
    int order[kSmallColumns + 1];
    double row[kSmallColumns + 1];
    Decompose(a, m, n, w, v, rv1);
    if (OrderByDecreasingMagnitude(w, n, order)) {
        for (int j = 1; j <= n; ++j) {
            row[j] = w[j];
        }
        for (int k = 1; k <= n; ++k) {
            w[k] = row[order[k]];
        }
        PermuteColumns(v, n, n, order, row);
        PermuteColumns(a, m, n, order, row);
    }
    return true;
}

bool dsvd_values_small(double** a, int m, int n, double* w) {
    if (m < 0 || n < 0 || n > kSmallColumns) {
        return false;
    }
    double rv1[kSmallColumns + 1];
    int order[kSmallColumns + 1];
    double row[kSmallColumns + 1];
    double g = 0.0;
    const double anorm = Bidiagonalise(a, m, n, w, rv1, g);
    Diagonalise<false, false>(a, m, n, w, rv1, nullptr, anorm);
    if (OrderByDecreasingMagnitude(w, n, order)) {
        for (int j = 1; j <= n; ++j) {
            row[j] = w[j];
        }
        for (int k = 1; k <= n; ++k) {
            w[k] = row[order[k]];
        }
    }
    return true;
}

bool dsvd_right_small(double** a, int m, int n, double* w, double** v) {
    if (m < 0 || n < 0 || n > kSmallColumns) {
        return false;
    }
    double rv1[kSmallColumns + 1];
    int order[kSmallColumns + 1];
    double row[kSmallColumns + 1];
    double g = 0.0;
    const double anorm = Bidiagonalise(a, m, n, w, rv1, g);
    AccumulateRight(a, n, rv1, g, v);
    Diagonalise<false, true>(a, m, n, w, rv1, v, anorm);
    if (OrderByDecreasingMagnitude(w, n, order)) {
        for (int j = 1; j <= n; ++j) {
            row[j] = w[j];
        }
        for (int k = 1; k <= n; ++k) {
            w[k] = row[order[k]];
        }
        PermuteColumns(v, n, n, order, row);
    }
    return true;
}

bool dsvd_sorted(CMNMatrix& a, CNDVector& w, CMNMatrix& v) {
    const int m = a.Rows();
    const int n = a.Cols();
    if (m < 1 || n < 1) {
        return false;
    }
    const DMatrixPtr work(dmatrix(1, m, 1, n), SDMatrixFree{1, m, 1, n});
    const DVectorPtr values(dvector(1, n), SDVectorFree{1, n});
    const DMatrixPtr right(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    const IVectorPtr index(ivector(1, n), SIVectorFree{1, n});
    if (!work || !values || !right || !index) {
        return false;
    }
    double** const u = work.get();
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= n; ++j) {
            u[i][j] = a(i - 1, j - 1);
        }
    }
    if (!dsvd_inplace(u, m, n, values.get(), right.get())) {
        return false;
    }
    // The decomposition is already ordered; this exchange sort keeps ordered values in place.
    const double* const sv = values.get();
    int* const order = index.get();
    for (int i = 1; i <= n; ++i) {
        order[i] = i;
    }
    for (int i = 1; i <= n - 1; ++i) {
        for (int j = i + 1; j <= n; ++j) {
            if (std::fabs(sv[order[i]]) < std::fabs(sv[order[j]])) {
                const int swap = order[i];
                order[i] = order[j];
                order[j] = swap;
            }
        }
    }
    if (w.Rows() != n) {
        w.SetSize(n);
    }
    if (v.Rows() != n || v.Cols() != n) {
        v.SetSize(n, n);
    }
    for (int k = 0; k < n; ++k) {
        const int source = order[k + 1];
        w[k] = sv[source];
        for (int i = 0; i < n; ++i) {
            v(i, k) = right.get()[i + 1][source];
        }
        for (int i = 0; i < m; ++i) {
            a(i, k) = u[i + 1][source];
        }
    }
    return true;
}
