#pragma once

class CCameraParam;
class CMNMatrix;
class CNDVector;

// The per-camera terms of the point triangulation, formed once per camera.
struct SRayCamera {
    double camFromWorld[9];  // row-major
    double worldFromCam[9];  // its transpose
    double centre[3];        // -(worldFromCam t), the camera centre in the world
    double focalLength;
    double principalX;
    double principalY;
};
// The normal equations of the point triangulation: the sum over the rays of A_k = I - M_k (M_k the
// projector onto ray k) and of A_k C_k, each sum from 0.0 in camera order.
struct SRaySums {
    double normal[9];  // row-major
    double rightSide[3];
};

// The terms of camera (from the rotation kept with its pose; no rotation round trip). Never fails.
void dray_camera(const CCameraParam& camera, SRayCamera& terms);
// Zeroes sums, ready for the first ray.
void dray_sums_clear(SRaySums& sums);
// Adds the viewing ray of camera through imagePoint[0..1] (u, v) to sums. Never fails (bad input
// leaves inf or NaN in the sums, which dray_solve refuses).
void dray_add(const SRayCamera& camera, const double* imagePoint, SRaySums& sums);
// dray_camera then dray_add without storing the terms (the same bits). Never fails.
void dray_add_camera(const CCameraParam& camera, const double* imagePoint, SRaySums& sums);
// The point solving the normal equations of sums: result[0..2] set to 0.0 first. False when the
// second over the third singular value of the normal matrix exceeds 500000 (see
// dray_conditioning_fails) or the matrix cannot be inverted.
bool dray_solve(const SRaySums& sums, double* result);
// The conditioning test of the point triangulation on its normal matrix (row-major 3 x 3): true
// when the second over the third singular value, as the sorted singular value decomposition gives
// them, exceeds 500000 (a quotient that is not a number passes). Decided by
// dray_conditioning_bound where it can, by dray_conditioning_fails_svd otherwise; the same answer.
bool dray_conditioning_fails(const double* normal);
// The conditioning test by the singular values themselves (dsvd_values_small). Never fails.
bool dray_conditioning_fails_svd(const double* normal);
// The conditioning test from proven bounds on the singular values: 1 when it fails, 0 when it
// passes, -1 when the bounds cannot decide (non-finite or extreme entries, nearly singular
// matrices, quotients near 500000). Never disagrees with dray_conditioning_fails_svd.
int dray_conditioning_bound(const double* normal);
// The point nearest to the viewing rays through imagePoints[2k], imagePoints[2k+1] of cameras[k],
// k < n: the same arithmetic, the same decisions and the same bits as dtriangulate_point on the
// same cameras. result[0..2] set to 0.0 first. False when n < 2, the rays are (nearly) parallel, or
// the normal matrix cannot be inverted. No heap.
bool dtriangulate_rays(int n,
                       const SRayCamera* const* cameras,
                       const double* imagePoints,
                       double* result);

// The point nearest, in summed squared perpendicular distance, to the viewing rays of n cameras.
// cameras: 7 doubles per camera (rotation vector, translation, focal length); imagePoints: 2 per
// camera (u, v); principalX, principalY: n each. result[0..2] is set to 0.0 first and receives
// the point. False when n < 2 or the rays are (nearly) parallel. No heap.
// Least squares over the viewing rays; no iteration.
bool dtriangulate_point(int n,
                        const double* cameras,
                        const double* imagePoints,
                        const double* principalX,
                        const double* principalY,
                        double* result);
// The 3 x 3 rotation matrix of the rotation vector r[0..2]; the identity when |r| <= 1e-5.
CMNMatrix drotation_from_vector(const double* r);
// m v, with m.Rows() elements, each sum from 0.0 in column order.
CNDVector dmatvec(CMNMatrix m, CNDVector v);
