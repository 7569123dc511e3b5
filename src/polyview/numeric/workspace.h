#pragma once

// Heap workspace of the numeric module: vectors and matrices over caller-chosen index ranges
// (mostly from 1). Every allocator returns null when the heap refuses a block, after passing its
// fixed message to numerr and releasing whatever it had already obtained; callers must check.

// The module's error hook: receives an allocation failure message and does nothing else.
void numerr(const char* message);

// A row-major, contiguous double matrix m[nrl..nrh][ncl..nch], not initialised; null on failure.
double** dmatrix(int nrl, int nrh, int ncl, int nch);
// A double vector v[nl..nh], not initialised; null on failure.
double* dvector(int nl, int nh);
// An int vector v[nl..nh], not initialised; null on failure.
int* ivector(int nl, int nh);
// Release workspace obtained with the same low bounds; null is ignored.
void dmatrix_free(double** m, int nrl, int nrh, int ncl, int nch);
void dvector_free(double* v, int nl, int nh);
void ivector_free(int* v, int nl, int nh);

// Owning-guard deleters for std::unique_ptr, carrying the index bounds given to the allocator.
struct SDVectorFree {
    int low;
    int high;
    void operator()(double* v) const { dvector_free(v, low, high); }
};
struct SIVectorFree {
    int low;
    int high;
    void operator()(int* v) const { ivector_free(v, low, high); }
};
struct SDMatrixFree {
    int rowLow;
    int rowHigh;
    int colLow;
    int colHigh;
    void operator()(double** m) const { dmatrix_free(m, rowLow, rowHigh, colLow, colHigh); }
};

// A work matrix m[0..rowHigh][0..colHigh] in the dmatrix layout (row-major, contiguous), held
// inside the object when it has at most kRows rows and kCols columns, else obtained from dmatrix
// and released with it. Get() is null only when dmatrix refused the block.
template <int kRows, int kCols>
class CSmallMatrix {
  public:
    CSmallMatrix(int rowHigh, int colHigh) : m_rowHigh(rowHigh), m_colHigh(colHigh) {
        if (rowHigh >= 0 && colHigh >= 0 && rowHigh < kRows && colHigh < kCols) {
            for (int i = 0; i <= rowHigh; ++i) {
                m_rows[i] = m_data + i * (colHigh + 1);
            }
            m_matrix = m_rows;
        } else {
            m_heap = dmatrix(0, rowHigh, 0, colHigh);
            m_matrix = m_heap;
        }
    }
    CSmallMatrix(const CSmallMatrix&) = delete;
    CSmallMatrix& operator=(const CSmallMatrix&) = delete;
    ~CSmallMatrix() { dmatrix_free(m_heap, 0, m_rowHigh, 0, m_colHigh); }

    double** Get() const { return m_matrix; }

  private:
    int m_rowHigh;
    int m_colHigh;
    double** m_heap = nullptr;
    double** m_matrix = nullptr;
    double* m_rows[kRows];
    double m_data[kRows * kCols];
};

// Test hook, per thread: from now on the nth allocator call of the module (1-based) fails as if
// the heap were exhausted; 0 disarms. Either way the allocation count restarts at 0.
void dworkspace_fail_nth(int n);
// Test hook, per thread: the number of allocator calls since the last dworkspace_fail_nth.
int dworkspace_allocation_count();
// Test hook, per thread: the last message given to numerr, or null when there was none since the
// last dworkspace_fail_nth.
const char* dworkspace_last_message();
