#pragma once

// Conversions between a rotation vector r (axis times angle, 3 values) and a row-major 3 x 3
// rotation matrix R (9 values, [3 * row + col]).

// Rodrigues formula R = I + (sin t / t) [r]x + ((1 - cos t) / t^2) [r]x^2, t = |r|; the identity
// when t <= 1e-5 or t is not a number.
void drotvec2mat(const double* r, double* rotation);
// The same formula in the point triangulation's grouping (other bits than drotvec2mat): t from the
// plain sum of squares, each entry as 1 - (..) beta or products times beta plus alpha times r_i.
void drotvec2mat_point(const double* r, double* rotation);
// The inverse of drotvec2mat: (0, 0, 0) for rotations whose skew part is below 1e-6 near the
// identity; near a half-turn the axis comes from the symmetric part and the angle from the trace.
void drotmat2vec(const double* rotation, double* r);
// The rotation vector of R for every rotation angle, small ones included (no cut-off near the
// identity); identical to drotmat2vec wherever the skew part reaches 1e-6.
void drotmat2vec_exact(const double* rotation, double* r);
