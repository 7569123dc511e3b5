#pragma once

// Shared inputs of the comparison benchmarks: fixed-seed scenes of a 2 m object seen by cameras
// 5 to 20 m away (focal length 1000 to 3000 pixels, 1 pixel of noise), in the forms that
// Polyview and its peers (OpenCV, Eigen) take, with the truth each answer is checked against.

#include <cmath>
#include <random>
#include <vector>

#include "regression/scene_geometry.h"

#include "polyview/polyview.h"

namespace compare {

using scene::CameraCentre;
using scene::ExactRecord;
using scene::LookAtCamera;
using scene::MakeCylinder;
using scene::ProjectPoint;
using scene::SKnownCylinder;

constexpr int kSceneCount = 16;  // scenes per case, cycled through while timing
constexpr double kImageWidth = 1280.0;
constexpr double kImageHeight = 960.0;

// A camera in plain numbers: world point X maps to f (R X + t) / z + (cx, cy).
struct SPlainCamera {
    double r[9];  // row-major R
    double t[3];
    double f;
    double cx;
    double cy;
};

inline SPlainCamera Plain(const CCameraParam& camera) {
    SPlainCamera plain;
    camera.GetExtrinsicParam().GetRotateMatrix().GetMatrix(plain.r);
    camera.GetExtrinsicParam().GetTranslateVector().GetVector(plain.t);
    plain.f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    plain.cx = principal.GetData(0);
    plain.cy = principal.GetData(1);
    return plain;
}

// The 3 x 4 projection matrix K [R | t], row-major.
inline void ProjectionMatrix(const SPlainCamera& c, double* p) {
    const double k[9] = {c.f, 0.0, c.cx, 0.0, c.f, c.cy, 0.0, 0.0, 1.0};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 4; ++col) {
            double sum = 0.0;
            for (int m = 0; m < 3; ++m) {
                sum += k[3 * row + m] * (col < 3 ? c.r[3 * m + col] : c.t[m]);
            }
            p[4 * row + col] = sum;
        }
    }
}

class CSceneRandom {
  public:
    explicit CSceneRandom(unsigned seed) : m_generator(seed) {}
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(m_generator);
    }
    double Gauss(double sigma) { return std::normal_distribution<double>(0.0, sigma)(m_generator); }
    C3DVector InCube(double half) {
        const double x = Uniform(-half, half);
        const double y = Uniform(-half, half);
        const double z = Uniform(-half, half);
        return C3DVector(x, y, z);
    }
    C3DVector Direction() {
        for (;;) {
            const C3DVector v = InCube(1.0);
            const double length = v.GetNorm();
            if (length > 0.1 && length <= 1.0) {
                return v / length;
            }
        }
    }
    C2DVector Noise(double sigma) {
        const double x = Gauss(sigma);
        const double y = Gauss(sigma);
        return C2DVector(x, y);
    }
    // A camera 5 to 20 m from target along direction, looking near the target.
    CCameraParam Camera(const C3DVector& target, const C3DVector& direction) {
        const C3DVector centre = target + direction * Uniform(5.0, 20.0);
        const C3DVector aim = target + InCube(0.2);
        const double f = Uniform(1000.0, 3000.0);
        const double cx = Uniform(600.0, 680.0);
        const double cy = Uniform(440.0, 520.0);
        return LookAtCamera(centre, aim, f, cx, cy);
    }
    // count viewing directions, each at least minAngle (radians) from the earlier ones.
    std::vector<C3DVector> Directions(int count, double minAngle) {
        std::vector<C3DVector> directions;
        const double cosLimit = std::cos(minAngle);
        while (static_cast<int>(directions.size()) < count) {
            const C3DVector d = Direction();
            bool apart = true;
            for (const C3DVector& other : directions) {
                apart = apart && d.GetDotProduct(other) < cosLimit;
            }
            if (apart || count > 12) {
                directions.push_back(d);
            }
        }
        return directions;
    }

  private:
    std::mt19937_64 m_generator;
};

inline C2DCoordinate NoisyImage(CSceneRandom& random,
                                const CCameraParam& camera,
                                const C3DVector& point) {
    C2DCoordinate image = ProjectPoint(camera, point);
    image += random.Noise(1.0);
    return image;
}

// A point seen by n cameras.
struct SPointScene {
    C3DVector truth;
    C1DArray<SImagePoint> observations;
    std::vector<SPlainCamera> cameras;
    std::vector<double> projections;  // 12 per camera, K [R | t] row-major
    std::vector<double> image;        // 2 per camera
};

inline std::vector<SPointScene> PointScenes(int views, unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SPointScene> scenes(kSceneCount);
    for (SPointScene& scene : scenes) {
        scene.truth = random.InCube(1.0);
        scene.observations.SetSize(views);
        const std::vector<C3DVector> directions = random.Directions(views, 0.6);
        for (int i = 0; i < views; ++i) {
            const CCameraParam camera = random.Camera(C3DVector(0, 0, 0), directions[i]);
            const C2DCoordinate image = NoisyImage(random, camera, scene.truth);
            scene.observations[i].cameraParam = camera;
            scene.observations[i].imagePoint = image;
            scene.cameras.push_back(Plain(camera));
            double p[12];
            ProjectionMatrix(scene.cameras.back(), p);
            scene.projections.insert(scene.projections.end(), p, p + 12);
            scene.image.push_back(image.GetData(0));
            scene.image.push_back(image.GetData(1));
        }
    }
    return scenes;
}

// A 3D segment seen by n cameras; the picked end points lie a little inside the true ones.
struct SLineScene {
    C3DVector start;
    C3DVector end;
    C1DArray<SImageLine> observations;
    std::vector<double> projections;  // 12 per camera
    std::vector<double> lines;        // 3 per camera: a, b, c of the observed segment's line
};

inline std::vector<SLineScene> LineScenes(int views, unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SLineScene> scenes(kSceneCount);
    for (SLineScene& scene : scenes) {
        scene.start = random.InCube(1.0);
        const C3DVector heading = random.Direction();
        scene.end = scene.start + heading * random.Uniform(1.0, 2.0);
        const C3DVector middle = (scene.start + scene.end) * 0.5;
        scene.observations.SetSize(views);
        // Views well away from the line's direction, so that every image line is long.
        std::vector<C3DVector> directions;
        while (static_cast<int>(directions.size()) < views) {
            const C3DVector d = random.Direction();
            if (std::fabs(d.GetDotProduct(heading)) > 0.8) {
                continue;
            }
            // The viewing planes through the line at least 25 degrees apart (in the first few).
            const C3DVector plane = d.GetCrossProduct(heading).GetNormalizedVector();
            bool apart = true;
            for (const C3DVector& other : directions) {
                const C3DVector otherPlane = other.GetCrossProduct(heading).GetNormalizedVector();
                apart = apart && (std::fabs(plane.GetDotProduct(otherPlane)) < 0.9 || views > 6);
            }
            if (apart) {
                directions.push_back(d);
            }
        }
        for (int i = 0; i < views; ++i) {
            const CCameraParam camera = random.Camera(middle, directions[i]);
            const double s = random.Uniform(0.0, 0.1);
            const double e = random.Uniform(0.9, 1.0);
            const C2DCoordinate first =
                NoisyImage(random, camera, scene.start + (scene.end - scene.start) * s);
            const C2DCoordinate last =
                NoisyImage(random, camera, scene.start + (scene.end - scene.start) * e);
            scene.observations[i].cameraParam = camera;
            scene.observations[i].lineSegment.SetEndPoints(first, last);
            double p[12];
            ProjectionMatrix(Plain(camera), p);
            scene.projections.insert(scene.projections.end(), p, p + 12);
            double abc[3];
            scene.observations[i].lineSegment.GetLineParams(abc);
            scene.lines.insert(scene.lines.end(), abc, abc + 3);
        }
    }
    return scenes;
}

// Image points along a line, 1 pixel of noise across it.
struct SLineFitScene {
    double normal[2];  // unit normal of the true line
    double offset;     // the true line is normal . x + offset = 0
    C1DArray<C2DCoordinate> points;
    std::vector<double> xs;
    std::vector<double> ys;
};

inline std::vector<SLineFitScene> LineFitScenes(int count, unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SLineFitScene> scenes(kSceneCount);
    for (SLineFitScene& scene : scenes) {
        const double angle = random.Uniform(0.0, 3.14159);
        const double dx = std::cos(angle);
        const double dy = std::sin(angle);
        const double x0 = random.Uniform(400.0, 880.0);
        const double y0 = random.Uniform(300.0, 660.0);
        scene.normal[0] = -dy;
        scene.normal[1] = dx;
        scene.offset = -(scene.normal[0] * x0 + scene.normal[1] * y0);
        scene.points.SetSize(count);
        for (int i = 0; i < count; ++i) {
            const double t = random.Uniform(-300.0, 300.0);
            const double s = random.Gauss(1.0);
            const double x = x0 + t * dx + s * scene.normal[0];
            const double y = y0 + t * dy + s * scene.normal[1];
            scene.points[i].SetVector(x, y);
            scene.xs.push_back(x);
            scene.ys.push_back(y);
        }
    }
    return scenes;
}

// 3D points on a 2 m patch of a plane, 5 mm of noise across it.
struct SPlaneScene {
    C3DVector normal;
    C3DVector centre;
    C1DArray<C3DCoordinate> points;
    std::vector<double> coordinates;  // 3 per point
};

inline std::vector<SPlaneScene> PlaneScenes(int count, unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SPlaneScene> scenes(kSceneCount);
    for (SPlaneScene& scene : scenes) {
        scene.normal = random.Direction();
        const C3DVector e1 = scene.normal.GetCrossProduct(random.Direction()).GetNormalizedVector();
        const C3DVector e2 = scene.normal.GetCrossProduct(e1);
        scene.centre = random.InCube(1.0);
        scene.points.SetSize(count);
        for (int i = 0; i < count; ++i) {
            const double s = random.Uniform(-1.0, 1.0);
            const double t = random.Uniform(-1.0, 1.0);
            const double h = random.Gauss(0.005);
            const C3DVector point = scene.centre + e1 * s + e2 * t + scene.normal * h;
            scene.points[i] = point;
            scene.coordinates.push_back(point.GetData(0));
            scene.coordinates.push_back(point.GetData(1));
            scene.coordinates.push_back(point.GetData(2));
        }
    }
    return scenes;
}

// Dense random matrices (row-major), symmetric when asked.
inline std::vector<std::vector<double>> Matrices(int rows,
                                                 int cols,
                                                 bool symmetric,
                                                 unsigned seed) {
    CSceneRandom random(seed);
    std::vector<std::vector<double>> matrices(kSceneCount);
    for (std::vector<double>& m : matrices) {
        m.resize(static_cast<size_t>(rows * cols));
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < cols; ++j) {
                m[i * cols + j] = random.Uniform(-1.0, 1.0);
            }
        }
        if (symmetric) {
            for (int i = 0; i < rows; ++i) {
                for (int j = 0; j < i; ++j) {
                    m[j * cols + i] = m[i * cols + j];
                }
            }
        }
    }
    return matrices;
}

// Lines across the image, by a point inside it and an angle.
struct SClipScene {
    double abc[3];  // unit normal (a, b), c
    double point[2];
    double direction[2];
};

inline std::vector<SClipScene> ClipScenes(unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SClipScene> scenes(kSceneCount);
    for (SClipScene& scene : scenes) {
        const double angle = random.Uniform(0.0, 3.14159);
        scene.point[0] = random.Uniform(100.0, kImageWidth - 100.0);
        scene.point[1] = random.Uniform(100.0, kImageHeight - 100.0);
        scene.direction[0] = std::cos(angle);
        scene.direction[1] = std::sin(angle);
        scene.abc[0] = -scene.direction[1];
        scene.abc[1] = scene.direction[0];
        scene.abc[2] = -(scene.abc[0] * scene.point[0] + scene.abc[1] * scene.point[1]);
    }
    return scenes;
}

// Two cameras, a point of the second image and the true image of its world point in the first.
struct SEpipolarScene {
    CFundamentalMatrix fundamental;  // x1^T F x2 = 0
    C2DCoordinate second;            // the point in the second image
    C2DCoordinate first;             // where its world point images in the first
};

inline std::vector<SEpipolarScene> EpipolarScenes(unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SEpipolarScene> scenes(kSceneCount);
    for (SEpipolarScene& scene : scenes) {
        const std::vector<C3DVector> directions = random.Directions(2, 0.35);
        const CCameraParam camera1 = random.Camera(C3DVector(0, 0, 0), directions[0]);
        const CCameraParam camera2 = random.Camera(C3DVector(0, 0, 0), directions[1]);
        CExtrinsicParam relative;
        relative.SetDifferenceTwoExtrinsicParams(camera1.GetExtrinsicParam(),
                                                 camera2.GetExtrinsicParam());
        CEssentialMatrix(relative).CalcFundamentalMatrix(
            camera1.GetIntrinsicParam(), camera2.GetIntrinsicParam(), scene.fundamental);
        const C3DVector point = random.InCube(1.0);
        scene.first = ProjectPoint(camera1, point);
        scene.second = ProjectPoint(camera2, point);
    }
    return scenes;
}

// The picked stroke of the B-spline case: 100 points along a wavy curve, about 9 pixels apart.
// bspline_scipy.py builds the same points with the same formula.
inline C1DArray<C2DCoordinate> StrokePoints() {
    C1DArray<C2DCoordinate> points;
    points.SetSize(100);
    for (int j = 0; j < 100; ++j) {
        const double x = 100.0 + 9.0 * j + 3.0 * std::sin(0.37 * j);
        const double y = 480.0 + 150.0 * std::sin(0.05 * j) + 20.0 * std::cos(0.23 * j);
        points[j].SetVector(x, y);
    }
    return points;
}

// A cylinder seen by n cameras, both silhouette edges picked with 1 pixel of noise.
struct SCylinderScene {
    SKnownCylinder known;
    C3DCylinder cylinder;  // the true cylinder as a library object
    C1DArray<SImageCylinder> records;
};

inline std::vector<SCylinderScene> CylinderScenes(int images, unsigned seed) {
    CSceneRandom random(seed);
    std::vector<SCylinderScene> scenes(kSceneCount);
    for (SCylinderScene& scene : scenes) {
        SKnownCylinder& known = scene.known;
        known.base = random.InCube(0.3);
        known.direction = random.Direction();
        known.radius = random.Uniform(0.1, 0.3);
        known.start = random.Uniform(-1.0, -0.6);
        known.end = random.Uniform(0.6, 1.0);
        scene.cylinder = MakeCylinder(known);
        scene.records.SetSize(images);
        std::vector<C3DVector> directions;
        while (static_cast<int>(directions.size()) < images) {
            const C3DVector d = random.Direction();
            if (std::fabs(d.GetDotProduct(known.direction)) > 0.6) {
                continue;  // keep the line of sight well across the axis
            }
            bool apart = true;
            for (const C3DVector& other : directions) {
                apart = apart && d.GetDotProduct(other) < 0.94;
            }
            if (apart) {
                directions.push_back(d);
            }
        }
        for (int i = 0; i < images; ++i) {
            const CCameraParam camera = random.Camera(known.AxisPoint(0.0), directions[i]);
            scene.records[i] = ExactRecord(known, camera);
            for (C2DLineSegment& edge : scene.records[i].edgeSegment) {
                C2DCoordinate p0;
                C2DCoordinate p1;
                edge.GetEndPoints(p0, p1);
                p0 += random.Noise(1.0);
                p1 += random.Noise(1.0);
                edge.SetEndPoints(p0, p1);
            }
        }
    }
    return scenes;
}

}  // namespace compare
