#include "pickling.h"

#include <cmath>
#include <limits>
#include <string>

namespace polyview_python {

namespace py = pybind11;

py::tuple NumbersState(const std::vector<double>& values) {
    py::tuple state(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        state[i] = py::float_(values[i]);
    }
    return state;
}

std::vector<double> ReadNumbersState(py::handle state, std::size_t count, const char* type) {
    const std::string fault =
        std::string(type) + ": a pickled state of " + std::to_string(count) + " floats expected";
    if (!py::isinstance<py::tuple>(state) || py::len(state) != count) {
        throw py::value_error(fault);
    }
    std::vector<double> values(count);
    const py::tuple numbers = py::reinterpret_borrow<py::tuple>(state);
    for (std::size_t i = 0; i < count; ++i) {
        if (!py::isinstance<py::float_>(numbers[i])) {
            throw py::value_error(fault);
        }
        values[i] = numbers[i].cast<double>();
    }
    return values;
}

namespace {

bool SameBits(const C3DVector& first, const C3DVector& second) {
    for (int k = 0; k < 3; ++k) {
        const double a = first.GetData(k);
        const double b = second.GetData(k);
        if (!(a == b) || std::signbit(a) != std::signbit(b)) {
            return false;
        }
    }
    return true;
}

double StepUlps(double value, int steps) {
    const double towards = steps > 0 ? std::numeric_limits<double>::infinity()
                                     : -std::numeric_limits<double>::infinity();
    for (int i = 0; i < std::abs(steps); ++i) {
        value = std::nextafter(value, towards);
    }
    return value;
}

// The component w of a vector whose computed norm is norm such that w / norm rounds to unit;
// false when none lies within 2 ulps of unit * norm.
bool ComponentFor(double unit, double norm, double& w) {
    const double centre = unit * norm;
    for (const int steps : {0, 1, -1, 2, -2}) {
        w = StepUlps(centre, steps);
        if (w / norm == unit) {
            return true;
        }
    }
    return false;
}

}  // namespace

C3DVector NormalisedTo(const C3DVector& unit) {
    C3DVector normalised;
    if (!unit.GetNormalizedVector(normalised)) {
        return unit;  // the shapes keep such a vector as given
    }
    if (SameBits(normalised, unit)) {
        return unit;
    }
    // Search over the norm n the vector is to have: for each n the components that n divides
    // back into unit, kept when their computed norm is n. The norms tried are within 16 ulps of
    // 1 + j / 16: how the quotients round depends on n's mantissa.
    constexpr int kMantissas = 16;
    constexpr int kUlps = 16;
    for (int j = 0; j < kMantissas; ++j) {
        for (int k = 0; k <= 2 * kUlps; ++k) {
            const double norm = StepUlps(1.0 + j / static_cast<double>(kMantissas),
                                         k % 2 == 1 ? (k + 1) / 2 : -k / 2);
            double w[3];
            if (!ComponentFor(unit.GetData(0), norm, w[0]) ||
                !ComponentFor(unit.GetData(1), norm, w[1]) ||
                !ComponentFor(unit.GetData(2), norm, w[2])) {
                continue;
            }
            const C3DVector candidate(w[0], w[1], w[2]);
            if (candidate.GetNormalizedVector(normalised) && SameBits(normalised, unit)) {
                return candidate;
            }
        }
    }
    return unit;
}

}  // namespace polyview_python
