#pragma once

class CMNMatrix;

// LU factorisation in place of the 1-based a[1..n][1..n] (Crout's method, partial pivoting scaled
// by the row maxima): index[1..n] records the pivot rows, d the sign of the permutation. False
// when a row is all zero (or not a number), or the scale workspace cannot be had; a is then
// partly overwritten. A zero pivot is replaced by 1e-20.
bool dlu_decompose(double** a, int n, int* index, double* d);
// Solves a x = b with the factorisation of dlu_decompose; b[1..n] is replaced by x.
void dlu_solve(double** a, int n, const int* index, double* b);
// The inverse of the leading n x n block of a (n = a.Rows()) into inverse, resized to n x n
// first if needed. False when the matrix has a zero row, has fewer than n columns, or the
// workspace cannot be had; inverse then keeps what it held (after the resize).
bool dinvert_lu(const CMNMatrix& a, CMNMatrix& inverse);
// As dinvert_lu, but also false when the elimination meets an exactly zero pivot (a singular
// matrix); inverse is then untouched, and it is written only on success.
bool dinvert_lu_nonsingular(const CMNMatrix& a, CMNMatrix& inverse);
// dinvert_lu for orders 1 to 4 with its workspace on the stack: the same arithmetic and results.
// a and inverse are n x n, 0-based row-major. False (inverse untouched) for a zero row or an
// order outside 1..4.
bool dinvert_lu_small(const double* a, int n, double* inverse);
