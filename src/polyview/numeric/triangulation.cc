#include "polyview/numeric/triangulation.h"

#include <cmath>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/pose_access.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"

namespace {

const double kMaxConditioning = 500000.0;  // largest accepted second / third singular value
const int kCameraStride = 7;               // rotation vector, translation, focal length

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

// The terms of a camera from its rotation (row-major camFromWorld) and translation.
void FormTerms(const double* camFromWorld,
               const double* translation,
               double focalLength,
               double principalX,
               double principalY,
               SRayCamera& terms) {
    for (int i = 0; i < 9; ++i) {
        terms.camFromWorld[i] = camFromWorld[i];
        terms.worldFromCam[i] = camFromWorld[3 * (i % 3) + i / 3];
    }
    Apply33(terms.worldFromCam, translation, terms.centre);
    for (double& component : terms.centre) {
        component *= -1.0;
    }
    terms.focalLength = focalLength;
    terms.principalX = principalX;
    terms.principalY = principalY;
}

// The conditioning test as the sorted singular value decomposition takes it: the second and third
// singular values of the normal matrix, as dsvd_sorted gives them for a copy of it (the workspace
// on the stack; the same arithmetic).
bool ConditioningFailsBySvd(const double* normal) {
    double copyData[4][4];  // 1-based rows and columns
    double* copy[4] = {copyData[0], copyData[1], copyData[2], copyData[3]};
    for (int i = 0; i < 9; ++i) {
        copy[i / 3 + 1][i % 3 + 1] = normal[i];
    }
    double values[4];  // [1..3]
    if (!dsvd_values_small(copy, 3, 3, values)) {
        return true;  // never for three columns
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
    // A quotient that is not a number passes.
    return std::fabs(values[order[1]] / values[order[2]]) > kMaxConditioning;
}

}  // namespace

CMNMatrix drotation_from_vector(const double* r) {
    double m[9];  // row-major, [3 * row + col]
    drotvec2mat_point(r, m);
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

void dray_camera(const CCameraParam& camera, SRayCamera& terms) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    double translation[3];
    pose.GetTranslateVector().GetVector(translation);
    const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
    FormTerms(SPoseSolverAccess::PointRotation(pose),
              translation,
              intrinsic.GetFocalLengthParam(),
              principal.GetData(0),
              principal.GetData(1),
              terms);
}

void dray_sums_clear(SRaySums& sums) {
    for (double& element : sums.normal) {
        element = 0.0;
    }
    for (double& element : sums.rightSide) {
        element = 0.0;
    }
}

void dray_add(const SRayCamera& camera, const double* imagePoint, SRaySums& sums) {
    // Normal equations of the summed squared perpendicular distances to the rays:
    // (sum A_k) X = sum A_k C_k, A_k = I - M_k the projector across ray k. Every sum runs from 0.0
    // in index order.
    const double focalLength = camera.focalLength;
    const double rayInCam[3] = {(imagePoint[0] - camera.principalX) / focalLength,
                                (imagePoint[1] - camera.principalY) / focalLength,
                                1.0};
    double rayLengthSquared = 0.0;
    for (double component : rayInCam) {
        rayLengthSquared += component * component;
    }
    // The projector onto the ray, b b^T / (b . b); symmetric element by element, since b_i b_j is
    // b_j b_i, so each pair is divided once.
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
    Product33(camera.worldFromCam, alongRayInCam, rotated);
    Product33(rotated, camera.camFromWorld, alongRay);
    for (int i = 0; i < 9; ++i) {
        sums.normal[i] += (i % 4 == 0 ? 1.0 : 0.0) - alongRay[i];
    }
    double projected[3];
    Apply33(alongRay, camera.centre, projected);
    for (int i = 0; i < 3; ++i) {
        sums.rightSide[i] += camera.centre[i] - projected[i];
    }
}

bool dray_solve(const SRaySums& sums, double* result) {
    result[0] = 0.0;
    result[1] = 0.0;
    result[2] = 0.0;
    if (ConditioningFailsBySvd(sums.normal)) {
        return false;
    }
    double inverse[9];  // row-major
    if (!dinvert_lu_small(sums.normal, 3, inverse)) {
        return false;
    }
    double point[3];
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j) {
            sum += inverse[3 * i + j] * sums.rightSide[j];
        }
        point[i] = sum;
    }
    result[0] = point[0];
    result[1] = point[1];
    result[2] = point[2];
    return true;
}

bool dtriangulate_rays(int n,
                       const SRayCamera* const* cameras,
                       const double* imagePoints,
                       double* result) {
    result[0] = 0.0;
    result[1] = 0.0;
    result[2] = 0.0;
    if (n < 2) {
        return false;
    }
    SRaySums sums;
    dray_sums_clear(sums);
    for (int k = 0; k < n; ++k) {
        dray_add(*cameras[k], imagePoints + 2 * k, sums);
    }
    return dray_solve(sums, result);
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
    SRaySums sums;
    dray_sums_clear(sums);
    for (int k = 0; k < n; ++k) {
        const double* camera = cameras + kCameraStride * k;
        double camFromWorld[9];
        drotvec2mat_point(camera, camFromWorld);
        SRayCamera terms;
        FormTerms(camFromWorld, camera + 3, camera[6], principalX[k], principalY[k], terms);
        dray_add(terms, imagePoints + 2 * k, sums);
    }
    return dray_solve(sums, result);
}
