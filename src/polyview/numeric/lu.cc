#include "polyview/numeric/lu.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>
#include <utility>

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

bool IsFiniteValue(double value) {
    return std::fabs(value) <= std::numeric_limits<double>::max();  // false for NaN
}

// LuDecomposeWith along the rows' profile: first[i] receives the first column in which row i is
// not exactly zero (the rows carry it along when they are exchanged), last[i] the last column in
// which row i of the upper factor is not exactly zero, and the elimination leaves
// out the products whose factor lies where a row or a column is known to hold exact zeros (before
// first[i]; above the first non-zero entry of the column being eliminated). While every factor is
// finite such a product is a zero that leaves its sum as it was, and the zero entries need not be
// formed at all (only the sign of a zero could differ, and a zero only ever multiplies). *finite
// reports whether every value met was finite; when it is not, the caller must eliminate without
// the profile. The same pivots, results and failures as LuDecomposeWith otherwise.
bool LuDecomposeProfile(double** a,
                        int n,
                        int* index,
                        double* d,
                        int* zeroPivots,
                        double* vv,
                        int* first,
                        int* last,
                        bool* finite) {
    *d = 1.0;
    bool allFinite = true;
    for (int i = 1; i <= n; ++i) {
        // The row maximum in four interleaved runs (a maximum does not depend on the order in
        // which it is taken; a NaN is passed over as by the single run), after the leading zeros.
        int firstColumn = 1;
        while (firstColumn < n && a[i][firstColumn] == 0.0) {
            ++firstColumn;
        }
        double runs[4] = {0.0, 0.0, 0.0, 0.0};
        bool rowFinite = true;
        for (int j = firstColumn; j <= n; ++j) {
            const double magnitude = std::fabs(a[i][j]);
            double& run = runs[j & 3];
            run = magnitude > run ? magnitude : run;
            rowFinite = rowFinite & (magnitude <= std::numeric_limits<double>::max());
        }
        double big = runs[0];
        for (int r = 1; r < 4; ++r) {
            big = runs[r] > big ? runs[r] : big;
        }
        allFinite = allFinite && rowFinite;
        if (big == 0.0 || std::isnan(big)) {
            return false;  // a row of zeros: singular
        }
        vv[i] = 1.0 / big;
        first[i] = firstColumn;
        last[i] = i;
    }
    for (int j = 1; j <= n; ++j) {
        // Above the first row whose entry in column j is not zero, the upper factor is all zeros.
        int top = 1;
        while (top < j && a[top][j] == 0.0) {
            ++top;
        }
        for (int i = top; i < j; ++i) {
            if (first[i] > j) {
                continue;  // a[i][j] and every product are zeros
            }
            double sum = a[i][j];
            for (int k = first[i]; k < i; ++k) {
                sum -= a[i][k] * a[k][j];
            }
            a[i][j] = sum;
            allFinite = allFinite && IsFiniteValue(sum);
            if (sum != 0.0) {
                last[i] = j;  // every later entry of the row's upper part is formed here too
            }
        }
        double big = 0.0;
        int pivotRow = j;
        for (int i = j; i <= n; ++i) {
            double sum = a[i][j];
            if (first[i] <= j) {
                for (int k = first[i]; k < j; ++k) {
                    sum -= a[i][k] * a[k][j];
                }
                a[i][j] = sum;
                allFinite = allFinite && IsFiniteValue(sum);
            }
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
            const int swap = first[pivotRow];
            first[pivotRow] = first[j];
            first[j] = swap;
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
                if (first[i] <= j) {
                    a[i][j] /= a[j][j];
                    allFinite = allFinite && IsFiniteValue(a[i][j]);
                }
            }
        }
    }
    *finite = allFinite;
    return true;
}

// dlu_solve on a factorisation with a row profile, for count right-hand sides b[0..count-1] at
// once (count <= kSolveBlock), each solved with exactly the operations dlu_solve would apply to
// it: the forward sums of row i start at first[i] (before it the factor is zero), the backward
// sums end at last[i], the last column in which row i of the upper triangle is not exactly zero.
// Solving several together only lets their independent chains of operations overlap.
const int kSolveBlock = 8;

void LuSolveProfile(double** a,
                    int n,
                    const int* index,
                    double* const* b,
                    int count,
                    const int* first,
                    const int* last) {
    int firstNonZero[kSolveBlock] = {};  // per right-hand side, as in dlu_solve
    for (int i = 1; i <= n; ++i) {
        const int pivotRow = index[i];
        for (int c = 0; c < count; ++c) {
            double* const x = b[c];
            double sum = x[pivotRow];
            x[pivotRow] = x[i];
            if (firstNonZero[c] != 0) {
                for (int j = firstNonZero[c] > first[i] ? firstNonZero[c] : first[i]; j < i; ++j) {
                    sum -= a[i][j] * x[j];
                }
            } else if (sum != 0.0) {
                firstNonZero[c] = i;
            }
            x[i] = sum;
        }
    }
    for (int i = n; i >= 1; --i) {
        for (int c = 0; c < count; ++c) {
            double* const x = b[c];
            double sum = x[i];
            for (int j = i + 1; j <= last[i]; ++j) {
                sum -= a[i][j] * x[j];
            }
            x[i] = sum / a[i][i];
        }
    }
}

const int kStackProfileOrder = 512;  // up to this order the row profile lives on the stack

bool LuDecompose(double** a, int n, int* index, double* d, int* zeroPivots) {
    const DVectorPtr scale(dvector(1, n), SDVectorFree{1, n});
    if (!scale) {
        return false;
    }
    return LuDecomposeWith(a, n, index, d, zeroPivots, scale.get());
}

// The inverse column by column from the LU factorisation. Sparse matrices (such as the banded
// normal matrices of the B-spline fits) are factorised along their row profile; should any
// factor or result come out infinite or not a number, where a skipped zero product might not
// have been zero, the whole inversion is done again without the profile.
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
    const DVectorPtr scale(dvector(1, n), SDVectorFree{1, n});
    if (!scale) {
        return false;
    }
    // The profile, first[0..n] then last[0..n]; when its workspace is refused the inversion runs
    // without it (the same bits).
    int stackProfile[2 * (kStackProfileOrder + 1)];
    const bool heapHeld = n > kStackProfileOrder;
    const IVectorPtr heapProfile(heapHeld ? ivector(0, 2 * n + 1) : nullptr,
                                 SIVectorFree{0, 2 * n + 1});
    int* const first = heapHeld ? heapProfile.get() : stackProfile;
    int* const last = first == nullptr ? nullptr : first + n + 1;

    double** const lu = work.get();
    double** const out = result.get();
    double* const b = column.get();
    const int zeroPivotsBefore = zeroPivots != nullptr ? *zeroPivots : 0;
    for (int pass = first != nullptr ? 0 : 1; pass < 2; ++pass) {
        const bool profiled = pass == 0;
        if (zeroPivots != nullptr) {
            *zeroPivots = zeroPivotsBefore;
        }
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                lu[i][j] = a(i - 1, j - 1);
            }
        }
        double sign = 1.0;
        if (!profiled) {
            if (!LuDecomposeWith(lu, n, index.get(), &sign, zeroPivots, scale.get())) {
                return false;
            }
            for (int j = 1; j <= n; ++j) {
                for (int i = 1; i <= n; ++i) {
                    b[i] = 0.0;
                }
                b[j] = 1.0;
                dlu_solve(lu, n, index.get(), b);
                for (int i = 1; i <= n; ++i) {
                    out[i][j] = b[i];
                }
            }
            break;
        }
        bool finite = true;
        if (!LuDecomposeProfile(
                lu, n, index.get(), &sign, zeroPivots, scale.get(), first, last, &finite)) {
            return false;
        }
        if (!finite) {
            continue;
        }
        // Column j of the inverse is solved in row j of out (so out holds its transpose).
        for (int j = 1; j <= n; j += kSolveBlock) {
            const int count = n - j + 1 < kSolveBlock ? n - j + 1 : kSolveBlock;
            for (int c = 0; c < count; ++c) {
                for (int i = 1; i <= n; ++i) {
                    out[j + c][i] = 0.0;
                }
                out[j + c][j + c] = 1.0;
            }
            LuSolveProfile(lu, n, index.get(), out + j, count, first, last);
        }
        bool solved = true;
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= n; ++j) {
                const double value = out[j][i];
                inverse(i - 1, j - 1) = value;
                solved = solved && IsFiniteValue(value);
            }
        }
        if (solved) {
            return true;
        }
    }
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) {
            inverse(i - 1, j - 1) = out[i][j];
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
    inverse = std::move(candidate);
    return true;
}
