#include "polyview/numeric/lu.h"

#include <cmath>
#include <memory>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/numeric/workspace.h"

namespace {

const double kTinyPivot = 1e-20;  // replaces an exactly zero pivot

using DMatrixPtr = std::unique_ptr<double*, SDMatrixFree>;
using DVectorPtr = std::unique_ptr<double, SDVectorFree>;
using IVectorPtr = std::unique_ptr<int, SIVectorFree>;

// Crout's method with partial pivoting scaled by the row maxima, vv[1..n] the scale workspace;
// counts the pivots that were exactly zero into *zeroPivots when it is given.
bool LuDecomposeWith(double** a, int n, int* index, double* d, int* zeroPivots, double* vv) {
    *d = 1.0;
    for (int i = 1; i <= n; ++i) {
        double big = 0.0;
        for (int j = 1; j <= n; ++j) {
            const double magnitude = std::fabs(a[i][j]);
            if (magnitude > big) {
                big = magnitude;
            }
        }
        if (big == 0.0 || std::isnan(big)) {
            return false;  // a row of zeros: singular
        }
        vv[i] = 1.0 / big;
    }
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i < j; ++i) {
            double sum = a[i][j];
            for (int k = 1; k < i; ++k) {
                sum -= a[i][k] * a[k][j];
            }
            a[i][j] = sum;
        }
        double big = 0.0;
        int pivotRow = j;
        for (int i = j; i <= n; ++i) {
            double sum = a[i][j];
            for (int k = 1; k < j; ++k) {
                sum -= a[i][k] * a[k][j];
            }
            a[i][j] = sum;
            const double merit = vv[i] * std::fabs(sum);
            if (merit >= big) {  // a later equal row wins
                big = merit;
                pivotRow = i;
            }
        }
        if (pivotRow != j) {
            for (int k = 1; k <= n; ++k) {
                const double swap = a[pivotRow][k];
                a[pivotRow][k] = a[j][k];
                a[j][k] = swap;
            }
            *d = -*d;
            vv[pivotRow] = vv[j];
        }
        index[j] = pivotRow;
        if (a[j][j] == 0.0) {
            a[j][j] = kTinyPivot;
            if (zeroPivots != nullptr) {
                ++*zeroPivots;
            }
        }
        if (j < n) {
            for (int i = j + 1; i <= n; ++i) {
                a[i][j] /= a[j][j];
            }
        }
    }
    return true;
}

bool LuDecompose(double** a, int n, int* index, double* d, int* zeroPivots) {
    const DVectorPtr scale(dvector(1, n), SDVectorFree{1, n});
    if (!scale) {
        return false;
    }
    return LuDecomposeWith(a, n, index, d, zeroPivots, scale.get());
}

bool InvertLu(const CMNMatrix& a, CMNMatrix& inverse, int* zeroPivots) {
    const int n = a.Rows();
    if (a.Cols() < n) {
        return false;  // no leading n x n block
    }
    if (inverse.Rows() != n || inverse.Cols() != n) {
        inverse.Resize(n, n, true);
    }
    const DMatrixPtr work(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    const DMatrixPtr result(dmatrix(1, n, 1, n), SDMatrixFree{1, n, 1, n});
    const DVectorPtr column(dvector(1, n), SDVectorFree{1, n});
    const IVectorPtr index(ivector(1, n), SIVectorFree{1, n});
    if (!work || !result || !column || !index) {
        return false;
    }
    double** const lu = work.get();
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            lu[i][j] = a(i - 1, j - 1);
        }
    }
    double sign = 1.0;
    if (!LuDecompose(lu, n, index.get(), &sign, zeroPivots)) {
        return false;
    }
    double* const b = column.get();
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            b[i] = 0.0;
        }
        b[j] = 1.0;
        dlu_solve(lu, n, index.get(), b);
        for (int i = 1; i <= n; ++i) {
            result.get()[i][j] = b[i];
        }
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            inverse(i - 1, j - 1) = result.get()[i][j];
        }
    }
    return true;
}

const int kSmallOrder = 4;  // largest order of dinvert_lu_small

}  // namespace

bool dinvert_lu_small(const double* a, int n, double* inverse) {
    if (n < 1 || n > kSmallOrder) {
        return false;
    }
    double luData[kSmallOrder + 1][kSmallOrder + 1];  // 1-based rows and columns
    double* lu[kSmallOrder + 1];
    for (int i = 1; i <= n; ++i) {
        lu[i] = luData[i];
        for (int j = 1; j <= n; ++j) {
            lu[i][j] = a[(i - 1) * n + (j - 1)];
        }
    }
    int index[kSmallOrder + 1];
    double scale[kSmallOrder + 1];
    double sign = 1.0;
    if (!LuDecomposeWith(lu, n, index, &sign, nullptr, scale)) {
        return false;
    }
    double b[kSmallOrder + 1];
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            b[i] = 0.0;
        }
        b[j] = 1.0;
        dlu_solve(lu, n, index, b);
        for (int i = 1; i <= n; ++i) {
            inverse[(i - 1) * n + (j - 1)] = b[i];
        }
    }
    return true;
}

bool dlu_decompose(double** a, int n, int* index, double* d) {
    return LuDecompose(a, n, index, d, nullptr);
}

void dlu_solve(double** a, int n, const int* index, double* b) {
    int first = 0;  // first row with a non-zero right-hand side; 0 while there is none
    for (int i = 1; i <= n; ++i) {
        const int pivotRow = index[i];
        double sum = b[pivotRow];
        b[pivotRow] = b[i];
        if (first != 0) {
            for (int j = first; j < i; ++j) {
                sum -= a[i][j] * b[j];
            }
        } else if (sum != 0.0) {
            first = i;
        }
        b[i] = sum;
    }
    for (int i = n; i >= 1; --i) {
        double sum = b[i];
        for (int j = i + 1; j <= n; ++j) {
            sum -= a[i][j] * b[j];
        }
        b[i] = sum / a[i][i];
    }
}

bool dinvert_lu(const CMNMatrix& a, CMNMatrix& inverse) {
    return InvertLu(a, inverse, nullptr);
}

bool dinvert_lu_nonsingular(const CMNMatrix& a, CMNMatrix& inverse) {
    int zeroPivots = 0;
    CMNMatrix candidate;
    if (!InvertLu(a, candidate, &zeroPivots) || zeroPivots != 0) {
        return false;
    }
    inverse = candidate;
    return true;
}
