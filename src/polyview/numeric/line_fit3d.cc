#include "polyview/numeric/line_fit3d.h"

#include <cmath>

#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/vector_kernels.h"
#include "polyview/numeric/workspace.h"

namespace {

const double kMaxConditionRatio = 50.0;  // w1 / w2 above this rejects the direction (strict)
// A foot shorter than this share of the point's length has lost three or more digits to the
// subtraction: only then is it projected a second time (above it, the single projection stands).
const double kReprojectBelow = 1e-3;
// A unit foot that keeps less than this length after its second projection was rounding noise
// along the direction ("twice is enough" fails only then): the line passes through the origin.
const double kNoiseAfterReprojection = 0.5;
// A homogeneous point whose last coordinate is below sqrt(eps) lies more than 6.7e7 length units
// from the origin, next to the line's point at infinity: dividing by it would leave fewer than
// half of the foot point's digits.
const double kFinitePointLimit = 1.4901161193847656e-08;

const int kStackObservations = 32;  // up to this many, the stacked systems live on the stack

// Index in [1..count] of the smallest of w[1..count]; the first of equal values wins.
int SmallestIndex(const double* w, int count) {
    int smallest = 1;
    for (int j = 2; j <= count; ++j) {
        if (w[j] < w[smallest]) {
            smallest = j;
        }
    }
    return smallest;
}

// A unit vector perpendicular to the unit vector direction: the coordinate axis along which
// direction is shortest (first of equal magnitudes), with its part along direction removed.
void PerpendicularUnit(const double* direction, double* unit) {
    int shortest = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(direction[i]) < std::fabs(direction[shortest])) {
            shortest = i;
        }
    }
    for (int i = 0; i < 3; ++i) {
        const double axis = (i == shortest) ? 1.0 : 0.0;
        unit[i] = axis - direction[shortest] * direction[i];
    }
    dnormalize(3, unit);
}

// The point X perpendicular to the unit direction that best satisfies all planes n . X + d = 0
// (least squares): X = a e1 + b e2 over a basis e1, e2 of the plane perpendicular to the
// direction, from the 2 x 2 normal equations built with scatter = sum n n^T (row-major) and
// moment = sum d n. Cramer's rule; the direction test has kept the system regular.
void ConstrainedFoot(const double* direction,
                     const double* scatter,
                     const double* moment,
                     double* foot) {
    double e1[3];
    PerpendicularUnit(direction, e1);
    const double e2[3] = {direction[1] * e1[2] - direction[2] * e1[1],
                          direction[2] * e1[0] - direction[0] * e1[2],
                          direction[0] * e1[1] - direction[1] * e1[0]};
    double scatterE1[3];
    double scatterE2[3];
    dmatprod(scatter, e1, 3, 3, 1, scatterE1);
    dmatprod(scatter, e2, 3, 3, 1, scatterE2);
    const double s11 = ddot(3, e1, scatterE1);
    const double s12 = ddot(3, e1, scatterE2);
    const double s22 = ddot(3, e2, scatterE2);
    const double r1 = -ddot(3, e1, moment);
    const double r2 = -ddot(3, e2, moment);
    const double determinant = s11 * s22 - s12 * s12;
    const double a = (r1 * s22 - r2 * s12) / determinant;
    const double b = (s11 * r2 - s12 * r1) / determinant;
    for (int j = 0; j < 3; ++j) {
        foot[j] = a * e1[j] + b * e2[j];
    }
}

// Each observation gives the plane through its camera centre and its image line; the line is
// the least-squares intersection of the planes: its direction is the right singular vector of
// the smallest singular value of the stacked plane normals, a point on it the homogeneous
// least-squares point of the stacked planes. Closed form, no iteration. A camera row holds the
// rotation vector r (kFromVector, rebuilt by drotvec2mat) or the rotation matrix itself, then
// the translation and the focal length.
template <bool kFromVector>
int FitLine(int n,
            const double* cameras,
            const double* lines,
            const double* principalX,
            const double* principalY,
            double* result) {
    const int stride = kFromVector ? 7 : 13;
    const int translationAt = kFromVector ? 3 : 9;
    if (n < 2) {
        return 0;
    }
    // The stacked normals and planes stay on the stack up to kStackObservations observations;
    // the decompositions' own workspace always does.
    const CSmallMatrix<kStackObservations + 1, 4> normals(n, 3);
    const CSmallMatrix<kStackObservations + 1, 5> planes(n, 4);
    if (normals.Get() == nullptr || planes.Get() == nullptr) {
        return 0;  // the holders release whatever was obtained
    }
    double w3[4];       // [1..3]
    double v3Data[16];  // [1..3][1..3] in a 4 x 4 block
    double* v3[4] = {v3Data, v3Data + 4, v3Data + 8, v3Data + 12};
    double w4[5];       // [1..4]
    double v4Data[25];  // [1..4][1..4] in a 5 x 5 block
    double* v4[5] = {v4Data, v4Data + 5, v4Data + 10, v4Data + 15, v4Data + 20};

    double scatter[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};  // sum of n n^T, row-major
    double moment[3] = {0, 0, 0};                     // sum of d n
    for (int i = 0; i < n; ++i) {
        const double* camera = cameras + stride * static_cast<long>(i);
        const double* line = lines + 7 * static_cast<long>(i);
        double rebuilt[9];
        const double* camFromWorld = camera;  // R, row-major, [3 * row + col]
        if (kFromVector) {
            drotvec2mat(camera, rebuilt);
            camFromWorld = rebuilt;
        }
        const double f = camera[stride - 1];
        const double a = line[0];
        const double b = line[1];
        const double c = line[2];
        // Substituting u = f x / z + cx, v = f y / z + cy into a u + b v + c = 0.
        double normalInCam[3] = {a * f, b * f, a * principalX[i] + b * principalY[i] + c};
        dnormalize(3, normalInCam);
        double normalInWorld[3];
        dmatprod(normalInCam, camFromWorld, 1, 3, 3, normalInWorld);  // n^T R = (R^T n)^T
        const double offset = ddot(3, normalInCam, camera + translationAt);
        for (int j = 0; j < 3; ++j) {
            normals.Get()[i + 1][j + 1] = normalInWorld[j];
            planes.Get()[i + 1][j + 1] = normalInWorld[j];
        }
        planes.Get()[i + 1][4] = offset;
        for (int j = 0; j < 3; ++j) {
            for (int m = 0; m < 3; ++m) {
                scatter[3 * j + m] += normalInWorld[j] * normalInWorld[m];
            }
            moment[j] += offset * normalInWorld[j];
        }
    }

    // Direction: the normal of least variance across the planes.
    // U is not needed: the decompositions form only w and V, with the same bits.
    double* w = w3;
    double** v = v3;
    if (!dsvd_right_small(normals.Get(), n, 3, w, v)) {
        return 0;
    }
    if (w[1] / w[2] > kMaxConditionRatio) {
        return 0;  // the planes are too close to one orientation; NaN passes
    }
    int k = SmallestIndex(w, 3);
    double direction[3] = {v[1][k], v[2][k], v[3][k]};
    int largest = 0;
    for (int j = 1; j < 3; ++j) {
        if (std::fabs(direction[j]) > std::fabs(direction[largest])) {
            largest = j;
        }
    }
    if (direction[largest] <= 0.0) {
        for (double& component : direction) {
            component = -component;
        }
    }

    // Point: the homogeneous least-squares solution of n . X + d = 0 over all planes.
    w = w4;
    v = v4;
    if (!dsvd_right_small(planes.Get(), n, 4, w, v)) {
        return 0;
    }
    k = SmallestIndex(w, 4);
    double foot[3];
    double distance = 0.0;
    if (std::fabs(v[4][k]) >= kFinitePointLimit) {
        // Foot of the perpendicular from the origin onto the line through the point; its length
        // is the distance d. When the point lies very far along the line compared with d, the
        // subtraction cancels and leaves a remainder that leans towards D: it is projected once
        // more (Kahan and Parlett: twice is enough).
        for (int j = 0; j < 3; ++j) {
            foot[j] = v[j + 1][k] / v[4][k];
        }
        const double pointLength = dnorm(3, foot);
        const double along = ddot(3, foot, direction);
        for (int j = 0; j < 3; ++j) {
            foot[j] = foot[j] - along * direction[j];
        }
        distance = dnorm(3, foot);
        if (distance != 0.0) {
            dnormalize(3, foot);
            if (distance < kReprojectBelow * pointLength) {
                const double lean = ddot(3, foot, direction);
                for (int j = 0; j < 3; ++j) {
                    foot[j] = foot[j] - lean * direction[j];
                }
                if (!(dnorm(3, foot) >= kNoiseAfterReprojection)) {
                    PerpendicularUnit(direction, foot);
                } else {
                    dnormalize(3, foot);
                }
            }
        }
    } else {
        // The least-squares point is (nearly) the point at infinity of the line, as for exact
        // observations of a line through the origin: find the foot directly in the plane
        // perpendicular to the direction instead.
        ConstrainedFoot(direction, scatter, moment, foot);
        distance = dnorm(3, foot);
        if (distance != 0.0) {
            dnormalize(3, foot);
        }
    }
    if (distance == 0.0) {
        PerpendicularUnit(direction, foot);  // a line through the origin: any normal serves
    }

    // Frame with rows V, U and V x U.
    // clang-format off
    const double frame[9] = {
        direction[0], direction[1], direction[2],
        foot[0],      foot[1],      foot[2],
        direction[1] * foot[2] - direction[2] * foot[1],
        direction[2] * foot[0] - direction[0] * foot[2],
        direction[0] * foot[1] - direction[1] * foot[0]};
    // clang-format on
    if (!std::isfinite(distance)) {
        return 0;
    }
    for (const double element : frame) {
        if (!std::isfinite(element)) {
            return 0;  // degenerate observations; the rotation vector would hide it
        }
    }
    drotmat2vec_exact(frame, result);  // a frame near the identity keeps its small turn
    result[3] = distance;
    return 1;
}

}  // namespace

int dfitline3d(int n,
               const double* cameras,
               const double* lines,
               const double* principalX,
               const double* principalY,
               double* result) {
    return FitLine<true>(n, cameras, lines, principalX, principalY, result);
}

int dfitline3d_matrices(int n,
                        const double* cameras,
                        const double* lines,
                        const double* principalX,
                        const double* principalY,
                        double* result) {
    return FitLine<false>(n, cameras, lines, principalX, principalY, result);
}
