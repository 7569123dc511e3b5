#pragma once

// The fixed inputs of the bit-for-bit regression test, and every public operation run on them.
// record_golden writes what these runs produce into golden_values.inc; golden_outputs_test runs
// them again and compares each value with the recorded one bit for bit. Inputs come from a
// seeded generator that uses only exactly rounded arithmetic (no library transcendental), are
// finite, and keep away from thresholds: they pin the arithmetic, not the edge cases.

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "regression/scene_geometry.h"

#include "polyview/numeric/line_fit2d.h"
#include "polyview/numeric/line_fit3d.h"
#include "polyview/numeric/lu.h"
#include "polyview/numeric/perpendicular_foot.h"
#include "polyview/numeric/plane_kernels.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/triangulation.h"
#include "polyview/numeric/vector_kernels.h"
#include "polyview/numeric/workspace.h"
#include "polyview/polyview.h"

namespace golden {

using scene::CameraCentre;
using scene::ExactRecord;
using scene::LookAtCamera;
using scene::MakeCylinder;
using scene::ProjectPoint;
using scene::SKnownCylinder;

// Receives the outputs in a fixed order, grouped by operation.
class CSink {
  public:
    virtual ~CSink() = default;
    // Starts the values of one operation on one input.
    virtual void Group(const std::string& name) = 0;
    virtual void Put(double value) = 0;

    void Flag(bool value) { Put(value ? 1.0 : 0.0); }
    // Several outputs in the order given (the arguments are formed before any is put).
    template <typename A, typename B, typename... Rest>
    void Put(const A& a, const B& b, const Rest&... rest) {
        Put(a);
        Put(b, rest...);
    }
    template <typename Values>
    void PutAll(const Values& values) {
        for (double value : values) {
            Put(value);
        }
    }
    void Put(const C2DVector& v) { Put(v.GetData(0), v.GetData(1)); }
    void Put(const C3DVector& v) { Put(v.GetData(0), v.GetData(1), v.GetData(2)); }
    void Put(const C33Matrix& m) {
        for (int i = 0; i < 9; ++i) {
            Put(m.GetData(i / 3, i % 3));
        }
    }
    void Put(const CMNMatrix& m) {
        Put(static_cast<double>(m.Rows()), static_cast<double>(m.Cols()));
        for (int r = 0; r < m.Rows(); ++r) {
            for (int c = 0; c < m.Cols(); ++c) {
                Put(m(r, c));
            }
        }
    }
    void Put(const CNDVector& v) {
        Put(static_cast<double>(v.Rows()));
        for (int i = 0; i < v.Rows(); ++i) {
            Put(v[i]);
        }
    }
    void Put(const C2DLine& line) {
        double params[3];
        line.GetLineParams(params);
        PutAll(params);
    }
    void Put(const C2DLineSegment& segment) {
        double params[3];
        segment.GetLineParams(params);
        C2DCoordinate start, end;
        segment.GetEndPoints(start, end);
        PutAll(params);
        Put(start, end);
    }
    void Put(const CRange& range) { Put(range.GetStartPosition(), range.GetEndPosition()); }
    void Put(const C3DAxis& axis) { Put(axis.GetUVector(), axis.GetVVector(), axis.GetDistance()); }
    void Put(const C3DLineSegment& segment) {
        C3DCoordinate ends[2];
        segment.GetEndPoint3D(ends);
        Put(segment.GetAxis(), segment.GetRange(), ends[0], ends[1]);
    }
    void Put(const C3DPlane& plane) {
        double params[4];
        plane.GetPlaneParam(params);
        PutAll(params);
        Put(plane.GetPoint());
    }
    void Put(const C3DCylinder& cylinder) {
        Put(cylinder.GetAxis(), cylinder.GetRange(), cylinder.GetRadius());
    }
};

// Every output in order, with the name and first value index of each group: record_golden
// writes them out, golden_outputs_test compares them with the recorded ones.
class CCollector : public CSink {
  public:
    void Group(const std::string& name) override {
        groups.push_back(name);
        starts.push_back(values.size());
    }
    void Put(double value) override { values.push_back(value); }

    std::vector<std::string> groups;
    std::vector<size_t> starts;
    std::vector<double> values;
};

// splitmix64; doubles from the top 53 bits, so every input is exactly reproducible.
class CRandom {
  public:
    explicit CRandom(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        m_state += 0x9e3779b97f4a7c15ull;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double Uniform(double low, double high) {
        return low + (high - low) * (static_cast<double>(Next() >> 11) * 0x1.0p-53);
    }
    int Integer(int low, int high) {  // low..high inclusive
        return low + static_cast<int>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    C3DVector InCube(double half) {
        const double x = Uniform(-half, half);  // drawn in sequence: argument order is unspecified
        const double y = Uniform(-half, half);
        const double z = Uniform(-half, half);
        return C3DVector(x, y, z);
    }
    // A unit vector, uniform on the sphere (rejection from the cube).
    C3DVector Direction() {
        for (;;) {
            const C3DVector v = InCube(1.0);
            const double length = v.GetNorm();
            if (length > 0.1 && length <= 1.0) {
                return v / length;
            }
        }
    }
    // A uniform rotation from a unit quaternion (rejection from the 4-cube).
    CRotateMatrix Rotation() {
        for (;;) {
            double q[4];
            double squared = 0.0;
            for (double& value : q) {
                value = Uniform(-1.0, 1.0);
                squared += value * value;
            }
            if (squared < 0.01 || squared > 1.0) {
                continue;
            }
            const double length = std::sqrt(squared);
            return scene::QuaternionRotation(
                q[0] / length, q[1] / length, q[2] / length, q[3] / length);
        }
    }
    C2DCoordinate Noise(double amplitude) {
        const double x = Uniform(-amplitude, amplitude);
        const double y = Uniform(-amplitude, amplitude);
        return C2DCoordinate(x, y);
    }

  private:
    std::uint64_t m_state;
};

// A camera 5 to 20 m from target, looking near it, focal length 1000 to 3000 pixels.
inline CCameraParam SceneCamera(CRandom& random, const C3DVector& target) {
    const C3DVector direction = random.Direction();
    const C3DVector centre = target + direction * random.Uniform(5.0, 20.0);
    const C3DVector aim = target + random.InCube(0.3);
    const double f = random.Uniform(1000.0, 3000.0);
    const double cx = random.Uniform(600.0, 700.0);
    const double cy = random.Uniform(450.0, 550.0);
    return LookAtCamera(centre, aim, f, cx, cy);
}

inline C2DCoordinate Observe(CRandom& random, const CCameraParam& camera, const C3DVector& point) {
    C2DCoordinate image = ProjectPoint(camera, point);
    image += random.Noise(1.0);
    return image;
}

inline std::string Name(const char* operation, int index) {
    return std::string(operation) + " #" + std::to_string(index);
}

// Vectors, angles, 3 x 3 matrices and rotations.
inline void RunFoundations(CSink& sink, CRandom& random) {
    for (int k = 0; k < 20; ++k) {
        sink.Group(Name("C3DVector arithmetic", k));
        const C3DVector a = random.InCube(10.0);
        const C3DVector b = random.InCube(10.0);
        const double factor = random.Uniform(-3.0, 3.0);
        sink.Put(a + b, a - b, a * factor, a / factor, factor * b);
        C3DVector c = a;
        c += b;
        c -= b * 0.5;
        c *= factor;
        sink.Put(c, a.GetDotProduct(b), a.GetCrossProduct(b), a.GetOuterProduct(b), a.GetNorm());
        sink.Put(a.GetNormalizedVector());
        C3DVector unit;
        sink.Flag(b.GetNormalizedVector(unit));
        sink.Put(unit);
        C3DVector normalized = b;
        normalized.Normalize();
        sink.Put(normalized);
        const CRotateMatrix rotation = random.Rotation();
        C3DVector moved = a;
        sink.Flag(moved.Transform(rotation, b, factor));
        sink.Put(moved);

        sink.Group(Name("C2DVector and CAngle", k));
        const C2DVector p(a.GetData(0), a.GetData(1));
        const C2DVector q(b.GetData(0), b.GetData(1));
        sink.Put(p + q, p - q, p * factor, factor * q);
        C2DVector r = p;
        r += q;
        r -= q * 0.25;
        r *= factor;
        sink.Put(r, p.GetNorm());
        C2DVector s;
        s.SetVector(b);
        sink.Put(s);
        CAngle angle;
        angle.SetDegree(factor * 50.0);
        sink.Put(angle.GetRadian(), angle.GetDegree());
        angle.ACos(factor / 3.0);
        sink.Put(angle.GetRadian(), angle.GetDegree());
    }
    for (int k = 0; k < 24; ++k) {
        sink.Group(Name("C33Matrix and rotations", k));
        const CRotateMatrix rotation = random.Rotation();
        double e[9];
        for (double& value : e) {
            value = random.Uniform(-2, 2);
        }
        const C33Matrix m(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
        const C3DVector x = random.InCube(5.0);
        sink.Put(m * x, m * 1.5, 0.75 * m, m.GetTransposedMatrix(), m.GetRowVector(1));
        C33Matrix inverse;
        sink.Flag(m.GetInverseMatrix(inverse));
        sink.Put(inverse);
        const CRotateVector vector = rotation.GetRotateVector();
        sink.Put(vector, vector.GetRotateMatrix(), CRotateMatrix(vector));
        // Small and moderate angles take the series and the Rodrigues branches.
        const C3DVector axisOfSmall = random.Direction();
        const CRotateVector small(axisOfSmall * random.Uniform(1e-7, 9e-6));
        sink.Put(small.GetRotateMatrix(), small.GetRotateMatrix().GetRotateVector());
        double r[3], matrix[9];
        rotation.GetMatrix(matrix);
        drotmat2vec(matrix, r);
        sink.Put(C3DVector(r));
        drotmat2vec_exact(matrix, r);
        sink.Put(C3DVector(r));
        drotvec2mat(r, matrix);
        sink.PutAll(matrix);
        const C3DVector rv = random.InCube(3.0);
        rv.GetVector(r);
        sink.Put(drotation_from_vector(r));
    }
}

// Dense matrices and vectors of the stand-in types, including inversion and eigenpairs.
inline void RunDense(CSink& sink, CRandom& random) {
    for (int k = 0; k < 15; ++k) {
        sink.Group(Name("CMNMatrix", k));
        const int n = 1 + k % 5;
        const int cols = 1 + (k / 5) % 3;
        CMNMatrix a(n, n), b(n, cols), symmetric(n, n);
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                a(i, j) = random.Uniform(-1.0, 1.0) + (i == j ? 2.0 : 0.0);
            }
            for (int j = 0; j < cols; ++j) {
                b(i, j) = random.Uniform(-4.0, 4.0);
            }
        }
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) {
                symmetric(i, j) = random.Uniform(-3.0, 3.0);
                symmetric(j, i) = symmetric(i, j);
            }
        }
        sink.Put(a.GetInverted(), a * b, a - symmetric, b.GetTransposed());
        CMNMatrix c(a);
        c += symmetric;
        c *= 1.25;
        c /= 3.0;
        sink.Put(c, static_cast<C33Matrix>(a));
        CMNMatrix resized(a);
        resized.Resize(n + 1, n, true);
        sink.Put(resized);
        CMNMatrix lu;
        sink.Flag(dinvert_lu(a, lu));
        sink.Put(lu);
        double value = 0.0;
        CNDVector smallest;
        sink.Flag(symmetric.GetMinEigenVector4MinEigenValue(value, smallest));
        sink.Put(value, smallest);
        C1DArray<double> values;
        C1DArray<CNDVector> vectors;
        sink.Flag(symmetric.GetEigenVector4EigenValue(values, vectors));
        for (int i = 0; i < values.GetSize(); ++i) {
            sink.Put(values[i], vectors[i]);
        }
        CNDVector u(n), v(n);
        for (int i = 0; i < n; ++i) {
            u[i] = random.Uniform(-2.0, 2.0);
            v[i] = random.Uniform(-2.0, 2.0);
        }
        sink.Put(u - v, u.GetDotProduct(v), u.GetOuterProduct(v));
        CNDVector w(u);
        w += v;
        w *= 0.3;
        w /= 7.0;
        sink.Put(w, static_cast<C3DVector>(w), dmatvec(a, u));
    }
}

// The numeric kernels underneath the shapes: SVD, eigen solvers, LU, small kernels.
inline void RunNumeric(CSink& sink, CRandom& random) {
    const int shapes[][2] = {{3, 3}, {2, 4}, {10, 4}, {4, 3}, {6, 3}, {3, 4}, {5, 5}, {20, 4}};
    for (int k = 0; k < 32; ++k) {
        const int m = shapes[k % 8][0];
        const int n = shapes[k % 8][1];
        sink.Group(Name(("dsvd " + std::to_string(m) + "x" + std::to_string(n)).c_str(), k));
        double** a = dmatrix(1, m, 1, n);
        double** v = dmatrix(1, n, 1, n);
        double* w = dvector(1, n);
        CMNMatrix copy(m, n);
        for (int i = 1; i <= m; ++i) {
            for (int j = 1; j <= n; ++j) {
                a[i][j] = random.Uniform(-5.0, 5.0);
                copy(i - 1, j - 1) = a[i][j];
            }
        }
        sink.Flag(dsvd_inplace(a, m, n, w, v));
        for (int i = 1; i <= n; ++i) {
            sink.Put(w[i]);
            for (int j = 1; j <= n; ++j) {
                sink.Put(v[i][j]);
            }
        }
        for (int i = 1; i <= m; ++i) {
            for (int j = 1; j <= n; ++j) {
                sink.Put(a[i][j]);
            }
        }
        dmatrix_free(a, 1, m, 1, n);
        dmatrix_free(v, 1, n, 1, n);
        dvector_free(w, 1, n);
        CNDVector values(n);
        CMNMatrix right(n, n);
        sink.Flag(dsvd_sorted(copy, values, right));
        sink.Put(copy, values, right);
    }
    for (int k = 0; k < 32; ++k) {
        const int n = 2 + k % 4;
        sink.Group(Name(("dsymeig " + std::to_string(n)).c_str(), k));
        std::vector<double> a(static_cast<size_t>(n * n));
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j <= i; ++j) {
                a[i * n + j] = random.Uniform(-4.0, 4.0);
                a[j * n + i] = a[i * n + j];
            }
        }
        std::vector<double> values(static_cast<size_t>(n)), vectors(static_cast<size_t>(n * n));
        sink.Flag(dsymeig_sorted(a.data(), n, values.data(), vectors.data()));
        sink.PutAll(values);
        sink.PutAll(vectors);
        std::vector<double> smallest(static_cast<size_t>(n)), second(static_cast<size_t>(n));
        sink.Flag(dsymeig_smallest2(
            a.data(), n, smallest.data(), second.data(), values.data(), k % 2 == 0));
        for (int i = 0; i < n; ++i) {
            sink.Put(smallest[i], second[i], values[i]);
        }
    }
    for (int k = 0; k < 20; ++k) {
        sink.Group(Name("small kernels", k));
        const double x = random.Uniform(-1e3, 1e3);
        const double y = random.Uniform(-1e3, 1e3);
        sink.Put(dhypot(x, y), dhypot(y * 1e-3, x));
        double u[5], v[5];
        for (int i = 0; i < 5; ++i) {
            u[i] = random.Uniform(-2.0, 2.0);
            v[i] = random.Uniform(-2.0, 2.0);
        }
        sink.Put(dnorm(5, u), ddot(5, u, v));
        double c[4];
        dmatprod(u, v, 2, 2, 2, c);
        sink.PutAll(c);
        dmatmul(c, v, u, 2, 2, 2);
        sink.PutAll(c);
        sink.Put(dnormalize(5, u));
        sink.PutAll(u);
        const double line[3] = {
            random.Uniform(-1, 1), random.Uniform(-1, 1), random.Uniform(-500, 500)};
        C2DCoordinate foot;
        dperpfoot(line, C2DCoordinate(x, y), foot);
        sink.Put(foot);
        double params[4] = {random.Uniform(-1, 1),
                            random.Uniform(-1, 1),
                            random.Uniform(0.5, 1),
                            random.Uniform(-9, 9)};
        double point[3] = {x * 0.01, y * 0.01, random.Uniform(-5, 5)};
        double footPoint[3];
        sink.Put(dplane_distance(point, params, footPoint));
        sink.PutAll(footPoint);
        sink.Put(dline_plane_angle(point, params));
    }
}

// Lines, segments and epipolar lines in the image plane.
inline void RunGeometry2D(CSink& sink, CRandom& random) {
    for (int k = 0; k < 30; ++k) {
        sink.Group(Name("C2DLine", k));
        double p[3] = {random.Uniform(-1, 1), random.Uniform(-1, 1), random.Uniform(-800, 800)};
        double q[3] = {random.Uniform(-1, 1), random.Uniform(-1, 1), random.Uniform(-800, 800)};
        C2DLine line;
        line.SetLineParams(p);
        C2DLine other;
        other.SetLineParams(q);
        const double pointX = random.Uniform(0, 1280);
        const C2DCoordinate point(pointX, random.Uniform(0, 960));
        sink.Put(line.GetVector());
        double distance = -5.0;
        sink.Flag(line.GetDistance(point, distance, true));
        sink.Put(distance, line.GetDistance(point));
        C2DCoordinate crossing;
        sink.Flag(line.GetIntersection(other, crossing));
        sink.Put(crossing);
        C2DLine center;
        sink.Flag(line.CalcCenterLine(other, center));
        sink.Put(center, line.GetLineSegment(0.0, 0.0, 1280.0, 960.0));
        sink.Put(other.GetLineSegment(-100.5, 20.25, 700.0, 500.0));
        CEpipolarLine epipolar;
        const CCameraParam first = SceneCamera(random, C3DVector(0, 0, 0));
        const CCameraParam second = SceneCamera(random, C3DVector(0, 0, 0));
        CExtrinsicParam relative;
        relative.SetDifferenceTwoExtrinsicParams(first.GetExtrinsicParam(),
                                                 second.GetExtrinsicParam());
        sink.Put(relative.GetRotateMatrix(), relative.GetTranslateVector());
        sink.Put(first.GetExtrinsicParam().Apply(C3DCoordinate(point, 3.0, WorldCoordinateSystem)));
        const CEssentialMatrix essential(relative);
        sink.Put(essential);
        CFundamentalMatrix fundamental;
        sink.Flag(essential.CalcFundamentalMatrix(
            first.GetIntrinsicParam(), second.GetIntrinsicParam(), fundamental));
        sink.Put(fundamental);
        epipolar.Create(fundamental, point);
        sink.Put(epipolar);

        sink.Group(Name("C2DLineSegment", k));
        const C2DCoordinate a0(random.Noise(640.0) + C2DVector(640.0, 480.0),
                               WorldCoordinateSystem);
        const C2DCoordinate a1(random.Noise(640.0) + C2DVector(640.0, 480.0),
                               WorldCoordinateSystem);
        const C2DLineSegment a(a0, a1);
        C2DCoordinate s0, s1;
        a.GetEndPoints(s0, s1);
        const C2DCoordinate b0(random.Noise(3.0) + s0 + C2DVector(10.0, 5.0),
                               WorldCoordinateSystem);
        const C2DCoordinate b1(random.Noise(3.0) + s1 + C2DVector(10.0, 5.0),
                               WorldCoordinateSystem);
        const C2DLineSegment b(b0, b1);
        sink.Put(a, a.GetVector(), a.GetLength(), a.GetCenterCoordinate());
        C2DLineSegment unified;
        sink.Flag(a.Unify(b, unified, 20.0));
        sink.Put(unified);
        sink.Flag(a.IsIn(1280.0, 960.0));
        sink.Flag(b.IsIn(640.0, 480.0));
        C2DLineSegment centre;
        sink.Flag(a.CalcCenterLine(b, centre));
        sink.Put(centre);
        C2DLineSegment epipolarSegment;
        sink.Flag(epipolarSegment.SetEpipolarLine(first, second, point, 0, 1279));
        sink.Put(epipolarSegment, C2DLine(a));
    }
    const int fitSizes[] = {2, 3, 10, 100, 1000};
    for (int k = 0; k < 15; ++k) {
        const int n = fitSizes[k % 5];
        sink.Group(Name(("line fit " + std::to_string(n)).c_str(), k));
        const C2DVector direction = random.Noise(1.0);
        const C2DVector origin = random.Noise(400.0) + C2DVector(640.0, 480.0);
        C1DArray<C2DCoordinate> points;
        points.SetSize(n);
        std::vector<double> xs(static_cast<size_t>(n)), ys(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const C2DVector along = origin + direction * random.Uniform(-300, 300);
            points[i] = along + random.Noise(1.0);
            xs[i] = points[i].GetData(0);
            ys[i] = points[i].GetData(1);
        }
        C2DLine line;
        sink.Flag(line.GetApproximationLine(points));
        sink.Put(line);
        double abc[3];
        sink.Flag(dfitline2d(xs.data(), ys.data(), n, abc, abc + 1, abc + 2));
        sink.Put(abc[0], abc[1], abc[2]);
    }
}

// B-spline basis, evaluation and sampling through picked points.
inline void RunBSpline(CSink& sink, CRandom& random) {
    for (int k = 0; k < 6; ++k) {
        sink.Group(Name("B-spline basis", k));
        const int count = 6 + 2 * k;
        C1DArray<double> knots;
        knots.SetSize(count + 4);
        for (int j = 0; j < 4; ++j) {
            knots[j] = 0.0;
            knots[count + j] = 1.0;
        }
        for (int j = 4; j < count; ++j) {
            knots[j] = knots[j - 1] + random.Uniform(0.2, 1.0) / count;
        }
        for (int j = 4; j < count; ++j) {
            knots[j] = knots[j] < 0.95 ? knots[j] : 0.95;
        }
        for (int s = 0; s < 4; ++s) {
            const double t = random.Uniform(0.0, 1.0);
            for (int i = 0; i < count; ++i) {
                sink.Put(C2DBSpline::SplineBaseFunction(i, 4, knots, t));
                sink.Put(C2DBSpline::SplineBaseFunction(i, 3, &knots[0], t));
                sink.Put(C2DBSpline::SplineBaseFunction1stDif(i, 4, knots, t));
                sink.Put(C2DBSpline::SplineBaseFunction1stDif(i, 4, &knots[0], t));
                sink.Put(C2DBSpline::SplineBlend2ndDif(i, 4, knots, t));
                sink.Put(C2DBSpline::SplineBlend2ndDif(i, 4, &knots[0], t));
            }
        }
        std::vector<double> cx(static_cast<size_t>(count)), cy(static_cast<size_t>(count)),
            cz(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            cx[i] = random.Uniform(0, 1000);
            cy[i] = random.Uniform(0, 1000);
            cz[i] = random.Uniform(0, 1000);
        }
        // Unit-spaced clamped knots for the curve evaluation.
        std::vector<double> unit(static_cast<size_t>(count + 4));
        for (int j = 0; j < count + 4; ++j) {
            unit[j] = j < 4 ? 0.0 : (j >= count ? count - 3.0 : j - 3.0);
        }
        double x = 0.0, y = 0.0, z = 0.0;
        C2DBSpline::SplinePoint(
            unit.data(), count - 1, 4, 1.7, cx.data(), cy.data(), cz.data(), &x, &y, &z, 3);
        sink.Put(x, y, z);
        const int samples = 25;
        std::vector<double> ox(samples), oy(samples), oz(samples);
        C2DBSpline::SplineCurve(cx.data(),
                                cy.data(),
                                cz.data(),
                                count - 1,
                                unit.data(),
                                4,
                                ox.data(),
                                oy.data(),
                                oz.data(),
                                1 + k % 3,
                                samples);
        for (int i = 0; i < samples; ++i) {
            sink.Put(ox[i], oy[i], k % 3 == 2 ? oz[i] : 0.0);
        }
    }
    const int pointCounts[] = {100, 100, 10, 30, 60, 100};
    const int sampleCounts[] = {1000, 100, 20, 40, 60, 80};
    for (int k = 0; k < 12; ++k) {
        const int n = pointCounts[k % 6];
        const int sampleCount = sampleCounts[k % 6];
        const bool passThrough = k < 6;
        sink.Group(Name(passThrough ? "B-spline through points" : "B-spline near points", k));
        // A wavy stroke across the image, 1 px of noise, a few points closer than 2 px.
        C1DArray<C2DCoordinate> points;
        points.SetSize(n);
        double x = random.Uniform(50, 150);
        double y = random.Uniform(300, 600);
        double dy = random.Uniform(-3, 3);
        for (int i = 0; i < n; ++i) {
            dy += random.Uniform(-1.5, 1.5) - dy * 0.05;
            x += i % 17 == 16 ? 0.5 : random.Uniform(6.0, 12.0);
            y += dy + (i % 17 == 16 ? 0.0 : random.Uniform(-1, 1));
            points[i] = C2DCoordinate(x, y);
        }
        C1DArray<C2DCoordinate> samples;
        samples.SetSize(sampleCount);
        const EErrorType error =
            C2DBSpline::GetSamplePoint(points, random.Uniform(15.0, 30.0), samples, passThrough);
        sink.Put(static_cast<double>(error));
        for (int i = 0; i < samples.GetSize(); ++i) {
            sink.Put(samples[i]);
        }
    }
}

// Points, lines and line segments reconstructed from noisy observations, with reprojection and
// transformation.
inline void RunShapes(CSink& sink, CRandom& random) {
    const int viewCounts[] = {2, 3, 10, 100};
    for (int k = 0; k < 60; ++k) {
        const int views = viewCounts[k < 24 ? 0 : (k < 42 ? 1 : (k < 54 ? 2 : 3))];
        sink.Group(Name(("point from " + std::to_string(views)).c_str(), k));
        const C3DVector truth = random.InCube(1.0);
        C1DArray<SImagePoint> observations;
        observations.SetSize(views);
        for (int i = 0; i < views; ++i) {
            observations[i].cameraParam = SceneCamera(random, C3DVector(0, 0, 0));
            observations[i].imagePoint = Observe(random, observations[i].cameraParam, truth);
        }
        C3DPoint point;
        sink.Flag(point.CreateFromImagePoints(observations));
        sink.Put(point.GetPoint());
        C2DCoordinate image;
        double residual = -1.0;
        sink.Flag(point.Reproject(
            observations[0].cameraParam, image, &observations[0].imagePoint, &residual));
        sink.Put(image, residual);
        const CRotateMatrix rotation = random.Rotation();
        const C3DVector translation = random.InCube(2.0);
        sink.Flag(point.Transform(rotation, translation, random.Uniform(0.5, 2.0)));
        sink.Put(point.GetPoint());
    }
    const int lineViews[] = {2, 3, 10};
    for (int k = 0; k < 24; ++k) {
        const int views = lineViews[k % 3];
        sink.Group(Name(("line from " + std::to_string(views)).c_str(), k));
        const C3DVector start = random.InCube(1.0);
        const C3DVector heading = random.Direction();
        const C3DVector end = start + heading * random.Uniform(0.8, 2.0);
        C1DArray<SImageLine> observations;
        observations.SetSize(views);
        for (int i = 0; i < views; ++i) {
            const CCameraParam camera = SceneCamera(random, (start + end) * 0.5);
            observations[i].cameraParam = camera;
            // Picked end points a little inside the true ones, with 1 px noise.
            const C2DCoordinate first =
                Observe(random, camera, start + (end - start) * random.Uniform(0.0, 0.1));
            const C2DCoordinate last =
                Observe(random, camera, start + (end - start) * random.Uniform(0.9, 1.0));
            observations[i].lineSegment.SetEndPoints(first, last);
        }
        C3DLine line;
        sink.Flag(line.CreateFromImageLines(observations));
        sink.Put(line.Get3DAxis());
        C2DLine image;
        sink.Flag(line.Reproject(observations[0].cameraParam, image));
        sink.Put(image);
        C3DLineSegment segment;
        sink.Flag(segment.Set3DLineSegment(line.Get3DAxis(), CRange(), true, false));
        sink.Flag(segment.CalcRange(observations));
        sink.Put(segment);
        C2DLineSegment projected;
        C2DCoordinate picked[2];
        observations[1].lineSegment.GetEndPoints(picked[0], picked[1]);
        double residual = -1.0;
        sink.Flag(segment.Reproject(observations[1].cameraParam, projected, picked, &residual));
        sink.Put(projected, residual);
        const CRotateMatrix rotation = random.Rotation();
        const C3DVector translation = random.InCube(3.0);
        const double scale = random.Uniform(0.5, 2.0);
        C3DLine movedLine(line);
        sink.Flag(movedLine.Transform(rotation, translation, scale));
        sink.Put(movedLine.Get3DAxis());
        C3DLineSegment movedSegment(segment);
        sink.Flag(movedSegment.Transform(rotation, translation, scale));
        sink.Put(movedSegment);

        sink.Group(Name("C3DLineSegment queries", k));
        C3DLineSegment fromPoints;
        fromPoints.SetEndPoint3D(C3DCoordinate(start, WorldCoordinateSystem),
                                 C3DCoordinate(end, WorldCoordinateSystem));
        sink.Put(fromPoints);
        C3DCoordinate foot;
        double distance = -1.0;
        fromPoints.GetDistancePoint2Line(
            C3DCoordinate(random.InCube(2.0), WorldCoordinateSystem), foot, distance);
        sink.Put(foot, distance);
        CAngle angle;
        sink.Flag(fromPoints.GetAngleLine2Line(segment, angle));
        sink.Put(angle.GetRadian());
        C3DLineSegment other;
        const C3DCoordinate otherStart(random.InCube(2.0), WorldCoordinateSystem);
        const C3DCoordinate otherEnd(random.InCube(2.0), WorldCoordinateSystem);
        other.SetEndPoint3D(otherStart, otherEnd);
        C3DCoordinate closest[2];
        sink.Flag(fromPoints.GetDistanceLine2Line(other, closest, distance));
        sink.Put(closest[0], closest[1], distance);
        const C3DVector axisU = random.Direction();
        const C3DVector axisV = random.Direction();
        C3DAxis axis(axisU, axisV, random.Uniform(0.0, 3.0));
        sink.Put(axis, axis.GetBaseCoordinate());
        sink.Put(axis.GetCoordinate(random.Uniform(-2, 2)));
        C3DCoordinate ends[2];
        axis.GetCoordinate(CRange(-0.5, 1.5), ends);
        sink.Put(ends[0], ends[1]);
        double params[4];
        axis.GetFrom4Params(params);
        sink.PutAll(params);
        C3DAxis rebuilt;
        sink.Flag(rebuilt.SetFrom4Params(params));
        sink.Put(rebuilt);
        sink.Flag(axis.Transform(rotation, translation, scale));
        sink.Put(axis, CRange(params[0], params[3]).GetLength());
    }
    const int planeSizes[] = {3, 10, 100, 1000};
    for (int k = 0; k < 16; ++k) {
        const int n = planeSizes[k % 4];
        sink.Group(Name(("plane fit " + std::to_string(n)).c_str(), k));
        const C3DVector normal = random.Direction();
        const C3DVector e1 = normal.GetCrossProduct(random.Direction()).GetNormalizedVector();
        const C3DVector e2 = normal.GetCrossProduct(e1);
        const C3DVector centre = random.InCube(2.0);
        C1DArray<C3DCoordinate> points;
        points.SetSize(n);
        for (int i = 0; i < n; ++i) {
            const double s = random.Uniform(-1, 1);
            const double t = random.Uniform(-1, 1);
            const double h = random.Uniform(-0.005, 0.005);
            points[i] = centre + e1 * s + e2 * t + normal * h;
        }
        C3DPlane plane;
        sink.Flag(plane.SetApproximationPlane(points));
        sink.Put(plane);
        double params[4];
        sink.Flag(dfitplane(points, params));
        sink.PutAll(params);
        C3DCoordinate foot;
        sink.Put(plane.GetDistance(C3DCoordinate(random.InCube(3.0), WorldCoordinateSystem), foot));
        sink.Put(foot);
        const C3DVector lineU = random.Direction();
        const C3DVector lineV = random.Direction();
        C3DLine line(C3DAxis(lineU, lineV, 1.0));
        sink.Put(plane.GetAngle(line).GetDegree());
        C3DPlanarPolygon polygon;
        sink.Flag(polygon.SetApproximationPlane(points));
        sink.Put(polygon.GetPlane());
        const double coefficients[4] = {random.Uniform(-1, 1),
                                        random.Uniform(-1, 1),
                                        random.Uniform(-1, 1),
                                        random.Uniform(-5, 5)};
        C3DPlane fromParams;
        fromParams.SetPlaneParam(coefficients);
        sink.Put(fromParams);
        const C3DVector builtNormal = random.InCube(1.0);
        C3DPlane built(builtNormal, C3DCoordinate(random.InCube(1.0), WorldCoordinateSystem));
        sink.Put(built);
    }
}

// Cylinders reconstructed by both methods, projected and moved.
inline void RunCylinder(CSink& sink, CRandom& random) {
    const int imageCounts[] = {2, 4, 10};
    for (int k = 0; k < 18; ++k) {
        const int images = imageCounts[k % 3];
        sink.Group(Name(("cylinder from " + std::to_string(images)).c_str(), k));
        SKnownCylinder known;
        known.base = random.InCube(0.5);
        known.direction = random.Direction();
        known.radius = random.Uniform(0.05, 0.3);
        known.start = random.Uniform(-1.0, -0.5);
        known.end = random.Uniform(0.5, 1.0);
        C1DArray<SImageCylinder> records;
        records.SetSize(images);
        for (int i = 0; i < images; ++i) {
            // Keep the line of sight well away from the axis direction.
            CCameraParam camera;
            for (;;) {
                camera = SceneCamera(random, known.AxisPoint(0.0));
                const C3DVector sight =
                    (CameraCentre(camera) - known.AxisPoint(0.0)).GetNormalizedVector();
                if (std::fabs(sight.GetDotProduct(known.direction)) < 0.7) {
                    break;
                }
            }
            records[i] = ExactRecord(known, camera);
            for (C2DLineSegment& edge : records[i].edgeSegment) {
                C2DCoordinate p0, p1;
                edge.GetEndPoints(p0, p1);
                const C2DCoordinate q0(random.Noise(1.0) + p0, WorldCoordinateSystem);
                const C2DCoordinate q1(random.Noise(1.0) + p1, WorldCoordinateSystem);
                edge.SetEndPoints(q0, q1);
            }
        }
        for (int method = 0; method < 2; ++method) {
            C3DCylinder cylinder;
            sink.Flag(cylinder.CreateFromImageCylinder(records, method == 0));
            sink.Put(cylinder);
            C2DLineSegment centre, edges[2];
            C2DCoordinate observed[4];
            records[0].edgeSegment[0].GetEndPoints(observed[0], observed[1]);
            records[0].edgeSegment[1].GetEndPoints(observed[2], observed[3]);
            double distances[4] = {-1, -1, -1, -1};
            double maxDistance = -1.0;
            sink.Flag(cylinder.Reproject(
                records[0].cameraParam, centre, edges, observed, distances, &maxDistance));
            sink.Put(centre, edges[0], edges[1]);
            sink.PutAll(distances);
            sink.Put(maxDistance);
            C3DCoordinate start, end;
            sink.Flag(cylinder.GetEndPoint3D(start, end));
            sink.Put(start, end);
            C2DCoordinate imageStart, imageEnd;
            sink.Flag(cylinder.GetEndPoint2D(records[1].cameraParam, imageStart, imageEnd));
            sink.Put(imageStart, imageEnd);
            C3DCylinder moved(cylinder);
            const CRotateMatrix rotation = random.Rotation();
            const C3DVector translation = random.InCube(2.0);
            sink.Flag(moved.Transform(rotation, translation, random.Uniform(0.5, 2.0)));
            sink.Put(moved);
            sink.Flag(moved.CalcRange(records));
            sink.Put(moved);
        }
    }
}

// Every group in a fixed order; the seed fixes every input.
inline void RunAll(CSink& sink) {
    CRandom random(20240611u);
    RunFoundations(sink, random);
    RunDense(sink, random);
    RunNumeric(sink, random);
    RunGeometry2D(sink, random);
    RunBSpline(sink, random);
    RunShapes(sink, random);
    RunCylinder(sink, random);
}

}  // namespace golden
