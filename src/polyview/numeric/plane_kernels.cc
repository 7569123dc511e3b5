#include "polyview/numeric/plane_kernels.h"

#include <cmath>

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/numeric/symmetric_eigen.h"

namespace {

// 180 / 3.14159267: the degree factor of the line angle, deliberately not 180 / pi.
constexpr double kDegreesPerRadian = 57.29577921379604;

bool AllFinite(const double* values, int count) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

// The answer of a fit that found no plane: a zero normal, which no caller mistakes for a plane.
bool WriteNoPlane(double* params) {
    for (int i = 0; i < 4; ++i) {
        params[i] = 0.0;
    }
    return false;
}

}  // namespace

// Total least squares: centroid, scatter matrix, eigenvector of the smallest eigenvalue.
bool dfitplane(const C1DArray<C3DCoordinate>& points, double* params) {
    const int n = points.GetSize();
    if (n < 3) {
        return false;
    }
    const double count = static_cast<double>(n);
    // The centroid and the scatter matrix read the coordinates in place: each sum runs from 0.0
    // in point order, as adding C3DVectors and their outer products would. The scatter is
    // symmetric term by term (x y is y x), so the three sums below the diagonal are copies.
    double sum[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < n; ++i) {
        const C3DCoordinate& point = points[i];
        sum[0] += point.GetData(0);
        sum[1] += point.GetData(1);
        sum[2] += point.GetData(2);
    }
    const double centre[3] = {sum[0] / count, sum[1] / count, sum[2] / count};
    double sxx = 0.0;
    double sxy = 0.0;
    double sxz = 0.0;
    double syy = 0.0;
    double syz = 0.0;
    double szz = 0.0;
    for (int i = 0; i < n; ++i) {
        const C3DCoordinate& point = points[i];
        const double x = point.GetData(0) - centre[0];
        const double y = point.GetData(1) - centre[1];
        const double z = point.GetData(2) - centre[2];
        sxx += x * x;
        sxy += x * y;
        sxz += x * z;
        syy += y * y;
        syz += y * z;
        szz += z * z;
    }
    double scatter[9] = {sxx, sxy, sxz, sxy, syy, syz, sxz, syz, szz};  // row-major
    for (int k = 0; k < 9; ++k) {
        scatter[k] /= count;
    }
    if (!AllFinite(centre, 3) || !AllFinite(scatter, 9)) {
        return WriteNoPlane(params);
    }

    // The eigen solver takes its workspace from the heap, so that a refused block fails the fit
    // as the plane's contract says (dsymeig_sorted_small would not need it).
    double values[3];
    double vectors[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // column k: eigenvector k
    if (!dsymeig_sorted(scatter, 3, values, vectors)) {
        return WriteNoPlane(params);
    }
    const double normal[3] = {vectors[0], vectors[3], vectors[6]};

    // Orient by the largest-magnitude component; the earliest of equal magnitudes wins.
    double largest = 0.0;
    for (int k = 0; k < 3; ++k) {
        if (std::fabs(normal[k]) > std::fabs(largest)) {
            largest = normal[k];
        }
    }
    if (largest == 0.0 || !AllFinite(normal, 3)) {
        return WriteNoPlane(params);
    }
    double fitted[4];
    for (int k = 0; k < 3; ++k) {
        fitted[k] = normal[k] / largest;
    }
    fitted[3] =
        -(centre[2] * fitted[2] + centre[1] * fitted[1] + centre[0] * fitted[0]);  // order fixed
    if (!AllFinite(fitted, 4)) {
        return WriteNoPlane(params);
    }
    for (int k = 0; k < 4; ++k) {
        params[k] = fitted[k];
    }
    return true;
}

double dplane_distance(const double* point, const double* params, double* foot) {
    const double a = params[0];
    const double b = params[1];
    const double c = params[2];
    const double d = params[3];
    const double signedValue = (a * point[0] + b * point[1]) + c * point[2] + d;  // order fixed
    const double length = std::sqrt(std::pow(a, 2.0) + std::pow(b, 2.0) + std::pow(c, 2.0));
    const double distance = std::fabs(signedValue) / length;
    if (foot != nullptr) {
        const double along = signedValue / length;
        foot[0] = point[0] - along * a;
        foot[1] = point[1] - along * b;
        foot[2] = point[2] - along * c;
    }
    return distance;
}

double dline_plane_angle(const double* direction, const double* normal) {
    const double dot =
        direction[0] * normal[0] + direction[1] * normal[1] + direction[2] * normal[2];
    const double normalLength =
        std::sqrt(std::pow(normal[0], 2.0) + std::pow(normal[1], 2.0) + std::pow(normal[2], 2.0));
    const double directionLength = std::sqrt(
        std::pow(direction[0], 2.0) + std::pow(direction[1], 2.0) + std::pow(direction[2], 2.0));
    double cosine = dot / (normalLength * directionLength);
    // Rounding can carry a parallel pair just past +-1, where acos has no value; NaN stays NaN.
    if (cosine > 1.0) {
        cosine = 1.0;
    } else if (cosine < -1.0) {
        cosine = -1.0;
    }
    return std::fabs(std::acos(cosine) * kDegreesPerRadian - 90.0);
}
