#include "polyview/batch/point_batch.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include "polyview/numeric/triangulation.h"

namespace {

// The points [begin, end) of the batch; seen and picks: room for one of each per camera.
void TriangulateRange(const std::vector<SRayCamera>& terms,
                      int begin,
                      int end,
                      const double* imagePoints,
                      double* points,
                      bool* ok,
                      const SRayCamera** seen,
                      double* picks) {
    const std::size_t cameras = terms.size();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int i = begin; i < end; ++i) {
        const double* row = imagePoints + 2 * cameras * static_cast<std::size_t>(i);
        int views = 0;
        for (std::size_t k = 0; k < cameras; ++k) {
            if (std::isnan(row[2 * k]) || std::isnan(row[2 * k + 1])) {
                continue;  // not seen by camera k
            }
            seen[views] = &terms[k];
            picks[2 * views] = row[2 * k];
            picks[2 * views + 1] = row[2 * k + 1];
            ++views;
        }
        double result[3];
        const bool made = views >= 2 && dtriangulate_rays(views, seen, picks, result) &&
                          std::isfinite(result[0]) && std::isfinite(result[1]) &&
                          std::isfinite(result[2]);
        double* point = points + 3 * static_cast<std::size_t>(i);
        for (int c = 0; c < 3; ++c) {
            point[c] = made ? result[c] : nan;
        }
        ok[i] = made;
    }
}

}  // namespace

CPointBatch::CPointBatch() = default;

CPointBatch::CPointBatch(const C1DArray<CCameraParam>& cameras) {
    const int n = cameras.GetSize();
    try {
        m_terms.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return;
    }
    for (int k = 0; k < n; ++k) {
        dray_camera(cameras[k], m_terms[static_cast<std::size_t>(k)]);
    }
}

CPointBatch::CPointBatch(const CPointBatch& other) {
    try {
        m_terms = other.m_terms;
    } catch (const std::bad_alloc&) {
        m_terms.clear();
    }
}

CPointBatch& CPointBatch::operator=(const CPointBatch& other) {
    if (this != &other) {
        try {
            std::vector<SRayCamera> copy(other.m_terms);
            m_terms.swap(copy);
        } catch (const std::bad_alloc&) {
        }
    }
    return *this;
}

CPointBatch::~CPointBatch() = default;

int CPointBatch::GetCameraCount() const {
    return static_cast<int>(m_terms.size());
}

bool CPointBatch::Triangulate(
    int count, const double* imagePoints, double* points, bool* ok, int threads) const {
    if (count < 0 || threads < 1) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    if (imagePoints == nullptr || points == nullptr || ok == nullptr) {
        return false;
    }
    const int ranges = threads < count ? threads : count;
    const std::size_t cameras = m_terms.size();
    // Every range's workspace before any point is written, so that a lack of memory writes none.
    std::vector<const SRayCamera*> seen;
    std::vector<double> picks;
    std::vector<std::thread> started;
    try {
        seen.resize(cameras * static_cast<std::size_t>(ranges) + 1);
        picks.resize(2 * cameras * static_cast<std::size_t>(ranges) + 1);
        started.reserve(static_cast<std::size_t>(ranges));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Range r: points [count r / ranges, count (r + 1) / ranges).
    const auto run = [&](int r) {
        const auto bound = [&](int s) {
            return static_cast<int>(static_cast<long long>(count) * s / ranges);
        };
        TriangulateRange(m_terms,
                         bound(r),
                         bound(r + 1),
                         imagePoints,
                         points,
                         ok,
                         seen.data() + cameras * static_cast<std::size_t>(r),
                         picks.data() + 2 * cameras * static_cast<std::size_t>(r));
    };
    int next = 1;  // the first range not started on a thread of its own
    for (; next < ranges; ++next) {
        try {
            started.emplace_back(run, next);
        } catch (const std::system_error&) {
            break;  // no more threads: the calling thread runs the rest
        }
    }
    run(0);
    for (int r = next; r < ranges; ++r) {
        run(r);
    }
    for (std::thread& thread : started) {
        thread.join();
    }
    return true;
}
