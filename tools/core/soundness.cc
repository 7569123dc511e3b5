#include "core/soundness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <sstream>

namespace core {

namespace {

using Matrix3 = std::array<std::array<double, 3>, 3>;

// Cyclic Jacobi rotations on a symmetric 3 x 3 matrix until the off-diagonal part is negligible;
// returns the eigenvalues in descending order.
std::array<double, 3> SymmetricEigenvalues(Matrix3 a) {
    for (int sweep = 0; sweep < 50; ++sweep) {
        const double off = std::fabs(a[0][1]) + std::fabs(a[0][2]) + std::fabs(a[1][2]);
        const double diagonal = std::fabs(a[0][0]) + std::fabs(a[1][1]) + std::fabs(a[2][2]);
        if (off <= std::numeric_limits<double>::epsilon() * 1e-3 * diagonal || off == 0.0) {
            break;
        }
        for (int p = 0; p < 2; ++p) {
            for (int q = p + 1; q < 3; ++q) {
                if (a[p][q] == 0.0) {
                    continue;
                }
                const double theta = (a[q][q] - a[p][p]) / (2.0 * a[p][q]);
                const double t = (theta >= 0.0 ? 1.0 : -1.0) /
                                 (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0);
                const double s = t * c;
                for (int k = 0; k < 3; ++k) {  // columns p and q
                    const double akp = a[k][p];
                    const double akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 3; ++k) {  // rows p and q
                    const double apk = a[p][k];
                    const double aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
            }
        }
    }
    std::array<double, 3> values{a[0][0], a[1][1], a[2][2]};
    std::sort(values.begin(), values.end(), [](double x, double y) { return x > y; });
    return values;
}

std::string Number(double value) {
    std::ostringstream out;
    out.precision(3);
    out << value;
    return out.str();
}

}  // namespace

PlaneConditioning JudgePlanePoints(const double* xyz, std::size_t count) {
    PlaneConditioning result;
    if (count < 3) {
        result.reason = "fewer than three points; a plane needs three";
        return result;
    }
    double centroid[3] = {0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < count; ++i) {
        for (int k = 0; k < 3; ++k) {
            if (!std::isfinite(xyz[3 * i + k])) {
                result.reason = "a point is not finite";
                return result;
            }
            centroid[k] += xyz[3 * i + k] / static_cast<double>(count);
        }
    }
    // The deviations are scaled by the largest before they are squared, so that neither tiny
    // nor huge spreads leave the double range.
    double largest = 0.0;
    for (std::size_t i = 0; i < 3 * count; ++i) {
        largest = std::max(largest, std::fabs(xyz[i] - centroid[i % 3]));
    }
    if (!std::isfinite(largest)) {
        result.reason = "the points' spread overflows";
        return result;
    }
    if (largest == 0.0) {
        result.reason = "the points coincide; they do not fix a plane";
        return result;
    }
    Matrix3 scatter{};
    for (std::size_t i = 0; i < count; ++i) {
        double d[3];
        for (int k = 0; k < 3; ++k) {
            d[k] = (xyz[3 * i + k] - centroid[k]) / largest;
        }
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                scatter[r][c] += d[r] * d[c];
            }
        }
    }
    const std::array<double, 3> eigen = SymmetricEigenvalues(scatter);
    if (!(eigen[0] > 0.0)) {
        result.reason = "the points coincide; they do not fix a plane";
        return result;
    }
    result.spreadRatio = std::sqrt(std::max(eigen[1], 0.0) / eigen[0]);
    if (!(result.spreadRatio >= kPlaneSpreadRatioLimit)) {
        result.reason = "the points lie on or near a line (their spread across it is " +
                        Number(result.spreadRatio) + " of their spread along it, below " +
                        Number(kPlaneSpreadRatioLimit) + "); they do not fix a plane";
        return result;
    }
    result.ok = true;
    return result;
}

std::string CheckCameraPose(const CCameraParam& camera) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    double r[9];
    pose.GetRotateMatrix().GetMatrix(r);
    const double deviation = CCamera::GetRotationDeviation(r);
    if (!std::isfinite(deviation)) {
        return "the rotation matrix is not finite";
    }
    if (!(deviation <= CCamera::kRotationTolerance)) {
        return "not a rotation (R R^T differs from I, or det R from 1, by " + Number(deviation) +
               ", more than " + Number(CCamera::kRotationTolerance) + ")";
    }
    // The translation first: an infinite one makes the centre NaN, and the translation is the
    // field to name.
    const C3DVector& t = pose.GetTranslateVector();
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(t.GetData(k))) {
            return "the translation is not finite";
        }
    }
    const C3DVector centre = (pose.GetRotateMatrix().GetTransposedMatrix() * t) * -1.0;
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(centre.GetData(k))) {
            return "the camera centre is not finite";
        }
    }
    return std::string();
}

}  // namespace core
