#include "polyview/numeric/triangulation.h"

#include <cmath>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/svd.h"

namespace {

const double kIdentityAngle = 1e-05;       // rotation vectors at most this long give the identity
const double kMaxConditioning = 500000.0;  // largest accepted second / third singular value
const int kCameraStride = 7;               // rotation vector, translation, focal length
const int kRotationBatch = 8;              // cameras whose rotations are formed together

// The rotation matrix of r into m (row-major, [3 * row + col]); the identity when |r| <= 1e-5.
void RotationFromVector(const double* r, double* m) {
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

// c = a b for row-major 3 x 3 matrices, each sum from 0.0 in k order.
void Product33(const double* a, const double* b, double* c) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) {
                sum += a[3 * i + k] * b[3 * k + j];
            }
            c[3 * i + j] = sum;
        }
    }
}

// y = a x for a row-major 3 x 3 matrix, each sum from 0.0 in column order (as dmatvec).
void Apply33(const double* a, const double* x, double* y) {
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j) {
            sum += a[3 * i + j] * x[j];
        }
        y[i] = sum;
    }
}

}  // namespace

CMNMatrix drotation_from_vector(const double* r) {
    double m[9];  // row-major, [3 * row + col]
    RotationFromVector(r, m);
    CMNMatrix rotation(3, 3);
    for (int i = 0; i < 9; ++i) {
        rotation(i / 3, i % 3) = m[i];
    }
    return rotation;
}

CNDVector dmatvec(CMNMatrix m, CNDVector v) {
    CNDVector product(m.Rows());
    for (int i = 0; i < m.Rows(); ++i) {
        double sum = 0.0;
        for (int j = 0; j < m.Cols(); ++j) {
            sum += m(i, j) * v[j];
        }
        product[i] = sum;
    }
    return product;
}

bool dtriangulate_point(int n,
                        const double* cameras,
                        const double* imagePoints,
                        const double* principalX,
                        const double* principalY,
                        double* result) {
    result[0] = 0.0;
    result[1] = 0.0;
    result[2] = 0.0;
    if (n < 2) {
        return false;
    }
    // Normal equations of the summed squared perpendicular distances to the rays:
    // (sum A_k) X = sum A_k C_k, A_k = I - M_k the projector across ray k. The per-camera 3 x 3
    // work stays on the stack; every sum runs from 0.0 in index order.
    double normal[9] = {0.0};     // row-major sum of A_k
    double rightSide[3] = {0.0};  // sum of A_k C_k
    // The rotations of a batch of cameras first: they need the slow square root, sine and
    // cosine but not each other, so their work overlaps; then the sums, camera by camera.
    for (int start = 0; start < n; start += kRotationBatch) {
        const int count = n - start < kRotationBatch ? n - start : kRotationBatch;
        double rotations[kRotationBatch][9];  // row-major camFromWorld of each camera
        for (int c = 0; c < count; ++c) {
            RotationFromVector(cameras + kCameraStride * (start + c), rotations[c]);
        }
        for (int c = 0; c < count; ++c) {
            const int k = start + c;
            const double* camera = cameras + kCameraStride * k;
            const double* camFromWorld = rotations[c];
            double worldFromCam[9];
            for (int i = 0; i < 9; ++i) {
                worldFromCam[i] = camFromWorld[3 * (i % 3) + i / 3];
            }
            double centreInWorld[3];
            Apply33(worldFromCam, camera + 3, centreInWorld);
            for (double& component : centreInWorld) {
                component *= -1.0;
            }
            const double focalLength = camera[6];
            const double rayInCam[3] = {(imagePoints[2 * k] - principalX[k]) / focalLength,
                                        (imagePoints[2 * k + 1] - principalY[k]) / focalLength,
                                        1.0};
            double rayLengthSquared = 0.0;
            for (double component : rayInCam) {
                rayLengthSquared += component * component;
            }
            // The projector onto the ray, b b^T / (b . b); symmetric element by element, since
            // b_i b_j is b_j b_i, so each pair is divided once.
            double alongRayInCam[9];
            for (int i = 0; i < 3; ++i) {
                for (int j = i; j < 3; ++j) {
                    double element = rayInCam[i] * rayInCam[j];
                    element /= rayLengthSquared;
                    alongRayInCam[3 * i + j] = element;
                    alongRayInCam[3 * j + i] = element;
                }
            }
            double rotated[9];
            double alongRay[9];  // (R^T P) R, the projector onto the ray's world direction
            Product33(worldFromCam, alongRayInCam, rotated);
            Product33(rotated, camFromWorld, alongRay);
            for (int i = 0; i < 9; ++i) {
                normal[i] += (i % 4 == 0 ? 1.0 : 0.0) - alongRay[i];
            }
            double projected[3];
            Apply33(alongRay, centreInWorld, projected);
            for (int i = 0; i < 3; ++i) {
                rightSide[i] += centreInWorld[i] - projected[i];
            }
        }
    }
    // Conditioning: the second and third singular values of the normal matrix, as dsvd_sorted
    // gives them for a copy of it (all workspace here is on the stack; the same arithmetic).
    double copyData[4][4];  // 1-based rows and columns
    double* copy[4] = {copyData[0], copyData[1], copyData[2], copyData[3]};
    for (int i = 0; i < 9; ++i) {
        copy[i / 3 + 1][i % 3 + 1] = normal[i];
    }
    double values[4];  // [1..3]
    if (!dsvd_values_small(copy, 3, 3, values)) {
        return false;
    }
    // dsvd_sorted orders once more (strict exchange), which leaves ordered values in place.
    int order[3] = {1, 2, 3};
    for (int i = 0; i < 2; ++i) {
        for (int j = i + 1; j < 3; ++j) {
            if (std::fabs(values[order[i]]) < std::fabs(values[order[j]])) {
                const int swap = order[i];
                order[i] = order[j];
                order[j] = swap;
            }
        }
    }
    if (std::fabs(values[order[1]] / values[order[2]]) > kMaxConditioning) {
        return false;
    }
    double inverse[9];  // row-major
    if (!dinvert_lu_small(normal, 3, inverse)) {
        return false;
    }
    double point[3];
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j) {
            sum += inverse[3 * i + j] * rightSide[j];
        }
        point[i] = sum;
    }
    result[0] = point[0];
    result[1] = point[1];
    result[2] = point[2];
    return true;
}
