#pragma once

// Symmetric eigen decomposition of small dense matrices.
// Householder tridiagonalisation followed by implicit QL iteration with shifts (Wilkinson &
// Reinsch, "Handbook for Automatic Computation", vol. II, 1971).

// Reduces the symmetric a[1..n][1..n] (row pointers; lower triangle and diagonal read) to the
// tridiagonal d[1..n] (diagonal), e[1..n] (e[i] couples rows i and i-1, e[1] = 0); a is
// overwritten by the accumulated orthogonal Q with Q^T A Q tridiagonal.
void dtridiag(double** a, int n, double* d, double* e);
// Diagonalises the tridiagonal (d, e) of dtridiag in place: d[1..n] ends as the eigenvalues
// (unordered), e is destroyed, and every rotation is applied to the columns of z[1..n][1..n].
// Gives up silently after 30 iterations on one eigenvalue.
void dtridiag_ql(double* d, double* e, int n, double** z);

// Unit eigenvectors of the two eigenvalues of smallest magnitude of the symmetric a (n x n,
// 0-based row-major, not modified) into smallest[0..n-1] and second[0..n-1]; with wantValues
// also all eigenvalues by ascending magnitude into values[0..n-1]. False, with every output
// untouched, when n is outside 2..199 or the workspace cannot be had.
bool dsymeig_smallest2(
    const double* a, int n, double* smallest, double* second, double* values, bool wantValues);
// All eigenvalues of the symmetric a (n x n, 0-based row-major, not modified) by ascending
// magnitude into values[0..n-1]; column k of vectors (n x n, row-major: elements k, n + k, ...)
// is the unit eigenvector of values[k]. False, with both outputs untouched, when the workspace
// cannot be had.
bool dsymeig_sorted(const double* a, int n, double* values, double* vectors);
// dsymeig_smallest2 and dsymeig_sorted for orders up to 4 with all workspace on the stack: the
// same arithmetic and results, and no allocation to fail. False, outputs untouched, for larger
// orders (and as the heap forms for orders they refuse).
bool dsymeig_smallest2_small(
    const double* a, int n, double* smallest, double* second, double* values, bool wantValues);
bool dsymeig_sorted_small(const double* a, int n, double* values, double* vectors);
