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
const double kUnitRoundoff = 0x1p-53;      // u, half the spacing of doubles at 1

// The camera centre -(R^T t), R row-major; each sum from 0.0 in column order.
void CentreOf(const double* camFromWorld, const double* translation, double* centre) {
    for (int i = 0; i < 3; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 3; ++j) {
            sum += camFromWorld[3 * j + i] * translation[j];
        }
        centre[i] = sum * -1.0;
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
    CentreOf(camFromWorld, translation, terms.centre);
    terms.focalLength = focalLength;
    terms.principalX = principalX;
    terms.principalY = principalY;
}

// Adds the ray through imagePoint of the camera with rotation camFromWorld (row-major; its
// transpose read in place) and centre to sums.
void AddRay(const double* camFromWorld,
            const double* centre,
            double focalLength,
            double principalX,
            double principalY,
            const double* imagePoint,
            SRaySums& sums) {
    // Normal equations of the summed squared perpendicular distances to the rays:
    // (sum A_k) X = sum A_k C_k, A_k = I - M_k the projector across ray k, in index order. The
    // products' sums start from their first term: starting from 0.0 could only turn a -0.0 sum
    // into +0.0, and the sign of a zero never reaches the sums (they start at +0.0 and never hold
    // -0.0, which x + y gives only for two -0.0 terms; 1.0 - 0.0 and c - 0.0 do not depend on it,
    // and neither does +0.0 + (c - 0.0) when c is -0.0).
    const double x = (imagePoint[0] - principalX) / focalLength;
    const double y = (imagePoint[1] - principalY) / focalLength;
    const double rayLengthSquared = x * x + y * y + 1.0;  // b . b for the ray b = (x, y, 1)
    // The projector onto the ray, b b^T / (b . b), each symmetric pair divided once.
    const double xx = x * x / rayLengthSquared;
    const double xy = x * y / rayLengthSquared;
    const double xz = x / rayLengthSquared;
    const double yy = y * y / rayLengthSquared;
    const double yz = y / rayLengthSquared;
    const double zz = 1.0 / rayLengthSquared;
    const double alongRayInCam[9] = {xx, xy, xz, xy, yy, yz, xz, yz, zz};
    // (R^T P) R, the projector onto the ray's world direction.
    double rotated[9];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            rotated[3 * i + j] = camFromWorld[i] * alongRayInCam[j] +
                                 camFromWorld[3 + i] * alongRayInCam[3 + j] +
                                 camFromWorld[6 + i] * alongRayInCam[6 + j];
        }
    }
    double alongRay[9];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            alongRay[3 * i + j] = rotated[3 * i] * camFromWorld[j] +
                                  rotated[3 * i + 1] * camFromWorld[3 + j] +
                                  rotated[3 * i + 2] * camFromWorld[6 + j];
        }
    }
    for (int i = 0; i < 9; ++i) {
        sums.normal[i] += (i % 4 == 0 ? 1.0 : 0.0) - alongRay[i];
    }
    for (int i = 0; i < 3; ++i) {
        const double projected = alongRay[3 * i] * centre[0] + alongRay[3 * i + 1] * centre[1] +
                                 alongRay[3 * i + 2] * centre[2];
        sums.rightSide[i] += centre[i] - projected;
    }
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
    AddRay(camera.camFromWorld,
           camera.centre,
           camera.focalLength,
           camera.principalX,
           camera.principalY,
           imagePoint,
           sums);
}

void dray_add_camera(const CCameraParam& camera, const double* imagePoint, SRaySums& sums) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    const double* camFromWorld = SPoseSolverAccess::PointRotation(pose);
    double translation[3];
    pose.GetTranslateVector().GetVector(translation);
    double centre[3];
    CentreOf(camFromWorld, translation, centre);
    const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
    AddRay(camFromWorld,
           centre,
           intrinsic.GetFocalLengthParam(),
           principal.GetData(0),
           principal.GetData(1),
           imagePoint,
           sums);
}

// The conditioning test without the decomposition: bounds on the singular values from invariants.
//
// N (the stored normal matrix, not necessarily symmetric) has singular values s1 >= s2 >= s3 >= 0;
// l_i = s_i^2 are the eigenvalues of N^T N, whose invariants are
//   e1 = l1 + l2 + l3 = sum of N_ij^2,
//   e2 = l1 l2 + l1 l3 + l2 l3 = sum of the squares of the nine 2 x 2 minors of N (Cauchy-Binet),
//   e3 = l1 l2 l3 = det(N)^2.
// Since l1 >= l2 >= l3: e1 / 3 <= l1 <= e1 and e2 / 3 <= l1 l2 <= e2, hence
//   e2 / (3 e1) <= s2^2 <= 3 e2 / e1   and   det^2 / e2 <= s3^2 <= 3 det^2 / e2,
// and s2 >= s3 gives s2^2 >= det^2 / e2 as well.
//
// Rounding of the invariants (u = 2^-53, gamma_k = k u / (1 - k u), m the largest |N_ij|, every
// computed operation within relative u): a minor a b - c d is within 2 gamma_2 m^2 <= 4.01 u m^2 of
// its value, and |minor| <= 2 m^2. det = N00 M0 - N01 M1 + N02 M2 from the minors of rows 1 and 2
// is within 3 m 4.01 u m^2 + gamma_3 6 m^3 <= 31 u m^3 (40 taken). e2 is within
// 9 (4.01 u m^2)(4.01 m^2) + gamma_9 36 m^4 <= 470 u m^4 (512 taken), e1 within gamma_9 9 m^2
// <= 82 u m^2 (96 taken). With 2^-60 <= m <= 2^60 nothing overflows, and the absolute errors of
// underflowing products (2^-1074 each, a few hundred at most, scaled by at most 2^250) stay below
// 2^-800, far inside the slack of the constants (each bound is at least 2^-300). The bounds are
// evaluated from the interval ends in a few more operations, each within relative u: every
// computed bound is within relative 20 u of a valid one.
//
// The decomposition (Householder bidiagonalisation, then implicitly shifted QR sweeps, at most 30
// per value) is backward stable: its values are the exact singular values of N + E, and by Weyl's
// inequality within |E| of s_i. Bidiagonalising 3 x 3 takes four reflections (backward error below
// 120 u |N|_F in all); each of the at most 540 plane rotations (three values, 30 sweeps, at most
// four bulge-chasing and two cancelling rotations per sweep) has c and s within 6 u and writes each
// entry with three more roundings, under 10 u |N|_F each; each of at most 93 deflations drops an
// element x with |x| + anorm == anorm, so |x| <= u anorm <= 2.01 u |N|_F. In all
// |E| <= 5700 u |N|_F; we take delta = 2^20 u |N|_F <= 2^20 u 3 m. This assumes the sweeps
// converge within their limit (the shift is Wilkinson's, which converges globally in exact
// arithmetic; no 3 x 3 case needing more than a handful of sweeps is known): the one premise not
// proven here. dsvd_values_small itself never fails for three columns, so there is no failure of
// it that the bounds could skip.
//
// Decision: only when delta <= s3 / 16 (checked as delta^2 <= 1/256 of the lower bound of s3^2,
// which is within 20 u of a valid one) are the computed values within factors 15/16 and 17/16 of
// the s_i; the computed s3 is then nonzero and finite. "Fails" when the lower bound of s2^2 exceeds
// 1.3 K^2 times the upper bound of s3^2 (K = 500000): the computed quotient squared is above
// 1.3 (15/17)^2 K^2 > 1.01 K^2, so the quotient is above K even after its own rounding. "Passes"
// when 1.3 times the upper bound of s2^2 is below K^2 times the lower bound of s3^2: the quotient
// squared is below (17/15)^2 / 1.3 K^2 < 0.99 K^2, finite and below K. (The 20 u of the bounds
// and the rounding of the comparisons vanish in these margins.) Everything else, non-finite
// entries included, goes to the decomposition.
int dray_conditioning_bound(const double* normal) {
    const double kSmallestScale = 0x1p-60;
    const double kLargestScale = 0x1p60;
    const double kLimitSquared = kMaxConditioning * kMaxConditioning;  // exact
    const double kMargin = 1.3;  // covers (17/15)^2 and the rounding, see above
    const double* a = normal;
    double m = 0.0;
    bool finite = true;
    for (int i = 0; i < 9; ++i) {
        finite = finite && std::isfinite(a[i]);
        m = std::fabs(a[i]) > m ? std::fabs(a[i]) : m;
    }
    if (!finite || !(m >= kSmallestScale && m <= kLargestScale)) {
        return -1;
    }
    // The nine 2 x 2 minors, rows (1, 2), (0, 2), (0, 1) by columns (1, 2), (0, 2), (0, 1).
    double minors[9];
    const int rowPairs[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (int r = 0; r < 3; ++r) {
        const double* top = a + 3 * rowPairs[r][0];
        const double* bottom = a + 3 * rowPairs[r][1];
        minors[3 * r] = top[1] * bottom[2] - top[2] * bottom[1];
        minors[3 * r + 1] = top[0] * bottom[2] - top[2] * bottom[0];
        minors[3 * r + 2] = top[0] * bottom[1] - top[1] * bottom[0];
    }
    const double determinant = a[0] * minors[0] - a[1] * minors[1] + a[2] * minors[2];
    double e1 = 0.0;
    double e2 = 0.0;
    for (int i = 0; i < 9; ++i) {
        e1 += a[i] * a[i];
        e2 += minors[i] * minors[i];
    }
    const double u = kUnitRoundoff;
    const double m2 = m * m;
    const double e1Low = e1 - 96.0 * u * m2;
    const double e1High = e1 + 96.0 * u * m2;
    const double e2Low = e2 - 512.0 * u * (m2 * m2);
    const double e2High = e2 + 512.0 * u * (m2 * m2);
    const double determinantLow = std::fabs(determinant) - 40.0 * u * (m2 * m);
    const double determinantHigh = std::fabs(determinant) + 40.0 * u * (m2 * m);
    if (!(e1Low > 0.0 && e2Low > 0.0 && determinantLow > 0.0)) {
        return -1;  // (nearly) rank-deficient: too close to call from the invariants
    }
    const double s3SquaredLow = determinantLow * determinantLow / e2High;
    const double s3SquaredHigh = 3.0 * (determinantHigh * determinantHigh) / e2Low;
    double s2SquaredLow = e2Low / (3.0 * e1High);
    s2SquaredLow = s2SquaredLow > s3SquaredLow ? s2SquaredLow : s3SquaredLow;
    const double s2SquaredHigh = 3.0 * e2High / e1Low;
    const double delta = 0x1p20 * u * 3.0 * m;
    if (!(delta * delta <= s3SquaredLow / 256.0)) {
        return -1;  // the decomposition's own error could matter
    }
    if (s2SquaredLow > kLimitSquared * kMargin * s3SquaredHigh) {
        return 1;
    }
    if (s2SquaredHigh * kMargin < kLimitSquared * s3SquaredLow) {
        return 0;
    }
    return -1;
}

bool dray_conditioning_fails_svd(const double* normal) {
    // The second and third singular values as dsvd_sorted gives them for a copy of the matrix (the
    // workspace on the stack; the same arithmetic).
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

bool dray_conditioning_fails(const double* normal) {
    const int bound = dray_conditioning_bound(normal);
    return bound < 0 ? dray_conditioning_fails_svd(normal) : bound == 1;
}

bool dray_solve(const SRaySums& sums, double* result) {
    result[0] = 0.0;
    result[1] = 0.0;
    result[2] = 0.0;
    if (dray_conditioning_fails(sums.normal)) {
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
