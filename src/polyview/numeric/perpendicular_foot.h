#pragma once

class C2DCoordinate;

// The foot of the perpendicular from point onto the image line line[0] u + line[1] v + line[2]
// = 0; writes only the two components of foot. Near-zero a or b (below 1e-20, or not a number)
// take the horizontal or vertical branch; nothing is reported.
void dperpfoot(const double* line, C2DCoordinate point, C2DCoordinate& foot);
// dperpfoot for count points (x, y pairs) on one line, feet as (u, v) pairs: the same arithmetic
// and bits, with the terms that depend on the line alone formed once. points and feet may be the
// same array.
void dperpfeet(const double* line, int count, const double* points, double* feet);
