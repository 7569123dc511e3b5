#pragma once

class CMNMatrix;
class CNDVector;

// Singular value decomposition, singular values sorted by decreasing magnitude (all are >= 0).
// a: m x n over [1..m][1..n] (a dmatrix), overwritten by U. w[1..n]: the singular values.
// v[1..n][1..n]: V, not transposed, so that input = U * diag(w) * V^T. Works for m < n too.
// Non-convergence after 30 sweeps is silent. False, with a, w and v untouched, only when the
// workspace cannot be had.
// Golub & Reinsch, "Singular value decomposition and least squares solutions", 1970.
bool dsvd_inplace(double** a, int m, int n, double* w, double** v);
// dsvd_inplace for at most 8 columns (any number of rows) with its workspace on the stack: the
// same arithmetic and results, and no allocation to fail. False, nothing touched, for n > 8.
bool dsvd_inplace_small(double** a, int m, int n, double* w, double** v);
// The singular values of dsvd_inplace alone, sorted the same way, for at most 8 columns; a is
// destroyed and neither U nor V is formed (the rotations that would form them never feed back
// into the values, so the values are the same bits). False, nothing touched, for n > 8.
bool dsvd_values_small(double** a, int m, int n, double* w);
// The singular values and V of dsvd_inplace alone, sorted the same way, for at most 8 columns; a
// is destroyed and U is not formed (its rotations never feed back into w or V, so both are the
// same bits). False, nothing touched, for n > 8.
bool dsvd_right_small(double** a, int m, int n, double* w, double** v);

// dsvd_inplace on 0-based matrices: a (m x n) is replaced by U, w receives the n singular values
// in decreasing order (resized to n if needed), v receives V (n x n, resized if needed). False,
// with a, w and v untouched, when the workspace cannot be had.
bool dsvd_sorted(CMNMatrix& a, CNDVector& w, CMNMatrix& v);
