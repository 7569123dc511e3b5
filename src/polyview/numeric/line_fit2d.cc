#include "polyview/numeric/line_fit2d.h"

#include <cmath>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/numeric/symmetric_eigen.h"

namespace {

// Largest point deviation of a line fit outside which the deviations are scaled near 1 first.
const double kSmallDeviation = 0x1p-200;
const double kLargeDeviation = 0x1p+200;

// dfitline2d over points read through x(i) and y(i).
template <typename X, typename Y>
bool FitLine2d(int count, const X& x, const Y& y, double* a, double* b, double* c) {
    double sumX = 0.0;
    double sumY = 0.0;
    for (int i = 0; i < count; ++i) {
        sumX += x(i);
        sumY += y(i);
    }
    const double mx = sumX / static_cast<double>(count);
    const double my = sumY / static_cast<double>(count);
    // Deviations far from 1 are first scaled by a power of two (exactly), so that the scatter
    // sums neither sink into denormals, where the eigenvectors lose their unit length, nor
    // overflow; the normal's direction is the same. Ordinary data is not scaled at all: the
    // unscaled sums are formed in the same pass that finds the largest deviation (a greater-than
    // test keeps the larger value and passes over a NaN, as fmax does), and only scaled data
    // goes through the points a second time.
    // (The largest x and y deviations are kept apart and joined after the loop: a maximum does
    // not depend on the order in which it is taken, and the loop is not held up by it.)
    double largestX = 0.0;
    double largestY = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    double syy = 0.0;
    for (int i = 0; i < count; ++i) {
        const double dx = x(i) - mx;
        const double dy = y(i) - my;
        const double magnitudeX = std::fabs(dx);
        const double magnitudeY = std::fabs(dy);
        largestX = magnitudeX > largestX ? magnitudeX : largestX;
        largestY = magnitudeY > largestY ? magnitudeY : largestY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    const double largest = largestY > largestX ? largestY : largestX;
    if (largest > 0.0 && (largest < kSmallDeviation || largest > kLargeDeviation)) {
        int exponent = 0;
        std::frexp(largest, &exponent);
        const double scale = std::ldexp(1.0, -exponent);
        sxx = 0.0;
        sxy = 0.0;
        syy = 0.0;
        for (int i = 0; i < count; ++i) {
            const double dx = (x(i) - mx) * scale;
            const double dy = (y(i) - my) * scale;
            sxx += dx * dx;
            sxy += dx * dy;
            syy += dy * dy;
        }
    }
    const double scatter[4] = {sxx, sxy, sxy, syy};  // row-major 2 x 2
    double smallest[2];
    double second[2];
    double unused[2];  // the eigenvalues are not asked for
    if (!dsymeig_smallest2_small(scatter, 2, smallest, second, unused, false)) {
        return false;
    }
    *a = smallest[0];
    *b = smallest[1];
    *c = -(mx * smallest[0] + my * smallest[1]);
    return true;
}

}  // namespace

bool dfitline2d(const double* xs, const double* ys, int count, double* a, double* b, double* c) {
    return FitLine2d(
        count, [xs](int i) { return xs[i]; }, [ys](int i) { return ys[i]; }, a, b, c);
}

bool dfitline2d_coordinates(
    const C2DCoordinate* points, int count, double* a, double* b, double* c) {
    return FitLine2d(
        count,
        [points](int i) { return points[i].GetData(0); },
        [points](int i) { return points[i].GetData(1); },
        a,
        b,
        c);
}
