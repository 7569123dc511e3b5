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

}  // namespace

CMNMatrix drotation_from_vector(const double* r) {
    CMNMatrix rotation(3, 3, 0.0);
    for (int i = 0; i < 3; ++i) {
        rotation(i, i) = 1.0;
    }
    const double theta = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
    if (!(theta > kIdentityAngle)) {
        return rotation;
    }
    const double alpha = std::sin(theta) / theta;
    const double beta = (1.0 - std::cos(theta)) / (theta * theta);
    const double r0 = r[0];
    const double r1 = r[1];
    const double r2 = r[2];
    // clang-format off
    rotation(0, 0) = 1.0 - (r1 * r1 + r2 * r2) * beta;
    rotation(0, 1) = r0 * r1 * beta - r2 * alpha;
    rotation(0, 2) = r2 * r0 * beta + r1 * alpha;
    rotation(1, 0) = r0 * r1 * beta + r2 * alpha;
    rotation(1, 1) = 1.0 - (r0 * r0 + r2 * r2) * beta;
    rotation(1, 2) = r2 * r1 * beta - r0 * alpha;
    rotation(2, 0) = r2 * r0 * beta - r1 * alpha;
    rotation(2, 1) = r2 * r1 * beta + r0 * alpha;
    rotation(2, 2) = 1.0 - (r0 * r0 + r1 * r1) * beta;
    // clang-format on
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
    // (sum A_k) X = sum A_k C_k, A_k = I - M_k the projector across ray k.
    CMNMatrix normal(3, 3, 0.0);
    CNDVector rightSide(3, 0.0);
    CMNMatrix identity;
    identity.IdentityMatrix(3);
    for (int k = 0; k < n; ++k) {
        const double* camera = cameras + kCameraStride * k;
        const CMNMatrix camFromWorld = drotation_from_vector(camera);
        const CMNMatrix worldFromCam = camFromWorld.GetTransposed();
        CNDVector centreInWorld = dmatvec(worldFromCam, CNDVector(3, camera + 3));
        centreInWorld *= -1.0;
        const double focalLength = camera[6];
        CNDVector rayInCam(3);
        rayInCam[0] = (imagePoints[2 * k] - principalX[k]) / focalLength;
        rayInCam[1] = (imagePoints[2 * k + 1] - principalY[k]) / focalLength;
        rayInCam[2] = 1.0;
        CMNMatrix alongRayInCam = rayInCam.GetOuterProduct(rayInCam);
        alongRayInCam /= rayInCam.GetDotProduct(rayInCam);
        const CMNMatrix alongRay = (worldFromCam * alongRayInCam) * camFromWorld;
        normal += identity - alongRay;
        rightSide += centreInWorld - dmatvec(alongRay, centreInWorld);
    }
    // Conditioning: the second and third singular values, on a copy of the normal matrix.
    CMNMatrix decomposed(normal);
    CNDVector singular(3);
    CMNMatrix rightVectors(3, 3);
    if (!dsvd_sorted(decomposed, singular, rightVectors)) {
        return false;
    }
    if (std::fabs(singular[1] / singular[2]) > kMaxConditioning) {
        return false;
    }
    CMNMatrix inverse(3, 3);
    if (!dinvert_lu(normal, inverse)) {
        return false;
    }
    const CNDVector point = dmatvec(inverse, rightSide);
    result[0] = point[0];
    result[1] = point[1];
    result[2] = point[2];
    return true;
}
