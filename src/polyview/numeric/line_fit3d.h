#pragma once

// Least-squares 3D line through the planes that n calibrated cameras see an image line in.
// cameras: n rows of 7 doubles (rotation vector r, translation t, focal length f), row-major.
// lines: n rows of 7 doubles whose first three are the image line's (a, b, c) of a u + b v + c = 0;
// the other four are not read. principalX, principalY: the n principal points.
// result[0..2]: the rotation vector of the frame whose rows are V, U and V x U; result[3]: the
// distance d >= 0 of the line d U + t V from the origin. V's largest-magnitude component is
// positive. Returns 1 on success; 0, result untouched, with fewer than two observations, when the
// plane normals are too close to one orientation (w1 / w2 > 50 over their singular values), when
// the result is not a number (degenerate observations), or when workspace cannot be had.
int dfitline3d(int n,
               const double* cameras,
               const double* lines,
               const double* principalX,
               const double* principalY,
               double* result);
// dfitline3d with each camera's rotation given as its matrix instead of its rotation vector:
// cameras: n rows of 13 doubles (camera-from-world rotation R row-major, translation t, focal
// length f). With R = drotvec2mat(r) the result is dfitline3d's, bit for bit, and so are the
// failures.
int dfitline3d_matrices(int n,
                        const double* cameras,
                        const double* lines,
                        const double* principalX,
                        const double* principalY,
                        double* result);
