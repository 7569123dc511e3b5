#pragma once

class C2DCoordinate;

// Orthogonal least-squares line a x + b y + c = 0 through the points (xs[i], ys[i]), count >= 1;
// (a, b) is a unit normal, the eigenvector of the scatter matrix's smaller-magnitude eigenvalue.
// The eigen solver works on the stack, so the fit cannot fail; it returns true.
bool dfitline2d(const double* xs, const double* ys, int count, double* a, double* b, double* c);
// dfitline2d on the x and y of count coordinates, read in place (no copies).
bool dfitline2d_coordinates(
    const C2DCoordinate* points, int count, double* a, double* b, double* c);
