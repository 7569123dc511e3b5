#include "polyview/numeric/rotation.h"

#include <cmath>

#include "polyview/numeric/vector_kernels.h"

namespace {

const double kIdentityAngle = 1e-5;  // rotation vectors at most this long give the identity
const double kSkewThreshold = 1e-6;  // skew parts below this do not define the axis

// Axis and angle of a rotation whose skew part is too small to carry the axis (angle near 0 or
// pi): the symmetric part is cos(t) I + (1 - cos(t)) n n^T, so the largest diagonal entry gives the
// best-conditioned column of n n^T. The sign of n follows the skew part q = 2 sin(t) n.
void HalfTurnVector(const double* m, const double* q, double sigma, double* r) {
    const double trace = m[0] + m[4] + m[8];
    const double angle = std::atan2(sigma, trace - 1.0);
    const double cosine = (trace - 1.0) * 0.5;
    const double oneMinusCos = 1.0 - cosine;
    // Diagonal of n n^T and its largest entry.
    double outer[3] = {(m[0] - cosine) / oneMinusCos,
                       (m[4] - cosine) / oneMinusCos,
                       (m[8] - cosine) / oneMinusCos};
    int pivot = 0;
    if (outer[1] > outer[pivot]) {
        pivot = 1;
    }
    if (outer[2] > outer[pivot]) {
        pivot = 2;
    }
    const double pivotLength = std::sqrt(outer[pivot] > 0.0 ? outer[pivot] : 0.0);
    double axis[3];
    for (int i = 0; i < 3; ++i) {
        // Off-diagonal entries of n n^T from the symmetric part of R.
        const double symmetric = 0.5 * (m[3 * i + pivot] + m[3 * pivot + i]);
        axis[i] = (i == pivot) ? pivotLength
                               : (pivotLength > 0.0 ? symmetric / oneMinusCos / pivotLength : 0.0);
    }
    const double length = dnorm(3, axis);
    if (!(length > 0.0)) {
        r[0] = r[1] = r[2] = 0.0;
        return;
    }
    const double sense = axis[0] * q[0] + axis[1] * q[1] + axis[2] * q[2] < 0.0 ? -1.0 : 1.0;
    for (int i = 0; i < 3; ++i) {
        r[i] = sense * axis[i] / length * angle;
    }
}

}  // namespace

void drotvec2mat(const double* r, double* rotation) {
    const double theta = dnorm(3, r);
    if (!(theta > kIdentityAngle)) {
        // clang-format off
        rotation[0] = 1.0; rotation[1] = 0.0; rotation[2] = 0.0;
        rotation[3] = 0.0; rotation[4] = 1.0; rotation[5] = 0.0;
        rotation[6] = 0.0; rotation[7] = 0.0; rotation[8] = 1.0;
        // clang-format on
        return;
    }
    const double s = std::sin(theta) / theta;
    const double k = (1.0 - std::cos(theta)) / (theta * theta);
    const double rx = r[0];
    const double ry = r[1];
    const double rz = r[2];
    // clang-format off
    rotation[0] = 1.0 + k * (-ry * ry - rz * rz);
    rotation[1] = k * rx * ry - s * rz;
    rotation[2] = k * rx * rz + s * ry;
    rotation[3] = k * rx * ry + s * rz;
    rotation[4] = 1.0 + k * (-rx * rx - rz * rz);
    rotation[5] = k * ry * rz - s * rx;
    rotation[6] = k * rx * rz - s * ry;
    rotation[7] = k * ry * rz + s * rx;
    rotation[8] = 1.0 + k * (-rx * rx - ry * ry);
    // clang-format on
}

void drotvec2mat_point(const double* r, double* rotation) {
    double* m = rotation;
    for (int i = 0; i < 9; ++i) {
        m[i] = (i % 4 == 0) ? 1.0 : 0.0;
    }
    const double theta = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    if (!(theta > kIdentityAngle)) {
        return;
    }
    const double alpha = std::sin(theta) / theta;
    const double beta = (1.0 - std::cos(theta)) / (theta * theta);
    const double r0 = r[0];
    const double r1 = r[1];
    const double r2 = r[2];
    // clang-format off
    m[0] = 1.0 - (r1 * r1 + r2 * r2) * beta;
    m[1] = r0 * r1 * beta - r2 * alpha;
    m[2] = r2 * r0 * beta + r1 * alpha;
    m[3] = r0 * r1 * beta + r2 * alpha;
    m[4] = 1.0 - (r0 * r0 + r2 * r2) * beta;
    m[5] = r2 * r1 * beta - r0 * alpha;
    m[6] = r2 * r0 * beta - r1 * alpha;
    m[7] = r2 * r1 * beta + r0 * alpha;
    m[8] = 1.0 - (r0 * r0 + r1 * r1) * beta;
    // clang-format on
}

void drotmat2vec(const double* rotation, double* r) {
    const double* m = rotation;
    const double q[3] = {m[7] - m[5], m[2] - m[6], m[3] - m[1]};
    const double sigma = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    if (!(sigma >= kSkewThreshold)) {
        const double trace = m[0] + m[4] + m[8];
        if (trace - 1.0 < 0.0) {
            HalfTurnVector(m, q, std::isnan(sigma) ? 0.0 : sigma, r);  // angle near pi
        } else {
            r[0] = r[1] = r[2] = 0.0;  // near the identity, or not a number
        }
        return;
    }
    const double theta = std::atan2(sigma, m[0] + m[4] + m[8] - 1.0);
    for (int i = 0; i < 3; ++i) {
        r[i] = q[i] / sigma * theta;
    }
}

void drotmat2vec_exact(const double* rotation, double* r) {
    const double* m = rotation;
    const double q[3] = {m[7] - m[5], m[2] - m[6], m[3] - m[1]};
    const double sigma = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    const double trace = m[0] + m[4] + m[8];
    if (!(sigma >= kSkewThreshold) && trace - 1.0 >= 0.0) {
        // Small angle: q = 2 sin(t) n and sin(t) = t to within t^3 / 6 < 1e-19 relative.
        for (int i = 0; i < 3; ++i) {
            r[i] = 0.5 * q[i];
        }
        return;
    }
    drotmat2vec(rotation, r);
}
