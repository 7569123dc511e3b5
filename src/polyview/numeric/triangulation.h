#pragma once

class CMNMatrix;
class CNDVector;

// The point nearest, in summed squared perpendicular distance, to the viewing rays of n cameras.
// cameras: 7 doubles per camera (rotation vector, translation, focal length); imagePoints: 2 per
// camera (u, v); principalX, principalY: n each. result[0..2] is set to 0.0 first and receives
// the point. False when n < 2, the rays are (nearly) parallel, or the workspace cannot be had.
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
