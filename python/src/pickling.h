#pragma once

#include <cstddef>
#include <vector>

#include <pybind11/pybind11.h>

#include "polyview/foundations/vector3d.h"

namespace polyview_python {

// The pickled state of an object made of numbers: a tuple of Python floats, which keep every bit.
pybind11::tuple NumbersState(const std::vector<double>& values);
// The count numbers of a pickled state made by NumbersState; ValueError naming the type when the
// state is not a tuple of count floats.
std::vector<double> ReadNumbersState(pybind11::handle state, std::size_t count, const char* type);

// A vector that the library's normalisation (C3DVector::GetNormalizedVector, which every shape
// applies to its unit vectors) turns into unit bit for bit. A unit vector need not be a fixed
// point of the normalisation (its computed norm can be 1 +- 2 ulps), so multiples of it are
// searched; unit itself when it cannot be normalised or no candidate gives it back (then the
// rebuilt vector may differ from unit in its last bits).
C3DVector NormalisedTo(const C3DVector& unit);

}  // namespace polyview_python
