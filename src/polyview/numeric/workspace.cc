#include "polyview/numeric/workspace.h"

#include <cstddef>
#include <cstdlib>

namespace {

// Test-only allocation failure injection, per thread so that concurrent callers never see it.
thread_local int tFailAt = 0;           // 1-based allocator call to refuse; 0: none
thread_local int tAllocationCount = 0;  // allocator calls since the hook was last set
thread_local const char* tLastMessage = nullptr;

// malloc, or null when the injector says this call is the one to fail.
void* WorkspaceMalloc(std::size_t bytes) {
    ++tAllocationCount;
    if (tFailAt != 0 && tAllocationCount == tFailAt) {
        return nullptr;
    }
    return std::malloc(bytes);
}

// Number of elements over low..high plus the spare one in front; 0 when the range is invalid.
std::size_t BlockCount(int low, int high) {
    const long long count = static_cast<long long>(high) - static_cast<long long>(low) + 2;
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

}  // namespace

void numerr(const char* message) {
    tLastMessage = message;  // visible to tests only; the hook reports nothing
}

double** dmatrix(int nrl, int nrh, int ncl, int nch) {
    const std::size_t rowSlots = BlockCount(nrl, nrh);  // nrow + 1
    const std::size_t colSlots = BlockCount(ncl, nch);  // ncol + 1
    // At least two pointer slots, so that m[nrl] exists even for an empty row range.
    const std::size_t pointerSlots = rowSlots < 2 ? 2 : rowSlots;
    double** rows = rowSlots == 0
                        ? nullptr
                        : static_cast<double**>(WorkspaceMalloc(pointerSlots * sizeof(double*)));
    if (rows == nullptr) {
        numerr("allocation failure 1 in dmatrix()");
        return nullptr;
    }
    const std::size_t nrow = rowSlots - 1;
    const std::size_t ncol = colSlots == 0 ? 0 : colSlots - 1;
    double* data = colSlots == 0
                       ? nullptr
                       : static_cast<double*>(WorkspaceMalloc((nrow * ncol + 1) * sizeof(double)));
    if (data == nullptr) {
        numerr("allocation failure 2 in dmatrix()");
        std::free(rows);
        return nullptr;
    }
    double** m = rows + 1 - nrl;
    m[nrl] = data + 1 - ncl;
    for (int i = nrl + 1; i <= nrh; ++i) {
        m[i] = m[i - 1] + ncol;
    }
    return m;
}

double* dvector(int nl, int nh) {
    const std::size_t count = BlockCount(nl, nh);
    double* block =
        count == 0 ? nullptr : static_cast<double*>(WorkspaceMalloc(count * sizeof(double)));
    if (block == nullptr) {
        numerr("allocation failure in dvector()");
        return nullptr;
    }
    return block + 1 - nl;
}

int* ivector(int nl, int nh) {
    const std::size_t count = BlockCount(nl, nh);
    int* block = count == 0 ? nullptr : static_cast<int*>(WorkspaceMalloc(count * sizeof(int)));
    if (block == nullptr) {
        numerr("allocation failure in ivector()");
        return nullptr;
    }
    return block + 1 - nl;
}

void dmatrix_free(double** m, int nrl, int /*nrh*/, int ncl, int /*nch*/) {
    if (m == nullptr) {
        return;
    }
    std::free(m[nrl] + ncl - 1);
    std::free(m + nrl - 1);
}

void dvector_free(double* v, int nl, int /*nh*/) {
    if (v != nullptr) {
        std::free(v + nl - 1);
    }
}

void ivector_free(int* v, int nl, int /*nh*/) {
    if (v != nullptr) {
        std::free(v + nl - 1);
    }
}

void dworkspace_fail_nth(int n) {
    tFailAt = n > 0 ? n : 0;
    tAllocationCount = 0;
    tLastMessage = nullptr;
}

int dworkspace_allocation_count() {
    return tAllocationCount;
}

const char* dworkspace_last_message() {
    return tLastMessage;
}
