#pragma once

class C3DCoordinate;
template <typename T>
class C1DArray;

// Plane kernels over plain doubles. A plane is exchanged as params[0..3] = (a, b, c, d) of
// a x + b y + c z + d = 0; points, feet and directions as 3 doubles (x, y, z).

// Orthogonal least-squares plane through the points: the normal is the eigenvector of the
// smallest-magnitude eigenvalue of the centroid scatter matrix, scaled so that its
// largest-magnitude component (the first of equal magnitudes) is +1.0; d makes the plane pass
// through the centroid. Coincident or collinear points give one of the planes through them. With
// fewer than 3 points nothing is written and false is returned. When the points are not finite, the
// scatter matrix overflows, the eigen workspace cannot be had or no usable eigenvector comes back,
// all four coefficients are set to 0.0 and false is returned; otherwise true.
bool dfitplane(const C1DArray<C3DCoordinate>& points, double* params);

// Distance |a x + b y + c z + d| / |(a, b, c)| of point from the plane params (never negative).
// When foot is not null it receives point - (s / |(a, b, c)|) (a, b, c), s the signed value above:
// the foot of the perpendicular for a unit normal. A zero (a, b, c) or non-finite input yields
// infinite or NaN values; nothing else happens.
double dplane_distance(const double* point, const double* params, double* foot);

// Angle between a line of the given direction and a plane of the given normal, in degrees within
// [0, 90], as |acos(cos) * 57.29577921379604 - 90| with cos the normalised dot product, brought
// back into [-1, 1] when rounding pushes it out. The factor is 180 / 3.14159267 rather than
// 180 / pi, so a line in the plane gives about 4.7e-7 instead of 0. A zero or non-finite vector,
// or one whose squared length overflows, yields NaN.
double dline_plane_angle(const double* direction, const double* normal);
