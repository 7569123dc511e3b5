// Polyview against what a user would pick instead (OpenCV, a few lines of Eigen), timed in one
// process on the same fixed-seed inputs. Every benchmark is named "<case>/<side>"; before a side
// is timed, its answer on every input is checked against the truth, and a side that misses it is
// reported as an error instead of a time. scripts/bench turns the output into a table.

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compare_scenes.h"
#include <Eigen/Dense>
#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "polyview/numeric/lu.h"
#include "polyview/numeric/rotation.h"
#include "polyview/numeric/svd.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/triangulation.h"
#include "polyview/numeric/workspace.h"
#include "polyview/polyview.h"

namespace {

using compare::kSceneCount;
using RowMatrix34 = Eigen::Matrix<double, 3, 4, Eigen::RowMajor>;
using RowMatrix3 = Eigen::Matrix<double, 3, 3, Eigen::RowMajor>;

// Runs side(scene) on every scene and checks each answer with check(scene, answer), then times
// side over the scenes in turn. A side that misses the truth is reported as an error, not timed.
template <typename Scene, typename Side, typename Check>
void TimeSide(benchmark::State& state,
              const std::vector<Scene>& scenes,
              const Side& side,
              const Check& check) {
    for (size_t i = 0; i < scenes.size(); ++i) {
        if (!check(scenes[i], side(scenes[i]))) {
            state.SkipWithError(("answer off the truth on input " + std::to_string(i)).c_str());
            return;
        }
    }
    size_t next = 0;
    for (auto _ : state) {
        auto answer = side(scenes[next]);
        benchmark::DoNotOptimize(answer);
        benchmark::ClobberMemory();
        next = next + 1 == scenes.size() ? 0 : next + 1;
    }
}

template <typename Scene, typename Side, typename Check>
void Register(const std::string& name, const std::vector<Scene>* scenes, Side side, Check check) {
    benchmark::RegisterBenchmark(
        name.c_str(), [=](benchmark::State& state) { TimeSide(state, *scenes, side, check); });
}

// A plain function as an inlinable callable, so that no side pays for an indirect call.
template <auto kFunction>
struct SCall {
    template <typename Scene>
    auto operator()(const Scene& scene) const {
        return kFunction(scene);
    }
};

// ---------------------------------------------------------------------------------------------
// Point triangulation.

using Point = Eigen::Vector3d;

bool PointNearTruth(const compare::SPointScene& scene, const Point& answer) {
    const Point truth(scene.truth.GetData(0), scene.truth.GetData(1), scene.truth.GetData(2));
    return (answer - truth).norm() < 0.05 && answer.allFinite();  // 1 px is about 1 cm here
}

Point PolyviewPoint(const compare::SPointScene& scene) {
    C3DPoint point;
    if (!point.CreateFromImagePoints(scene.observations)) {
        return Point::Constant(NAN);
    }
    const C3DCoordinate& x = point.GetPoint();
    return Point(x.GetData(0), x.GetData(1), x.GetData(2));
}

// The least-squares point of the viewing rays: sum (I - d d^T) X = sum (I - d d^T) C.
Point EigenMidpoint(const compare::SPointScene& scene) {
    Eigen::Matrix3d normal = Eigen::Matrix3d::Zero();
    Eigen::Vector3d rightSide = Eigen::Vector3d::Zero();
    for (size_t i = 0; i < scene.cameras.size(); ++i) {
        const compare::SPlainCamera& c = scene.cameras[i];
        const Eigen::Map<const RowMatrix3> r(c.r);
        const Eigen::Map<const Eigen::Vector3d> t(c.t);
        const Eigen::Vector3d centre = -(r.transpose() * t);
        const Eigen::Vector3d ray(
            (scene.image[2 * i] - c.cx) / c.f, (scene.image[2 * i + 1] - c.cy) / c.f, 1.0);
        const Eigen::Vector3d d = (r.transpose() * ray).normalized();
        const Eigen::Matrix3d across = Eigen::Matrix3d::Identity() - d * d.transpose();
        normal += across;
        rightSide += across * centre;
    }
    return normal.ldlt().solve(rightSide);
}

// Linear triangulation: the null vector of the stacked rows u P3 - P1, v P3 - P2.
Point EigenDlt(const compare::SPointScene& scene) {
    const int n = static_cast<int>(scene.cameras.size());
    Eigen::Matrix<double, Eigen::Dynamic, 4> rows(2 * n, 4);
    for (int i = 0; i < n; ++i) {
        const Eigen::Map<const RowMatrix34> p(&scene.projections[12 * i]);
        rows.row(2 * i) = scene.image[2 * i] * p.row(2) - p.row(0);
        rows.row(2 * i + 1) = scene.image[2 * i + 1] * p.row(2) - p.row(1);
    }
    const Eigen::JacobiSVD<Eigen::Matrix<double, Eigen::Dynamic, 4>> svd(rows, Eigen::ComputeFullV);
    const Eigen::Vector4d x = svd.matrixV().col(3);
    return x.head<3>() / x(3);
}

// The same for two views with fixed-size storage (no heap).
Point EigenDlt2(const compare::SPointScene& scene) {
    Eigen::Matrix4d rows;
    for (int i = 0; i < 2; ++i) {
        const Eigen::Map<const RowMatrix34> p(&scene.projections[12 * i]);
        rows.row(2 * i) = scene.image[2 * i] * p.row(2) - p.row(0);
        rows.row(2 * i + 1) = scene.image[2 * i + 1] * p.row(2) - p.row(1);
    }
    const Eigen::JacobiSVD<Eigen::Matrix4d> svd(rows, Eigen::ComputeFullV);
    const Eigen::Vector4d x = svd.matrixV().col(3);
    return x.head<3>() / x(3);
}

void RegisterPoints() {
    for (int views : {2, 3, 4, 10, 100}) {
        const std::string name = "point " + std::to_string(views) + " views/";
        const auto* scenes = new std::vector<compare::SPointScene>(
            compare::PointScenes(views, 100u + static_cast<unsigned>(views)));
        Register(name + "polyview", scenes, SCall<PolyviewPoint>{}, PointNearTruth);
        Register(name + "eigen midpoint", scenes, SCall<EigenMidpoint>{}, PointNearTruth);
        if (views == 2) {
            Register(name + "eigen DLT", scenes, SCall<EigenDlt2>{}, PointNearTruth);
        } else {
            Register(name + "eigen DLT", scenes, SCall<EigenDlt>{}, PointNearTruth);
        }
        if (views == 2) {
            // cv::triangulatePoints on the two projection matrices and the two image points.
            Register(
                name + "opencv",
                scenes,
                [](const compare::SPointScene& scene) {
                    const cv::Mat p1(3, 4, CV_64F, const_cast<double*>(&scene.projections[0]));
                    const cv::Mat p2(3, 4, CV_64F, const_cast<double*>(&scene.projections[12]));
                    const cv::Mat x1(2, 1, CV_64F, const_cast<double*>(&scene.image[0]));
                    const cv::Mat x2(2, 1, CV_64F, const_cast<double*>(&scene.image[2]));
                    thread_local cv::Mat homogeneous;  // output storage kept between calls
                    cv::triangulatePoints(p1, p2, x1, x2, homogeneous);
                    const double w = homogeneous.at<double>(3, 0);
                    return Point(homogeneous.at<double>(0, 0) / w,
                                 homogeneous.at<double>(1, 0) / w,
                                 homogeneous.at<double>(2, 0) / w);
                },
                PointNearTruth);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// A batch of points seen by one pair of cameras.

constexpr int kBatchPoints = 10000;

struct SBatchScene {
    std::vector<C3DVector> truth;
    C1DArray<CCameraParam> cameras;
    std::vector<compare::SPlainCamera> plain;
    std::vector<double> projections;  // 12 per camera
    std::vector<double> image;        // per point 2 per camera (u0, v0, u1, v1)
    std::vector<double> rows[2];      // per camera the us, then the vs: OpenCV's 2 x N layout
};

SBatchScene BatchScene(unsigned seed) {
    compare::CSceneRandom random(seed);
    SBatchScene scene;
    const std::vector<C3DVector> directions = random.Directions(2, 0.6);
    scene.cameras.SetSize(2);
    for (int k = 0; k < 2; ++k) {
        scene.cameras[k] = random.Camera(C3DVector(0, 0, 0), directions[k]);
        scene.plain.push_back(compare::Plain(scene.cameras[k]));
        double p[12];
        compare::ProjectionMatrix(scene.plain.back(), p);
        scene.projections.insert(scene.projections.end(), p, p + 12);
        scene.rows[k].resize(2 * kBatchPoints);
    }
    for (int i = 0; i < kBatchPoints; ++i) {
        scene.truth.push_back(random.InCube(1.0));
        for (int k = 0; k < 2; ++k) {
            // 0.3 px of noise: with 1 px, as the single points have, the 2-view depth error
            // (several cm at 20 m) passes the 5 cm check in only most of 10 000 points.
            C2DCoordinate image = compare::ProjectPoint(scene.cameras[k], scene.truth[i]);
            image += random.Noise(0.3);
            scene.image.push_back(image.GetData(0));
            scene.image.push_back(image.GetData(1));
            scene.rows[k][i] = image.GetData(0);
            scene.rows[k][kBatchPoints + i] = image.GetData(1);
        }
    }
    return scene;
}

using Points = std::vector<double>;  // 3 per point

bool BatchNearTruth(const SBatchScene& scene, const Points& answer) {
    for (int i = 0; i < kBatchPoints; ++i) {
        const Point truth(
            scene.truth[i].GetData(0), scene.truth[i].GetData(1), scene.truth[i].GetData(2));
        const Point x(answer[3 * i], answer[3 * i + 1], answer[3 * i + 2]);
        if (!((x - truth).norm() < 0.05 && x.allFinite())) {
            return false;
        }
    }
    return true;
}

Points PolyviewBatch(const SBatchScene& scene) {
    Points points(3 * kBatchPoints);
    const std::unique_ptr<bool[]> ok(new bool[kBatchPoints]);
    const CPointBatch batch(scene.cameras);
    batch.Triangulate(kBatchPoints, scene.image.data(), points.data(), ok.get(), 1);
    return points;
}

// The midpoint of each point's two rays, one point after the other, as EigenMidpoint.
Points EigenBatchMidpoint(const SBatchScene& scene) {
    Points points(3 * kBatchPoints);
    for (int i = 0; i < kBatchPoints; ++i) {
        Eigen::Matrix3d normal = Eigen::Matrix3d::Zero();
        Eigen::Vector3d rightSide = Eigen::Vector3d::Zero();
        for (int k = 0; k < 2; ++k) {
            const compare::SPlainCamera& c = scene.plain[k];
            const Eigen::Map<const RowMatrix3> r(c.r);
            const Eigen::Map<const Eigen::Vector3d> t(c.t);
            const Eigen::Vector3d centre = -(r.transpose() * t);
            const double* image = &scene.image[4 * i + 2 * k];
            const Eigen::Vector3d ray((image[0] - c.cx) / c.f, (image[1] - c.cy) / c.f, 1.0);
            const Eigen::Vector3d d = (r.transpose() * ray).normalized();
            const Eigen::Matrix3d across = Eigen::Matrix3d::Identity() - d * d.transpose();
            normal += across;
            rightSide += across * centre;
        }
        Eigen::Map<Eigen::Vector3d> point(&points[3 * i]);
        point = normal.ldlt().solve(rightSide);
    }
    return points;
}

// cv::triangulatePoints once on the whole batch (2 x N image points per camera).
Points OpenCvBatch(const SBatchScene& scene) {
    const cv::Mat p1(3, 4, CV_64F, const_cast<double*>(&scene.projections[0]));
    const cv::Mat p2(3, 4, CV_64F, const_cast<double*>(&scene.projections[12]));
    const cv::Mat x1(2, kBatchPoints, CV_64F, const_cast<double*>(scene.rows[0].data()));
    const cv::Mat x2(2, kBatchPoints, CV_64F, const_cast<double*>(scene.rows[1].data()));
    cv::Mat homogeneous;
    cv::triangulatePoints(p1, p2, x1, x2, homogeneous);
    Points points(3 * kBatchPoints);
    for (int i = 0; i < kBatchPoints; ++i) {
        const double w = homogeneous.at<double>(3, i);
        for (int c = 0; c < 3; ++c) {
            points[3 * i + c] = homogeneous.at<double>(c, i) / w;
        }
    }
    return points;
}

void RegisterBatch() {
    const std::string name = "batch " + std::to_string(kBatchPoints) + " points 2 views/";
    const auto* scenes = new std::vector<SBatchScene>{BatchScene(4242u)};
    Register(name + "polyview", scenes, SCall<PolyviewBatch>{}, BatchNearTruth);
    Register(name + "eigen midpoint", scenes, SCall<EigenBatchMidpoint>{}, BatchNearTruth);
    Register(name + "opencv", scenes, SCall<OpenCvBatch>{}, BatchNearTruth);
}

// ---------------------------------------------------------------------------------------------
// 3D line from image lines.

struct SLineAnswer {
    Eigen::Vector3d point;
    Eigen::Vector3d direction;  // unit
};

bool LineNearTruth(const compare::SLineScene& scene, const SLineAnswer& answer) {
    if (!answer.point.allFinite() || !answer.direction.allFinite()) {
        return false;
    }
    for (const C3DVector& end : {scene.start, scene.end}) {
        const Eigen::Vector3d x(end.GetData(0), end.GetData(1), end.GetData(2));
        const Eigen::Vector3d offset = x - answer.point;
        if ((offset - answer.direction * answer.direction.dot(offset)).norm() > 0.05) {
            return false;
        }
    }
    return true;
}

SLineAnswer PolyviewLine(const compare::SLineScene& scene) {
    C3DLine line;
    if (!line.CreateFromImageLines(scene.observations)) {
        return {Eigen::Vector3d::Constant(NAN), Eigen::Vector3d::Constant(NAN)};
    }
    const C3DCoordinate base = line.Get3DAxis().GetBaseCoordinate();
    const C3DVector& v = line.Get3DAxis().GetVVector();
    return {Eigen::Vector3d(base.GetData(0), base.GetData(1), base.GetData(2)),
            Eigen::Vector3d(v.GetData(0), v.GetData(1), v.GetData(2))};
}

// The planes P^T l through each camera centre, stacked; the line is the two-dimensional null
// space of the stack (the right singular vectors of the two smallest singular values).
SLineAnswer EigenStackedPlanes(const compare::SLineScene& scene) {
    const int n = static_cast<int>(scene.lines.size() / 3);
    Eigen::Matrix<double, Eigen::Dynamic, 4> planes(n, 4);
    for (int i = 0; i < n; ++i) {
        const Eigen::Map<const RowMatrix34> p(&scene.projections[12 * i]);
        const Eigen::Map<const Eigen::Vector3d> l(&scene.lines[3 * i]);
        planes.row(i) = (p.transpose() * l).transpose();
    }
    const Eigen::JacobiSVD<Eigen::Matrix<double, Eigen::Dynamic, 4>> svd(planes,
                                                                         Eigen::ComputeFullV);
    const Eigen::Vector4d a = svd.matrixV().col(2);
    const Eigen::Vector4d b = svd.matrixV().col(3);
    // The finite point of the pencil nearest its point at infinity, and the direction.
    const Eigen::Vector3d point =
        (a(3) * a.head<3>() + b(3) * b.head<3>()) / (a(3) * a(3) + b(3) * b(3));
    const Eigen::Vector3d direction = (b(3) * a.head<3>() - a(3) * b.head<3>()).normalized();
    return {point, direction};
}

void RegisterLines() {
    for (int views : {2, 3, 10}) {
        const std::string name = "line " + std::to_string(views) + " views/";
        const auto* scenes = new std::vector<compare::SLineScene>(
            compare::LineScenes(views, 200u + static_cast<unsigned>(views)));
        Register(name + "polyview", scenes, SCall<PolyviewLine>{}, LineNearTruth);
        Register(
            name + "eigen stacked-plane SVD", scenes, SCall<EigenStackedPlanes>{}, LineNearTruth);
    }
}

// ---------------------------------------------------------------------------------------------
// 2D line fit.

using Line2 = Eigen::Vector3d;  // a, b, c with a unit normal

bool Line2NearTruth(const compare::SLineFitScene& scene, const Line2& line) {
    const double length = std::hypot(line(0), line(1));
    if (!line.allFinite() || length == 0.0) {
        return false;
    }
    // The same normal up to sign, and the true line's point nearest the centroid of the points
    // within a pixel of the answer.
    double mx = 0.0;
    double my = 0.0;
    for (size_t i = 0; i < scene.xs.size(); ++i) {
        mx += scene.xs[i] / static_cast<double>(scene.xs.size());
        my += scene.ys[i] / static_cast<double>(scene.xs.size());
    }
    const double* n = scene.normal;
    const double cosine = std::fabs(line(0) * n[0] + line(1) * n[1]) / length;
    const double across = n[0] * mx + n[1] * my + scene.offset;
    const double x = mx - n[0] * across;
    const double y = my - n[1] * across;
    return cosine > 0.9999 && std::fabs(line(0) * x + line(1) * y + line(2)) / length < 1.0;
}

Line2 PolyviewLineFit(const compare::SLineFitScene& scene) {
    C2DLine line;
    if (!line.GetApproximationLine(scene.points)) {
        return Line2::Constant(NAN);
    }
    double abc[3];
    line.GetLineParams(abc);
    return Line2(abc[0], abc[1], abc[2]);
}

Line2 EigenLineFit(const compare::SLineFitScene& scene) {
    const Eigen::Index n = static_cast<Eigen::Index>(scene.xs.size());
    const Eigen::Map<const Eigen::ArrayXd> xs(scene.xs.data(), n);
    const Eigen::Map<const Eigen::ArrayXd> ys(scene.ys.data(), n);
    const double mx = xs.mean();
    const double my = ys.mean();
    Eigen::Matrix2d scatter;
    scatter(0, 0) = (xs - mx).square().sum();
    scatter(0, 1) = ((xs - mx) * (ys - my)).sum();
    scatter(1, 1) = (ys - my).square().sum();
    scatter(1, 0) = scatter(0, 1);
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> solver(scatter);
    const Eigen::Vector2d normal = solver.eigenvectors().col(0);
    return Line2(normal(0), normal(1), -(normal(0) * mx + normal(1) * my));
}

void RegisterLineFits() {
    for (int count : {10, 100, 1000}) {
        const std::string name = "2D line fit " + std::to_string(count) + " points/";
        const auto* scenes = new std::vector<compare::SLineFitScene>(
            compare::LineFitScenes(count, 300u + static_cast<unsigned>(count)));
        // OpenCV's own point type is float.
        auto* floats = new std::vector<std::vector<cv::Point2f>>();
        for (const compare::SLineFitScene& scene : *scenes) {
            floats->emplace_back();
            for (size_t i = 0; i < scene.xs.size(); ++i) {
                floats->back().emplace_back(static_cast<float>(scene.xs[i]),
                                            static_cast<float>(scene.ys[i]));
            }
        }
        Register(name + "polyview", scenes, SCall<PolyviewLineFit>{}, Line2NearTruth);
        Register(
            name + "opencv",
            scenes,
            [scenes, floats](const compare::SLineFitScene& scene) {
                const size_t index = static_cast<size_t>(&scene - scenes->data());
                cv::Vec4f line;
                cv::fitLine((*floats)[index], line, cv::DIST_L2, 0.0, 0.01, 0.01);
                // (vx, vy) the direction, (x0, y0) a point: the normal is (-vy, vx).
                return Line2(-line[1], line[0], line[1] * line[2] - line[0] * line[3]);
            },
            Line2NearTruth);
        Register(name + "eigen 2x2 scatter", scenes, SCall<EigenLineFit>{}, Line2NearTruth);
    }
}

// ---------------------------------------------------------------------------------------------
// Plane fit.

using Plane = Eigen::Vector4d;

bool PlaneNearTruth(const compare::SPlaneScene& scene, const Plane& plane) {
    const Eigen::Vector3d normal(
        scene.normal.GetData(0), scene.normal.GetData(1), scene.normal.GetData(2));
    const Eigen::Vector3d centre(
        scene.centre.GetData(0), scene.centre.GetData(1), scene.centre.GetData(2));
    const double length = plane.head<3>().norm();
    return plane.allFinite() && std::fabs(plane.head<3>().dot(normal)) / length > 0.999 &&
           std::fabs(plane.head<3>().dot(centre) + plane(3)) / length < 0.01;
}

Plane PolyviewPlane(const compare::SPlaneScene& scene) {
    C3DPlane plane;
    if (!plane.SetApproximationPlane(scene.points)) {
        return Plane::Constant(NAN);
    }
    double params[4];
    plane.GetPlaneParam(params);
    return Plane(params[0], params[1], params[2], params[3]);
}

template <bool kDirect>
Plane EigenPlane(const compare::SPlaneScene& scene) {
    const Eigen::Map<const Eigen::Matrix3Xd> points(
        scene.coordinates.data(), 3, static_cast<Eigen::Index>(scene.coordinates.size() / 3));
    const Eigen::Vector3d centroid = points.rowwise().mean();
    const Eigen::Matrix3d covariance = (points.colwise() - centroid) *
                                       (points.colwise() - centroid).transpose() /
                                       static_cast<double>(points.cols());
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver;
    if (kDirect) {
        solver.computeDirect(covariance);
    } else {
        solver.compute(covariance);
    }
    const Eigen::Vector3d normal = solver.eigenvectors().col(0);
    Plane plane;
    plane << normal, -normal.dot(centroid);
    return plane;
}

void RegisterPlanes() {
    for (int count : {10, 1000}) {
        const std::string name = "plane fit " + std::to_string(count) + " points/";
        const auto* scenes = new std::vector<compare::SPlaneScene>(
            compare::PlaneScenes(count, 400u + static_cast<unsigned>(count)));
        Register(name + "polyview", scenes, SCall<PolyviewPlane>{}, PlaneNearTruth);
        Register(name + "eigen compute", scenes, SCall<EigenPlane<false>>{}, PlaneNearTruth);
        Register(name + "eigen computeDirect", scenes, SCall<EigenPlane<true>>{}, PlaneNearTruth);
    }
}

// ---------------------------------------------------------------------------------------------
// Singular value decomposition and symmetric eigen decomposition of small dense matrices. The
// sides keep their outputs where the checks can read them; only the decomposition is timed.

// Largest |input - U diag(w) V^T| over an m x n row-major input; u(i, k) and v(j, k) read U, V.
template <typename U, typename W, typename V>
double RebuildError(
    const std::vector<double>& a, int m, int n, const U& u, const W& w, const V& v) {
    double largest = 0.0;
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n && k < m; ++k) {
                sum += u(i, k) * w[k] * v(j, k);
            }
            largest = std::fmax(largest, std::fabs(sum - a[i * n + j]));
        }
    }
    return largest;
}

// Largest |A v_k - lambda_k v_k| over the eigenpairs of an n x n row-major input.
template <typename Values, typename Vectors>
double EigenResidual(const std::vector<double>& a, int n, const Values& values, const Vectors& v) {
    double largest = 0.0;
    for (int k = 0; k < n; ++k) {
        for (int i = 0; i < n; ++i) {
            double sum = 0.0;
            for (int j = 0; j < n; ++j) {
                sum += a[i * n + j] * v(j, k);
            }
            largest = std::fmax(largest, std::fabs(sum - values[k] * v(i, k)));
        }
    }
    return largest;
}

constexpr double kDecompositionTolerance = 1e-12;  // inputs are of order 1

// dsvd_inplace on 1-based work arrays that persist between calls, as a reconstruction keeps
// them; the input is copied in first (m n doubles).
struct SPolyviewSvdWork {
    int m;
    int n;
    double** a;
    double** v;
    double* w;
};

template <int kRows, int kCols>
void RegisterSvd() {
    constexpr int m = kRows;
    constexpr int n = kCols;
    const std::string name = "SVD " + std::to_string(m) + "x" + std::to_string(n) + "/";
    const auto* inputs = new std::vector<std::vector<double>>(
        compare::Matrices(m, n, false, 500u + static_cast<unsigned>(m * 10 + n)));

    // The library's reconstructions decompose with the workspace on the stack
    // (dsvd_inplace_small); dsvd_inplace, which takes its workspace from the heap on every call,
    // is timed beside it.
    const auto* work =
        new SPolyviewSvdWork{m, n, dmatrix(1, m, 1, n), dmatrix(1, n, 1, n), dvector(1, n)};
    const auto rebuilt = [work](const std::vector<double>& input, bool ok) {
        const auto u = [work](int i, int k) { return work->a[i + 1][k + 1]; };
        const auto v = [work](int j, int k) { return work->v[j + 1][k + 1]; };
        return ok &&
               RebuildError(input, work->m, work->n, u, work->w + 1, v) < kDecompositionTolerance;
    };
    const auto load = [work](const std::vector<double>& input) {
        for (int i = 1; i <= work->m; ++i) {
            for (int j = 1; j <= work->n; ++j) {
                work->a[i][j] = input[(i - 1) * work->n + (j - 1)];
            }
        }
    };
    Register(
        name + "polyview",
        inputs,
        [work, load](const std::vector<double>& input) {
            load(input);
            return dsvd_inplace_small(work->a, work->m, work->n, work->w, work->v);
        },
        rebuilt);
    Register(
        name + "polyview, heap workspace",
        inputs,
        [work, load](const std::vector<double>& input) {
            load(input);
            return dsvd_inplace(work->a, work->m, work->n, work->w, work->v);
        },
        rebuilt);

    using Fixed = Eigen::Matrix<double, kRows, kCols, Eigen::RowMajor>;
    if (m <= 4) {
        Register(
            name + "eigen JacobiSVD",
            inputs,
            [](const std::vector<double>& input) {
                return Eigen::JacobiSVD<Fixed>(Eigen::Map<const Fixed>(input.data()),
                                               Eigen::ComputeFullU | Eigen::ComputeFullV);
            },
            [](const std::vector<double>& input, const Eigen::JacobiSVD<Fixed>& svd) {
                return RebuildError(
                           input, m, n, svd.matrixU(), svd.singularValues(), svd.matrixV()) <
                       kDecompositionTolerance;
            });
    } else {
        // Thin U needs a dynamic matrix type.
        using Dynamic = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
        Register(
            name + "eigen JacobiSVD",
            inputs,
            [](const std::vector<double>& input) {
                return Eigen::JacobiSVD<Eigen::MatrixXd>(
                    Eigen::Map<const Dynamic>(input.data(), kRows, kCols),
                    Eigen::ComputeThinU | Eigen::ComputeThinV);
            },
            [](const std::vector<double>& input, const Eigen::JacobiSVD<Eigen::MatrixXd>& svd) {
                return RebuildError(
                           input, m, n, svd.matrixU(), svd.singularValues(), svd.matrixV()) <
                       kDecompositionTolerance;
            });
    }

    struct SOpenCvSvd {
        cv::Mat w;
        cv::Mat u;
        cv::Mat vt;
    };
    auto* outputs = new SOpenCvSvd();  // kept between calls, as a caller's Mats would be
    Register(
        name + "opencv",
        inputs,
        [outputs](const std::vector<double>& input) {
            const cv::Mat a(m, n, CV_64F, const_cast<double*>(input.data()));
            cv::SVD::compute(a, outputs->w, outputs->u, outputs->vt);
            return outputs->w.rows;
        },
        [outputs](const std::vector<double>& input, int) {
            const auto u = [outputs](int i, int k) { return outputs->u.template at<double>(i, k); };
            const auto v = [outputs](int j, int k) {
                return outputs->vt.template at<double>(k, j);
            };
            return RebuildError(input, m, n, u, outputs->w.template ptr<double>(0), v) <
                   kDecompositionTolerance;
        });
}

template <int kOrder>
void RegisterSymmetricEigen() {
    constexpr int n = kOrder;
    const std::string name = "symmetric eigen " + std::to_string(n) + "x" + std::to_string(n) + "/";
    const auto* inputs = new std::vector<std::vector<double>>(
        compare::Matrices(n, n, true, 600u + static_cast<unsigned>(n)));
    struct SPolyviewEigen {
        bool ok;
        double values[kOrder];
        double vectors[kOrder * kOrder];
    };
    const auto exactPairs = [](const std::vector<double>& a, const SPolyviewEigen& answer) {
        const auto v = [&answer](int i, int k) { return answer.vectors[i * n + k]; };
        return answer.ok && EigenResidual(a, n, answer.values, v) < kDecompositionTolerance;
    };
    // The stack-workspace form that the fits use, and dsymeig_sorted with heap workspace.
    Register(
        name + "polyview",
        inputs,
        [](const std::vector<double>& a) {
            SPolyviewEigen answer;
            answer.ok = dsymeig_sorted_small(a.data(), n, answer.values, answer.vectors);
            return answer;
        },
        exactPairs);
    Register(
        name + "polyview, heap workspace",
        inputs,
        [](const std::vector<double>& a) {
            SPolyviewEigen answer;
            answer.ok = dsymeig_sorted(a.data(), n, answer.values, answer.vectors);
            return answer;
        },
        exactPairs);
    using Fixed = Eigen::Matrix<double, kOrder, kOrder>;
    using Solver = Eigen::SelfAdjointEigenSolver<Fixed>;
    const auto exact = [](const std::vector<double>& a, const Solver& solver) {
        return EigenResidual(a, n, solver.eigenvalues(), solver.eigenvectors()) <
               kDecompositionTolerance;
    };
    Register(
        name + "eigen compute",
        inputs,
        [](const std::vector<double>& a) { return Solver(Eigen::Map<const Fixed>(a.data())); },
        exact);
    Register(
        name + "eigen computeDirect",
        inputs,
        [](const std::vector<double>& a) {
            Solver solver;
            solver.computeDirect(Eigen::Map<const Fixed>(a.data()));
            return solver;
        },
        exact);
}

// ---------------------------------------------------------------------------------------------
// Clipping a line to the image, and the epipolar line of a point.

using Segment = Eigen::Vector4d;  // x1, y1, x2, y2

bool SegmentOnLine(const compare::SClipScene& scene, const Segment& segment, double tolerance) {
    for (int end = 0; end < 2; ++end) {
        const double x = segment(2 * end);
        const double y = segment(2 * end + 1);
        if (!(std::fabs(scene.abc[0] * x + scene.abc[1] * y + scene.abc[2]) <= tolerance) ||
            x < -tolerance || y < -tolerance || x > compare::kImageWidth + tolerance ||
            y > compare::kImageHeight + tolerance) {
            return false;
        }
    }
    // Spans the image: at least one end on the border.
    return std::hypot(segment(2) - segment(0), segment(3) - segment(1)) > 100.0;
}

void RegisterClipping() {
    const auto* scenes = new std::vector<compare::SClipScene>(compare::ClipScenes(700u));
    Register(
        "line clipping/polyview",
        scenes,
        [](const compare::SClipScene& scene) {
            C2DLine line;
            line.SetLineParams(scene.abc);
            const C2DLineSegment segment =
                line.GetLineSegment(0.0, 0.0, compare::kImageWidth, compare::kImageHeight);
            C2DCoordinate start;
            C2DCoordinate end;
            segment.GetEndPoints(start, end);
            return Segment(start.GetData(0), start.GetData(1), end.GetData(0), end.GetData(1));
        },
        [](const compare::SClipScene& scene, const Segment& segment) {
            return SegmentOnLine(scene, segment, 1e-6);
        });
    // OpenCV clips segments with integer end points: two far points of the line, then clipLine.
    Register(
        "line clipping/opencv",
        scenes,
        [](const compare::SClipScene& scene) {
            const double a = scene.abc[0];
            const double b = scene.abc[1];
            const double c = scene.abc[2];
            const double squared = a * a + b * b;
            const double x0 = -a * c / squared;
            const double y0 = -b * c / squared;
            const double reach = 4096.0 / std::sqrt(squared);
            cv::Point p1(cvRound(x0 - b * reach), cvRound(y0 + a * reach));
            cv::Point p2(cvRound(x0 + b * reach), cvRound(y0 - a * reach));
            if (!cv::clipLine(cv::Size(static_cast<int>(compare::kImageWidth),
                                       static_cast<int>(compare::kImageHeight)),
                              p1,
                              p2)) {
                return Segment(Segment::Constant(NAN));
            }
            return Segment(p1.x, p1.y, p2.x, p2.y);
        },
        [](const compare::SClipScene& scene, const Segment& segment) {
            return SegmentOnLine(scene, segment, 2.0);  // integer end points
        });
}

void RegisterEpipolar() {
    const auto* scenes = new std::vector<compare::SEpipolarScene>(compare::EpipolarScenes(800u));
    const auto throughFirst = [](const compare::SEpipolarScene& scene, const Line2& line) {
        const double length = std::hypot(line(0), line(1));
        return line.allFinite() && length > 0.0 &&
               std::fabs(line(0) * scene.first.GetData(0) + line(1) * scene.first.GetData(1) +
                         line(2)) /
                       length <
                   1e-6;
    };
    Register(
        "epipolar line/polyview",
        scenes,
        [](const compare::SEpipolarScene& scene) {
            CEpipolarLine line;
            line.Create(scene.fundamental, scene.second);
            double abc[3];
            line.GetLineParams(abc);
            return Line2(abc[0], abc[1], abc[2]);
        },
        throughFirst);
    // OpenCV's convention is x2^T F x1 = 0; with ours transposed, image 1 of OpenCV is our second.
    Register(
        "epipolar line/opencv",
        scenes,
        [](const compare::SEpipolarScene& scene) {
            cv::Matx33d f;
            for (int i = 0; i < 9; ++i) {
                f(i / 3, i % 3) = scene.fundamental.GetData(i / 3, i % 3);
            }
            double point[2] = {scene.second.GetData(0), scene.second.GetData(1)};
            const cv::Mat points(1, 1, CV_64FC2, point);
            thread_local cv::Mat lines;  // output storage kept between calls
            cv::computeCorrespondEpilines(points, 1, f, lines);
            const cv::Vec3d line = lines.at<cv::Vec3d>(0);
            return Line2(line[0], line[1], line[2]);
        },
        throughFirst);
}

// ---------------------------------------------------------------------------------------------
// B-spline sampling (the peer is timed by bspline_scipy.py) and the cylinder (no peer).

void RegisterBSpline() {
    const auto* scenes = new std::vector<C1DArray<C2DCoordinate>>(1, compare::StrokePoints());
    auto* samples = new C1DArray<C2DCoordinate>();  // the caller's sample array, kept
    samples->SetSize(1000);
    Register(
        "B-spline 100 points to 1000 samples/polyview",
        scenes,
        [samples](const C1DArray<C2DCoordinate>& points) {
            return C2DBSpline::GetSamplePoint(points, 0.0, *samples, true);
        },
        [samples](const C1DArray<C2DCoordinate>& points, EErrorType error) {
            // Every picked point within a pixel of its nearest sample.
            double farthest = 0.0;
            for (int i = 0; i < points.GetSize(); ++i) {
                double nearest = INFINITY;
                for (int j = 0; j < samples->GetSize(); ++j) {
                    nearest = std::fmin(nearest, ((*samples)[j] - points[i]).GetNorm());
                }
                farthest = std::fmax(farthest, nearest);
            }
            return error == NoError && farthest < 1.0;
        });
}

struct SCylinderAnswer {
    Eigen::Vector3d direction;
    double radius;
};

bool CylinderNearTruth(const compare::SCylinderScene& scene, const SCylinderAnswer& answer) {
    const Eigen::Vector3d direction(scene.known.direction.GetData(0),
                                    scene.known.direction.GetData(1),
                                    scene.known.direction.GetData(2));
    return answer.direction.allFinite() && std::fabs(answer.direction.dot(direction)) > 0.995 &&
           std::fabs(answer.radius - scene.known.radius) < 0.05;
}

void RegisterCylinders() {
    for (int images : {2, 4, 10}) {
        const std::string name = "cylinder " + std::to_string(images) + " images/";
        const auto* scenes = new std::vector<compare::SCylinderScene>(
            compare::CylinderScenes(images, 900u + static_cast<unsigned>(images)));
        for (bool fullFit : {true, false}) {
            Register(
                name + (fullFit ? "polyview tangent planes" : "polyview centre lines"),
                scenes,
                [fullFit](const compare::SCylinderScene& scene) {
                    C3DCylinder cylinder;
                    if (!cylinder.CreateFromImageCylinder(scene.records, fullFit)) {
                        return SCylinderAnswer{Eigen::Vector3d::Constant(NAN), NAN};
                    }
                    const C3DVector& v = cylinder.GetAxis().GetVVector();
                    return SCylinderAnswer{
                        Eigen::Vector3d(v.GetData(0), v.GetData(1), v.GetData(2)),
                        cylinder.GetRadius()};
                },
                CylinderNearTruth);
        }
    }
    const auto* scenes = new std::vector<compare::SCylinderScene>(compare::CylinderScenes(4, 950u));
    Register(
        "cylinder reprojection/polyview",
        scenes,
        [](const compare::SCylinderScene& scene) {
            const C3DCylinder& cylinder = scene.cylinder;
            C2DLineSegment centre;
            C2DLineSegment edges[2];
            C2DCoordinate observed[4];
            scene.records[0].edgeSegment[0].GetEndPoints(observed[0], observed[1]);
            scene.records[0].edgeSegment[1].GetEndPoints(observed[2], observed[3]);
            double distances[4];
            double maxDistance = NAN;
            if (!cylinder.Reproject(scene.records[0].cameraParam,
                                    centre,
                                    edges,
                                    observed,
                                    distances,
                                    &maxDistance)) {
                return static_cast<double>(NAN);
            }
            return maxDistance;
        },
        [](const compare::SCylinderScene&, const double& maxDistance) {
            return maxDistance < 5.0;  // pixels, from 1 pixel of noise
        });
}

// ---------------------------------------------------------------------------------------------
// Floors: the parts of an algorithm that no implementation of it can leave out, timed alone on
// the same inputs, for the cases whose targets the algorithm itself rules out.

const auto kNoCheck = [](const auto&, const auto&) { return true; };

// The line's frame as the solver hands it back: its rotation vector, rebuilt into the matrix whose
// rows are the line's U and V.
double FrameRoundTrip() {
    const double frame[9] = {0.36, 0.48, -0.8, -0.8, 0.6, 0.0, 0.48, 0.64, 0.6};
    double r[3];
    drotmat2vec_exact(frame, r);
    const CRotateMatrix rebuilt = CRotateVector(C3DVector(r)).GetRotateMatrix();
    return rebuilt.GetData(0, 0);
}

void RegisterFloors() {
    for (int views : {2}) {
        const auto* scenes = new std::vector<compare::SPointScene>(
            compare::PointScenes(views, 100u + static_cast<unsigned>(views)));
        // The normal matrix of each scene as the triangulation sums it (sum of I - M_k, M_k the
        // projector onto ray k), for its conditioning test and inverse.
        auto* normals = new std::vector<std::array<double, 9>>();
        for (const compare::SPointScene& scene : *scenes) {
            std::array<double, 9> normal{};
            for (size_t i = 0; i < scene.cameras.size(); ++i) {
                const compare::SPlainCamera& c = scene.cameras[i];
                const Eigen::Map<const RowMatrix3> r(c.r);
                const Eigen::Vector3d ray(
                    (scene.image[2 * i] - c.cx) / c.f, (scene.image[2 * i + 1] - c.cy) / c.f, 1.0);
                const Eigen::Matrix3d along =
                    r.transpose() * (ray * ray.transpose() / ray.squaredNorm()) * r;
                for (int k = 0; k < 9; ++k) {
                    normal[k] += (k % 4 == 0 ? 1.0 : 0.0) - along(k / 3, k % 3);
                }
            }
            normals->push_back(normal);
        }
        Register(
            "point " + std::to_string(views) +
                " views/polyview floor: the conditioning bounds and the 3x3 inverse",
            scenes,
            [scenes, normals](const compare::SPointScene& scene) {
                const std::array<double, 9>& normal =
                    (*normals)[static_cast<size_t>(&scene - scenes->data())];
                double inverse[9];
                dinvert_lu_small(normal.data(), 3, inverse);
                return dray_conditioning_bound(normal.data()) + inverse[4];
            },
            kNoCheck);
    }
    for (int views : {2, 10}) {
        const auto* scenes = new std::vector<compare::SLineScene>(
            compare::LineScenes(views, 200u + static_cast<unsigned>(views)));
        // The planes of each scene as the line solver stacks them: the unit normal of the plane
        // through the camera centre and the image line, in world axes, and its constant term.
        auto* planes = new std::vector<std::vector<double>>();  // 4 per observation
        for (const compare::SLineScene& scene : *scenes) {
            std::vector<double> stacked;
            for (int i = 0; i < scene.observations.GetSize(); ++i) {
                const compare::SPlainCamera c = compare::Plain(scene.observations[i].cameraParam);
                const double* l = &scene.lines[3 * static_cast<size_t>(i)];
                const Eigen::Vector3d normalInCam =
                    Eigen::Vector3d(l[0] * c.f, l[1] * c.f, l[0] * c.cx + l[1] * c.cy + l[2])
                        .normalized();
                const Eigen::Vector3d normal =
                    Eigen::Map<const RowMatrix3>(c.r).transpose() * normalInCam;
                stacked.insert(stacked.end(), normal.data(), normal.data() + 3);
                stacked.push_back(normalInCam.dot(Eigen::Map<const Eigen::Vector3d>(c.t)));
            }
            planes->push_back(stacked);
        }
        Register(
            "line " + std::to_string(views) +
                " views/polyview floor: the two SVDs (values and V) and the frame's round trip",
            scenes,
            [scenes, planes](const compare::SLineScene& scene) {
                const std::vector<double>& stacked =
                    (*planes)[static_cast<size_t>(&scene - scenes->data())];
                const int n = scene.observations.GetSize();
                double sum = 0.0;
                double stackData[11][5];  // 1-based rows and columns
                double* stack[11];
                for (int i = 0; i <= n; ++i) {
                    stack[i] = stackData[i];
                }
                for (int i = 0; i < n; ++i) {
                    for (int j = 0; j < 3; ++j) {
                        stack[i + 1][j + 1] = stacked[4 * static_cast<size_t>(i) + j];
                    }
                }
                double w[5];
                double vData[5][5];
                double* v[5] = {vData[0], vData[1], vData[2], vData[3], vData[4]};
                dsvd_right_small(stack, n, 3, w, v);
                for (int i = 0; i < n; ++i) {
                    for (int j = 0; j < 4; ++j) {
                        stack[i + 1][j + 1] = stacked[4 * static_cast<size_t>(i) + j];
                    }
                }
                dsvd_right_small(stack, n, 4, w, v);
                return sum + w[4] + FrameRoundTrip();
            },
            kNoCheck);
    }
    for (int count : {100, 1000}) {
        const auto* scenes = new std::vector<compare::SLineFitScene>(
            compare::LineFitScenes(count, 300u + static_cast<unsigned>(count)));
        Register(
            "2D line fit " + std::to_string(count) +
                " points/polyview floor: the two summation passes in point order",
            scenes,
            [](const compare::SLineFitScene& scene) {
                const C1DArray<C2DCoordinate>& points = scene.points;
                const int n = points.GetSize();
                double sumX = 0.0;
                double sumY = 0.0;
                for (int i = 0; i < n; ++i) {
                    sumX += points[i].GetData(0);
                    sumY += points[i].GetData(1);
                }
                const double mx = sumX / n;
                const double my = sumY / n;
                double sxx = 0.0;
                double sxy = 0.0;
                double syy = 0.0;
                for (int i = 0; i < n; ++i) {
                    const double dx = points[i].GetData(0) - mx;
                    const double dy = points[i].GetData(1) - my;
                    sxx += dx * dx;
                    sxy += dx * dy;
                    syy += dy * dy;
                }
                return sxx + sxy + syy;
            },
            kNoCheck);
    }
    {
        const auto* scenes = new std::vector<compare::SPlaneScene>(compare::PlaneScenes(10, 410u));
        Register(
            "plane fit 10 points/polyview floor: the 3x3 eigen decomposition",
            scenes,
            [](const compare::SPlaneScene& scene) {
                // The scatter matrix is symmetric positive semi-definite; a fixed-order 3 x 3 one
                // from the points stands in (its forming is not part of the floor).
                double scatter[9] = {};
                for (int i = 0; i < scene.points.GetSize(); ++i) {
                    for (int k = 0; k < 9; ++k) {
                        scatter[k] +=
                            scene.points[i].GetData(k / 3) * scene.points[i].GetData(k % 3);
                    }
                }
                double values[3];
                double vectors[9];
                dsymeig_sorted(scatter, 3, values, vectors);
                return values[0] + vectors[0];
            },
            kNoCheck);
    }
    {
        // The implicit QL iteration on the tridiagonal form of each input (its dependent chain of
        // shifts and rotations), with the eigenvector matrix it must rotate along.
        const auto* inputs =
            new std::vector<std::vector<double>>(compare::Matrices(3, 3, true, 603u));
        auto* reduced = new std::vector<std::array<double, 8>>();  // d[1..3], e[1..3] (1-based)
        for (const std::vector<double>& a : *inputs) {
            double zData[4][4];
            double* z[4] = {zData[0], zData[1], zData[2], zData[3]};
            for (int k = 0; k < 9; ++k) {
                z[k / 3 + 1][k % 3 + 1] = a[static_cast<size_t>(k)];
            }
            std::array<double, 8> de{};
            dtridiag(z, 3, de.data(), de.data() + 4);
            reduced->push_back(de);
        }
        Register(
            "symmetric eigen 3x3/polyview floor: the QL iteration alone",
            inputs,
            [inputs, reduced](const std::vector<double>& a) {
                std::array<double, 8> de = (*reduced)[static_cast<size_t>(&a - inputs->data())];
                double zData[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
                double* z[4] = {zData[0], zData[1], zData[2], zData[3]};
                dtridiag_ql(de.data(), de.data() + 4, 3, z);
                return de[1] + z[1][1];
            },
            kNoCheck);
    }
    {
        const auto* inputs =
            new std::vector<std::vector<double>>(compare::Matrices(3, 3, false, 533u));
        Register(
            "SVD 3x3/polyview floor: singular values only (the rotation chain)",
            inputs,
            [](const std::vector<double>& input) {
                double copyData[4][4];
                double* copy[4] = {copyData[0], copyData[1], copyData[2], copyData[3]};
                for (int k = 0; k < 9; ++k) {
                    copy[k / 3 + 1][k % 3 + 1] = input[static_cast<size_t>(k)];
                }
                double values[4];
                dsvd_values_small(copy, 3, 3, values);
                return values[1];
            },
            kNoCheck);
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterPoints();
    RegisterBatch();
    RegisterLines();
    RegisterLineFits();
    RegisterPlanes();
    RegisterSvd<3, 3>();
    RegisterSvd<2, 4>();
    RegisterSvd<10, 4>();
    RegisterSymmetricEigen<2>();
    RegisterSymmetricEigen<3>();
    RegisterClipping();
    RegisterEpipolar();
    RegisterBSpline();
    RegisterCylinders();
    RegisterFloors();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
