#include "polyview/numeric/symmetric_eigen.h"

#include <cmath>
#include <memory>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/numeric/vector_kernels.h"
#include "polyview/numeric/workspace.h"

namespace {

const int kMaxSmallOrder = 199;  // largest order dsymeig_smallest2 accepts
const int kMaxIterations = 30;   // QL iterations allowed per eigenvalue
// Largest point deviation of a line fit outside which the deviations are scaled near 1 first.
const double kSmallDeviation = 0x1p-200;
const double kLargeDeviation = 0x1p+200;

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

namespace {

// dfitline2d over points read through x(i) and y(i).
template <typename X, typename Y>
bool FitLine2d(int count, const X& x, const Y& y, double* a, double* b, double* c) {
    double sumX = 0.0;
    double sumY = 0.0;
    for (int i = 0; i < count; ++i) {
        sumX += x(i);
        sumY += y(i);
    }
    const double mx = sumX / static_cast<double>(count);
    const double my = sumY / static_cast<double>(count);
    // Deviations far from 1 are first scaled by a power of two (exactly), so that the scatter
    // sums neither sink into denormals, where the eigenvectors lose their unit length, nor
    // overflow; the normal's direction is the same. Ordinary data is not scaled at all: the
    // unscaled sums are formed in the same pass that finds the largest deviation (a greater-than
    // test keeps the larger value and passes over a NaN, as fmax does), and only scaled data
    // goes through the points a second time.
    // (The largest x and y deviations are kept apart and joined after the loop: a maximum does
    // not depend on the order in which it is taken, and the loop is not held up by it.)
    double largestX = 0.0;
    double largestY = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    double syy = 0.0;
    for (int i = 0; i < count; ++i) {
        const double dx = x(i) - mx;
        const double dy = y(i) - my;
        const double magnitudeX = std::fabs(dx);
        const double magnitudeY = std::fabs(dy);
        largestX = magnitudeX > largestX ? magnitudeX : largestX;
        largestY = magnitudeY > largestY ? magnitudeY : largestY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    const double largest = largestY > largestX ? largestY : largestX;
    if (largest > 0.0 && (largest < kSmallDeviation || largest > kLargeDeviation)) {
        int exponent = 0;
        std::frexp(largest, &exponent);
        const double scale = std::ldexp(1.0, -exponent);
        sxx = 0.0;
        sxy = 0.0;
        syy = 0.0;
        for (int i = 0; i < count; ++i) {
            const double dx = (x(i) - mx) * scale;
            const double dy = (y(i) - my) * scale;
            sxx += dx * dx;
            sxy += dx * dy;
            syy += dy * dy;
        }
    }
    const double scatter[4] = {sxx, sxy, sxy, syy};  // row-major 2 x 2
    double smallest[2];
    double second[2];
    double unused[2];  // the eigenvalues are not asked for
    if (!dsymeig_smallest2_small(scatter, 2, smallest, second, unused, false)) {
        return false;
    }
    *a = smallest[0];
    *b = smallest[1];
    *c = -(mx * smallest[0] + my * smallest[1]);
    return true;
}

}  // namespace

bool dfitline2d(const double* xs, const double* ys, int count, double* a, double* b, double* c) {
    return FitLine2d(
        count, [xs](int i) { return xs[i]; }, [ys](int i) { return ys[i]; }, a, b, c);
}

bool dfitline2d_coordinates(
    const C2DCoordinate* points, int count, double* a, double* b, double* c) {
    return FitLine2d(
        count,
        [points](int i) { return points[i].GetData(0); },
        [points](int i) { return points[i].GetData(1); },
        a,
        b,
        c);
}
