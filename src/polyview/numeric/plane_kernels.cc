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
    C3DVector sum;
    for (int i = 0; i < n; ++i) {
        sum += points[i];
    }
    const C3DVector centroid = sum / count;

    double scatter[9] = {
        0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // row-major, [3 * row + col]
    for (int i = 0; i < n; ++i) {
        const C3DVector offset = points[i] - centroid;
        const C33Matrix outer = offset.GetOuterProduct(offset);
        for (int k = 0; k < 9; ++k) {
            scatter[k] += outer.GetData(k / 3, k % 3);
        }
    }
    for (int k = 0; k < 9; ++k) {
        scatter[k] /= count;
    }
    double centre[3];
    centroid.GetVector(centre);
    if (!AllFinite(centre, 3) || !AllFinite(scatter, 9)) {
        return WriteNoPlane(params);
    }

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
