#pragma once

// Anti-aliased test images with known geometry: each pixel's sample is the exact share of its
// square inside a region bounded by straight lines (area sampling), between a dark and a bright
// level, plus Gaussian noise from a fixed seed, rounded to 8 bits.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace refine_test {

// The half-plane n . p >= d, n = (cos angle, sin angle).
struct SHalfPlane {
    double nx, ny, d;
};

// A half-plane with normal angle degrees whose boundary passes through (x, y).
inline SHalfPlane HalfPlaneThrough(double x, double y, double degrees) {
    const double a = degrees * 3.14159265358979323846 / 180.0;
    return {std::cos(a), std::sin(a), std::cos(a) * x + std::sin(a) * y};
}

// Area of the unit pixel square at (i, j) within every half-plane of planes[0..count).
inline double CoveredArea(int i, int j, const SHalfPlane* planes, int count) {
    std::vector<double> poly = {
        double(i), double(j), i + 1.0, double(j), i + 1.0, j + 1.0, double(i), j + 1.0};
    for (int k = 0; k < count; ++k) {
        const SHalfPlane& h = planes[k];
        std::vector<double> clipped;
        const size_t n = poly.size() / 2;
        for (size_t v = 0; v < n; ++v) {
            const double* p = &poly[2 * v];
            const double* q = &poly[2 * ((v + 1) % n)];
            const double sp = h.nx * p[0] + h.ny * p[1] - h.d;
            const double sq = h.nx * q[0] + h.ny * q[1] - h.d;
            if (sp >= 0) {
                clipped.insert(clipped.end(), {p[0], p[1]});
            }
            if ((sp >= 0) != (sq >= 0)) {
                const double t = sp / (sp - sq);
                clipped.insert(clipped.end(), {p[0] + t * (q[0] - p[0]), p[1] + t * (q[1] - p[1])});
            }
        }
        poly = clipped;
    }
    double area = 0.0;
    const size_t n = poly.size() / 2;
    for (size_t v = 0; v < n; ++v) {
        const size_t w = (v + 1) % n;
        area += poly[2 * v] * poly[2 * w + 1] - poly[2 * w] * poly[2 * v + 1];
    }
    return 0.5 * std::fabs(area);
}

enum class EShape { kEdge, kCorner, kCross };  // one half-plane, their intersection, X junction

// A width x height 8-bit image: bright inside the shape made of a (and b), dark elsewhere.
inline std::vector<std::uint8_t> Render(int width,
                                        int height,
                                        EShape shape,
                                        SHalfPlane a,
                                        SHalfPlane b,
                                        double noiseSigma,
                                        unsigned seed = 7,
                                        double dark = 50.0,
                                        double bright = 190.0) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, noiseSigma > 0.0 ? noiseSigma : 1.0);
    const SHalfPlane both[2] = {a, b};
    const SHalfPlane neither[2] = {{-a.nx, -a.ny, -a.d}, {-b.nx, -b.ny, -b.d}};
    std::vector<std::uint8_t> pixels(static_cast<size_t>(width) * height);
    for (int j = 0; j < height; ++j) {
        for (int i = 0; i < width; ++i) {
            double share = CoveredArea(i, j, both, shape == EShape::kEdge ? 1 : 2);
            if (shape == EShape::kCross) {
                share += CoveredArea(i, j, neither, 2);
            }
            const double value =
                dark + (bright - dark) * share + (noiseSigma > 0.0 ? noise(random) : 0.0);
            pixels[static_cast<size_t>(j) * width + i] =
                static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
        }
    }
    return pixels;
}

}  // namespace refine_test
