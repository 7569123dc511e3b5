#include "polyview/numeric/symmetric_eigen.h"

#include <cmath>
#include <memory>

#include "polyview/numeric/vector_kernels.h"
#include "polyview/numeric/workspace.h"

namespace {

const int kMaxSmallOrder = 199;  // largest order dsymeig_smallest2 accepts
const int kMaxIterations = 30;   // QL iterations allowed per eigenvalue

using DMatrixPtr = std::unique_ptr<double*, SDMatrixFree>;
using DVectorPtr = std::unique_ptr<double, SDVectorFree>;
using IVectorPtr = std::unique_ptr<int, SIVectorFree>;

// Orders index[0..n-1] (holding 1..n) by ascending |d[index]|: an exchange sort that swaps only
// on a strictly larger magnitude in front.
void OrderByMagnitude(const double* d, int n, int* index) {
    for (int k = 0; k < n; ++k) {
        index[k] = k + 1;
    }
    for (int i = 0; i < n - 1; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (std::fabs(d[index[i]]) > std::fabs(d[index[j]])) {
                const int swap = index[i];
                index[i] = index[j];
                index[j] = swap;
            }
        }
    }
}

}  // namespace

void dtridiag(double** a, int n, double* d, double* e) {
    for (int i = n; i >= 2; --i) {
        const int l = i - 1;
        double h = 0.0;
        double scale = 0.0;
        if (l > 1) {
            for (int k = 1; k <= l; ++k) {
                scale += std::fabs(a[i][k]);
            }
            if (scale == 0.0) {
                e[i] = a[i][l];
            } else {
                for (int k = 1; k <= l; ++k) {
                    a[i][k] /= scale;
                    h += a[i][k] * a[i][k];
                }
                double f = a[i][l];
                double g = f >= 0.0 ? -std::sqrt(h) : std::sqrt(h);
                e[i] = scale * g;
                h -= f * g;
                a[i][l] = f - g;
                f = 0.0;
                for (int j = 1; j <= l; ++j) {
                    a[j][i] = a[i][j] / h;
                    g = 0.0;
                    for (int k = 1; k <= j; ++k) {
                        g += a[j][k] * a[i][k];
                    }
                    for (int k = j + 1; k <= l; ++k) {
                        g += a[k][j] * a[i][k];
                    }
                    e[j] = g / h;
                    f += e[j] * a[i][j];
                }
                const double hh = f / (h + h);
                for (int j = 1; j <= l; ++j) {
                    f = a[i][j];
                    g = e[j] - hh * f;
                    e[j] = g;
                    for (int k = 1; k <= j; ++k) {
                        a[j][k] -= (f * e[k] + g * a[i][k]);
                    }
                }
            }
        } else {
            e[i] = a[i][l];
        }
        d[i] = h;
    }
    d[1] = 0.0;
    e[1] = 0.0;
    // Accumulate the transformations into a.
    for (int i = 1; i <= n; ++i) {
        const int l = i - 1;
        if (d[i] != 0.0 && l >= 1) {
            for (int j = 1; j <= l; ++j) {
                double g = 0.0;
                for (int k = 1; k <= l; ++k) {
                    g += a[i][k] * a[k][j];
                }
                for (int k = 1; k <= l; ++k) {
                    a[k][j] -= g * a[k][i];
                }
            }
        }
        d[i] = a[i][i];
        a[i][i] = 1.0;
        for (int j = 1; j <= l; ++j) {
            a[j][i] = 0.0;
            a[i][j] = 0.0;
        }
    }
}

void dtridiag_ql(double* d, double* e, int n, double** z) {
    for (int i = 2; i <= n; ++i) {
        e[i - 1] = e[i];
    }
    e[n] = 0.0;
    for (int l = 1; l <= n; ++l) {
        int iter = 0;
        int m = l;
        do {
            // Look for a negligible subdiagonal element; the comparison is exact by design.
            for (m = l; m <= n - 1; ++m) {
                const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
                if (std::fabs(e[m]) + dd == dd) {
                    break;
                }
            }
            if (m == l) {
                break;
            }
            if (iter == kMaxIterations) {
                return;  // silently gives up; values below l are final
            }
            ++iter;
            double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
            double r = dhypot(g, 1.0);
            g = d[m] - d[l] + e[l] / (g + (g < 0.0 ? -std::fabs(r) : std::fabs(r)));
            double s = 1.0;
            double c = 1.0;
            double p = 0.0;
            bool deflated = false;
            for (int i = m - 1; i >= l; --i) {
                double f = s * e[i];
                const double b = c * e[i];
                r = dhypot(f, g);
                e[i + 1] = r;
                if (r == 0.0) {
                    // Underflow: the element is split off without further rotation.
                    d[i + 1] -= p;
                    e[m] = 0.0;
                    deflated = true;
                    break;
                }
                s = f / r;
                c = g / r;
                g = d[i + 1] - p;
                r = (d[i] - g) * s + 2.0 * c * b;  // order fixed
                p = s * r;
                d[i + 1] = g + p;
                g = c * r - b;
                for (int k = 1; k <= n; ++k) {
                    f = z[k][i + 1];
                    z[k][i + 1] = s * z[k][i] + c * f;
                    z[k][i] = c * z[k][i] - s * f;
                }
            }
            if (deflated) {
                continue;
            }
            d[l] -= p;
            e[l] = g;
            e[m] = 0.0;
        } while (true);
    }
}

namespace {

const int kStackOrder = 4;  // largest order of the stack-workspace forms

// The work of dsymeig_smallest2 on the caller's z[1..n][1..n], d, e (1..n) and index (0..n-1).
void SmallestTwo(const double* a,
                 int n,
                 double** zz,
                 double* d,
                 double* e,
                 int* index,
                 double* smallest,
                 double* second,
                 double* values,
                 bool wantValues) {
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            zz[i][j] = a[(j - 1) * n + (i - 1)];
        }
    }
    dtridiag(zz, n, d, e);
    dtridiag_ql(d, e, n, zz);
    OrderByMagnitude(d, n, index);
    if (wantValues) {
        for (int k = 0; k < n; ++k) {
            values[k] = d[index[k]];
        }
    }
    const int j1 = index[0];
    const int j2 = index[1];
    for (int k = 1; k <= n; ++k) {
        smallest[k - 1] = zz[k][j1];
        second[k - 1] = zz[k][j2];
    }
}

// The work of dsymeig_sorted on the caller's z[1..n][1..n], d, e (1..n) and order (0..n-1).
void SortedPairs(const double* a,
                 int n,
                 double** zz,
                 double* d,
                 double* e,
                 int* order,
                 double* values,
                 double* vectors) {
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            zz[i][j] = a[(i - 1) * n + (j - 1)];
        }
    }
    if (n > 0) {
        dtridiag(zz, n, d, e);
        dtridiag_ql(d, e, n, zz);
    }
    OrderByMagnitude(d, n, order);
    for (int k = 0; k < n; ++k) {
        values[k] = d[order[k]];
    }
    for (int i = 1; i <= n; ++i) {
        for (int k = 0; k < n; ++k) {
            vectors[(i - 1) * n + k] = zz[i][order[k]];
        }
    }
}

// A 1-based kStackOrder x kStackOrder matrix on the stack, with its row pointers.
struct SStackMatrix {
    double data[kStackOrder + 1][kStackOrder + 1];
    double* rows[kStackOrder + 1];
    SStackMatrix() {
        for (int i = 0; i <= kStackOrder; ++i) {
            rows[i] = data[i];
        }
    }
};

}  // namespace

bool dsymeig_smallest2(
    const double* a, int n, double* smallest, double* second, double* values, bool wantValues) {
    if (n < 2 || n > kMaxSmallOrder) {
        return false;
    }
    double d[kMaxSmallOrder + 1];  // [1..n], the diagonal, then the eigenvalues
    double e[kMaxSmallOrder + 1];  // [1..n], the subdiagonal
    const DMatrixPtr z(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    const IVectorPtr index(ivector(0, n - 1), SIVectorFree{0, n - 1});
    if (!z || !index) {
        return false;
    }
    SmallestTwo(a, n, z.get(), d, e, index.get(), smallest, second, values, wantValues);
    return true;
}

bool dsymeig_smallest2_small(
    const double* a, int n, double* smallest, double* second, double* values, bool wantValues) {
    if (n < 2 || n > kStackOrder) {
        return false;
    }
    SStackMatrix z;
    double d[kStackOrder + 1];
    double e[kStackOrder + 1];
    int index[kStackOrder];
    SmallestTwo(a, n, z.rows, d, e, index, smallest, second, values, wantValues);
    return true;
}

bool dsymeig_sorted(const double* a, int n, double* values, double* vectors) {
    if (n < 0) {
        return false;
    }
    const DMatrixPtr z(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    const DVectorPtr d(dvector(1, n), SDVectorFree{1, n});
    const DVectorPtr e(dvector(1, n), SDVectorFree{1, n});
    const IVectorPtr index(ivector(0, n - 1), SIVectorFree{0, n - 1});
    if (!z || !d || !e || !index) {
        return false;
    }
    SortedPairs(a, n, z.get(), d.get(), e.get(), index.get(), values, vectors);
    return true;
}

bool dsymeig_sorted_small(const double* a, int n, double* values, double* vectors) {
    if (n < 0 || n > kStackOrder) {
        return false;
    }
    SStackMatrix z;
    double d[kStackOrder + 1];
    double e[kStackOrder + 1];
    int order[kStackOrder];
    SortedPairs(a, n, z.rows, d, e, order, values, vectors);
    return true;
}
