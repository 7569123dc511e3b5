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

// The components w within 2 ulps of unit * norm with w / norm rounding to unit; returns how many
// (0 to 5) were written to w.
int ComponentsFor(double unit, double norm, double* w) {
    const double centre = unit * norm;
    int found = 0;
    for (const int steps : {0, 1, -1, 2, -2}) {
        const double candidate = StepUlps(centre, steps);
        if (candidate / norm == unit) {
            w[found++] = candidate;
        }
    }
    return found;
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
    // back into unit, kept when the normalisation gives unit back (their computed norm is n). The
    // norms tried are within 32 ulps of 1 + j / 64: how the quotients round depends on n's
    // mantissa.
    constexpr int kMantissas = 64;
    constexpr int kUlps = 32;
    for (int j = 0; j < kMantissas; ++j) {
        for (int k = 0; k <= 2 * kUlps; ++k) {
            const double norm = StepUlps(1.0 + j / static_cast<double>(kMantissas),
                                         k % 2 == 1 ? (k + 1) / 2 : -k / 2);
            double w[3][5];
            int counts[3];
            for (int c = 0; c < 3; ++c) {
                counts[c] = ComponentsFor(unit.GetData(c), norm, w[c]);
            }
            // Every combination: which of them has the computed norm n depends on all three.
            for (int x = 0; x < counts[0]; ++x) {
                for (int y = 0; y < counts[1]; ++y) {
                    for (int z = 0; z < counts[2]; ++z) {
                        const C3DVector candidate(w[0][x], w[1][y], w[2][z]);
                        if (candidate.GetNormalizedVector(normalised) &&
                            SameBits(normalised, unit)) {
                            return candidate;
                        }
                    }
                }
            }
        }
    }
    return unit;
}

}  // namespace polyview_python
