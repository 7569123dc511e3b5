// Writes the demo scene examples/scenes/pipe_rack.json: five calibrated cameras around a small
// pipe rack (two posts, a front and a back beam, a pipe lying across the beams, bolt heads and
// floor markers) and the picks a person would make in the images. Every pick is the exact
// projection of the ground truth plus Gaussian noise of 0.5 px per coordinate from a fixed seed,
// so the file is the same on every run. Standard library only.
//
//   pipe_rack_scene [OUTPUT.json]      (standard output without an argument)

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<double, 9>;  // row-major

struct Pixel {
    double x;
    double y;
};

constexpr double kPi = 3.14159265358979323846;
constexpr double kNoise = 0.5;  // px, standard deviation of each picked coordinate
constexpr int kWidth = 4032;    // 12 megapixels
constexpr int kHeight = 3024;

Vec3 Add(const Vec3& a, const Vec3& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
Vec3 Sub(const Vec3& a, const Vec3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
Vec3 Scale(const Vec3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
double Dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec3 Unit(const Vec3& a) {
    return Scale(a, 1.0 / std::sqrt(Dot(a, a)));
}
Vec3 Apply(const Mat3& m, const Vec3& v) {
    return {m[0] * v[0] + m[1] * v[1] + m[2] * v[2],
            m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
            m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
}

// The rotation of a rotation vector (Rodrigues' formula).
Mat3 RotationFromVector(const Vec3& r) {
    const double angle = std::sqrt(Dot(r, r));
    if (angle == 0.0) {
        return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    }
    const Vec3 k = Scale(r, 1.0 / angle);
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    return {t * k[0] * k[0] + c,
            t * k[0] * k[1] - s * k[2],
            t * k[0] * k[2] + s * k[1],
            t * k[0] * k[1] + s * k[2],
            t * k[1] * k[1] + c,
            t * k[1] * k[2] - s * k[0],
            t * k[0] * k[2] - s * k[1],
            t * k[1] * k[2] + s * k[0],
            t * k[2] * k[2] + c};
}

// The rotation vector of a rotation, through its unit quaternion (no trouble near 0 or pi).
Vec3 VectorFromRotation(const Mat3& m) {
    const double w = 0.5 * std::sqrt(std::max(0.0, 1.0 + m[0] + m[4] + m[8]));
    double x = 0.5 * std::sqrt(std::max(0.0, 1.0 + m[0] - m[4] - m[8]));
    double y = 0.5 * std::sqrt(std::max(0.0, 1.0 - m[0] + m[4] - m[8]));
    double z = 0.5 * std::sqrt(std::max(0.0, 1.0 - m[0] - m[4] + m[8]));
    x = std::copysign(x, m[7] - m[5]);
    y = std::copysign(y, m[2] - m[6]);
    z = std::copysign(z, m[3] - m[1]);
    const double s = std::sqrt(x * x + y * y + z * z);
    if (s == 0.0) {
        return {0, 0, 0};
    }
    const double angle = 2.0 * std::atan2(s, w);
    return {x / s * angle, y / s * angle, z / s * angle};
}

// Gaussian noise by the Box-Muller transform on raw 32-bit draws, so that the sequence does not
// depend on the standard library's distributions.
class Noise {
  public:
    explicit Noise(std::uint32_t seed) : m_engine(seed) {}
    double Next() {
        const double u1 = (static_cast<double>(m_engine()) + 0.5) / 4294967296.0;
        const double u2 = (static_cast<double>(m_engine()) + 0.5) / 4294967296.0;
        return kNoise * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
    }
    // A uniform draw in [0, 1).
    double Uniform() { return static_cast<double>(m_engine()) / 4294967296.0; }

  private:
    std::mt19937 m_engine;
};

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s == "-0" || s.find_first_not_of("-0.") == std::string::npos) {
        s = s.substr(s[0] == '-' ? 1 : 0);  // no negative zero in the file
    }
    return s;
}

double Round(double value, int decimals) {
    return std::stod(Fixed(value, decimals));
}

std::string Array(const Vec3& v, int decimals) {
    return "[" + Fixed(v[0], decimals) + ", " + Fixed(v[1], decimals) + ", " +
           Fixed(v[2], decimals) + "]";
}

std::string PixelText(const Pixel& p) {
    return "[" + Fixed(p.x, 2) + ", " + Fixed(p.y, 2) + "]";
}

struct Camera {
    std::string id;
    Vec3 centre;
    double focalLength;
    Pixel principal;
    bool matrixForm;  // written as a 3 x 3 matrix rather than a rotation vector
    // As written in the file (rounded), and used for every projection below.
    Mat3 rotation;
    Vec3 translation;
    Vec3 rotationVector;

    Camera(const std::string& name,
           const Vec3& at,
           const Vec3& target,
           double f,
           Pixel pp,
           bool matrix)
        : id(name), centre(at), focalLength(f), principal(pp), matrixForm(matrix) {
        // Optical axis towards the target, image x to the right, image y down.
        const Vec3 forward = Unit(Sub(target, at));
        const Vec3 right = Unit(Cross(forward, {0, 0, 1}));
        const Vec3 down = Cross(forward, right);
        const Mat3 exact = {right[0],
                            right[1],
                            right[2],
                            down[0],
                            down[1],
                            down[2],
                            forward[0],
                            forward[1],
                            forward[2]};
        if (matrixForm) {
            for (int i = 0; i < 9; ++i) {
                rotation[i] = Round(exact[i], 10);
            }
        } else {
            rotationVector = VectorFromRotation(exact);
            for (double& value : rotationVector) {
                value = Round(value, 10);
            }
            rotation = RotationFromVector(rotationVector);
        }
        const Vec3 t = Scale(Apply(rotation, at), -1.0);
        translation = {Round(t[0], 6), Round(t[1], 6), Round(t[2], 6)};
    }

    Vec3 Centre() const {
        // -R^T T with the written values.
        Vec3 c{};
        for (int col = 0; col < 3; ++col) {
            c[col] = -(rotation[col] * translation[0] + rotation[3 + col] * translation[1] +
                       rotation[6 + col] * translation[2]);
        }
        return c;
    }

    // The exact image of a world point; none when it is not in front or not inside the image.
    std::optional<Pixel> Project(const Vec3& world) const {
        const Vec3 p = Add(Apply(rotation, world), translation);
        if (p[2] <= 0.0) {
            return std::nullopt;
        }
        const Pixel image{focalLength * p[0] / p[2] + principal.x,
                          focalLength * p[1] / p[2] + principal.y};
        const double margin = 2.0;  // picks stay clear of the border, noise included
        if (image.x < margin || image.y < margin || image.x > kWidth - margin ||
            image.y > kHeight - margin) {
            return std::nullopt;
        }
        return image;
    }

    // Whether the side of a surface with outward normal n through x faces the camera.
    bool Sees(const Vec3& x, const Vec3& n) const { return Dot(Sub(Centre(), x), n) > 0.0; }
};

class Writer {
  public:
    Writer(std::vector<Camera> cameras, std::uint32_t seed)
        : m_cameras(std::move(cameras)), m_noise(seed) {}

    std::string Text() const { return m_out.str(); }

    void Begin() {
        m_out << "{\n"
              << "  \"title\": \"Pipe rack: five cameras, a pipe, a beam edge, a post edge, bolt "
                 "heads, the floor and a cable\",\n"
              << "  \"comment\": \"Generated by examples/pipe_rack_scene.cc: picks are the "
                 "projections of the truth plus 0.5 px Gaussian noise (fixed seed).\",\n"
              << "  \"units\": \"m\",\n"
              << "  \"cameras\": [\n";
        for (std::size_t i = 0; i < m_cameras.size(); ++i) {
            const Camera& c = m_cameras[i];
            m_out << "    {\"id\": \"" << c.id
                  << "\", \"focal_length\": " << Fixed(c.focalLength, 1)
                  << ", \"principal_point\": " << PixelText(c.principal)
                  << ", \"width\": " << kWidth << ", \"height\": " << kHeight
                  << ",\n     \"rotation\": ";
            if (c.matrixForm) {
                m_out << "[" << Array({c.rotation[0], c.rotation[1], c.rotation[2]}, 10) << ",\n"
                      << "                  "
                      << Array({c.rotation[3], c.rotation[4], c.rotation[5]}, 10) << ",\n"
                      << "                  "
                      << Array({c.rotation[6], c.rotation[7], c.rotation[8]}, 10) << "]";
            } else {
                m_out << Array(c.rotationVector, 10);
            }
            m_out << ",\n     \"translation\": " << Array(c.translation, 6) << "}"
                  << (i + 1 < m_cameras.size() ? "," : "") << "\n";
        }
        m_out << "  ],\n  \"shapes\": [\n";
    }

    void End() { m_out << "\n  ]\n}\n"; }

    // A point on a surface with outward normal n, picked where that surface faces the camera.
    void Point(const std::string& name, const Vec3& x, const Vec3& n) {
        std::vector<std::string> picks;
        for (const Camera& c : m_cameras) {
            const auto image = c.Project(x);
            if (image && c.Sees(x, n)) {
                picks.push_back("\"" + c.id + "\": " + PixelText(Noisy(*image)));
            }
        }
        Shape(name, "point", picks, "", "{\"point\": " + Array(x, 4) + "}");
    }

    // A segment from a to b on the edge of two faces with normals n1 and n2, picked end to end
    // (or, for a line, a stretch between the fractions from and to, varied per camera).
    void Segment(const std::string& name,
                 const std::string& kind,
                 const Vec3& a,
                 const Vec3& b,
                 const Vec3& n1,
                 const Vec3& n2,
                 const std::string& truth) {
        std::vector<std::string> picks;
        for (const Camera& c : m_cameras) {
            if (!c.Sees(a, n1) && !c.Sees(a, n2)) {
                continue;
            }
            double from = 0.0;
            double to = 1.0;
            if (kind == "line") {
                from = 0.1 + 0.25 * m_noise.Uniform();
                to = 0.65 + 0.25 * m_noise.Uniform();
            }
            const auto p = c.Project(Add(a, Scale(Sub(b, a), from)));
            const auto q = c.Project(Add(a, Scale(Sub(b, a), to)));
            if (p && q) {
                // One statement per draw: the order of operands is not fixed within one.
                const Pixel start = Noisy(*p);
                const Pixel end = Noisy(*q);
                picks.push_back("\"" + c.id + "\": [" + PixelText(start) + ", " + PixelText(end) +
                                "]");
            }
        }
        Shape(name, kind, picks, "", truth);
    }

    // The silhouette edges of the cylinder from a to b with radius r: in each image the two
    // generators along which viewing rays graze the surface, from the start circle to the end
    // circle. Cameras listed in oneEdge pick only one of them, run so that the pipe lies on its
    // left as seen on screen (the direction a single edge needs).
    void Cylinder(const std::string& name,
                  const Vec3& a,
                  const Vec3& b,
                  double r,
                  const std::vector<std::string>& oneEdge) {
        const Vec3 axis = Unit(Sub(b, a));
        std::vector<std::string> picks;
        for (const Camera& c : m_cameras) {
            const Vec3 w = Sub(c.Centre(), a);
            const Vec3 across = Sub(w, Scale(axis, Dot(w, axis)));
            const double s = std::sqrt(Dot(across, across));
            const Vec3 u = Scale(across, 1.0 / s);
            const Vec3 v = Cross(axis, u);
            const double along = r * r / s;
            const double side = r * std::sqrt(1.0 - (r / s) * (r / s));
            std::vector<std::pair<Pixel, Pixel>> edges;
            for (const double sign : {1.0, -1.0}) {
                const Vec3 offset = Add(Scale(u, along), Scale(v, sign * side));
                const auto p = c.Project(Add(a, offset));
                const auto q = c.Project(Add(b, offset));
                if (p && q) {
                    edges.push_back({*p, *q});
                }
            }
            if (edges.size() != 2) {
                continue;
            }
            bool single = false;
            for (const std::string& id : oneEdge) {
                single = single || id == c.id;
            }
            if (!single) {
                const std::string first = EdgeText(edges[0]);
                const std::string second = EdgeText(edges[1]);
                picks.push_back("\"" + c.id + "\": [" + first + ", " + second + "]");
                continue;
            }
            // The image of the axis lies on the left of (p -> q) when the normal (dy, -dx)
            // points towards it.
            auto edge = edges[0];
            const auto middle = c.Project(Scale(Add(a, b), 0.5));
            const double dx = edge.second.x - edge.first.x;
            const double dy = edge.second.y - edge.first.y;
            if (middle && dy * (middle->x - edge.first.x) - dx * (middle->y - edge.first.y) < 0.0) {
                std::swap(edge.first, edge.second);
            }
            picks.push_back("\"" + c.id + "\": [" + EdgeText(edge) + ", null]");
        }
        Shape(name,
              "cylinder",
              picks,
              "\"method\": \"tangent-planes\",\n",
              "{\"start\": " + Array(a, 4) + ", \"end\": " + Array(b, 4) +
                  ", \"radius\": " + Fixed(r, 4) + "}");
    }

    void Plane(const std::string& name,
               const std::vector<std::string>& points,
               const std::string& truth) {
        std::string list;
        for (const std::string& point : points) {
            list += (list.empty() ? "" : ", ") + std::string("\"") + point + "\"";
        }
        Separator();
        m_out << "    {\"name\": \"" << name << "\", \"kind\": \"plane\",\n"
              << "     \"points\": [" << list << "],\n"
              << "     \"truth\": " << truth << "}";
    }

    // A curve on the floor picked in one camera at uneven steps; its truth is the exact image,
    // densely sampled.
    void Curve(const std::string& name,
               const std::string& cameraId,
               Vec3 (*curve)(double),
               int pickCount) {
        const Camera* camera = nullptr;
        for (const Camera& c : m_cameras) {
            camera = c.id == cameraId ? &c : camera;
        }
        std::vector<Pixel> picks;
        double t = 0.0;
        for (int i = 0; i < pickCount; ++i) {
            const auto image = camera->Project(curve(t));
            if (image) {
                picks.push_back(Noisy(*image));
            }
            t = std::min(1.0, t + (0.7 + 0.6 * m_noise.Uniform()) / (pickCount - 1));
            if (i == pickCount - 2) {
                t = 1.0;
            }
        }
        std::vector<Pixel> truth;
        double length = 0.0;
        for (int i = 0; i <= 240; ++i) {
            const auto image = camera->Project(curve(i / 240.0));
            if (image) {
                if (!truth.empty()) {
                    length += std::hypot(image->x - truth.back().x, image->y - truth.back().y);
                }
                truth.push_back(*image);
            }
        }
        // Two thirds as many control points as picks: the approximation uses
        // (length / interval) / 2 of them.
        const double interval = std::round(length / (pickCount * 4.0 / 3.0));
        Separator();
        m_out << "    {\"name\": \"" << name
              << "\", \"kind\": \"curve\", \"mode\": \"approximate\", "
              << "\"interval\": " << Fixed(interval, 0) << ", \"samples\": 100,\n"
              << "     \"picks\": {\"" << cameraId << "\": " << PixelList(picks, "       ")
              << "},\n"
              << "     \"truth\": {\"image_points\": " << PixelList(truth, "       ") << "}}";
    }

  private:
    Pixel Noisy(const Pixel& p) {
        const double dx = m_noise.Next();
        const double dy = m_noise.Next();
        return {p.x + dx, p.y + dy};
    }

    std::string EdgeText(const std::pair<Pixel, Pixel>& edge) {
        const Pixel start = Noisy(edge.first);
        const Pixel end = Noisy(edge.second);
        return "[" + PixelText(start) + ", " + PixelText(end) + "]";
    }

    static std::string PixelList(const std::vector<Pixel>& points, const std::string& indent) {
        std::string text = "[";
        for (std::size_t i = 0; i < points.size(); ++i) {
            if (i > 0) {
                text += (i % 6 == 0) ? ",\n" + indent : ", ";
            }
            text += PixelText(points[i]);
        }
        return text + "]";
    }

    void Separator() {
        if (m_shapes++ > 0) {
            m_out << ",\n";
        }
    }

    void Shape(const std::string& name,
               const std::string& kind,
               const std::vector<std::string>& picks,
               const std::string& extra,
               const std::string& truth) {
        Separator();
        m_out << "    {\"name\": \"" << name << "\", \"kind\": \"" << kind << "\",\n";
        if (!extra.empty()) {
            m_out << "     " << extra;
        }
        m_out << "     \"picks\": {";
        for (std::size_t i = 0; i < picks.size(); ++i) {
            m_out << (i == 0 ? "" : ",\n               ") << picks[i];
        }
        m_out << "},\n     \"truth\": " << truth << "}";
    }

    std::vector<Camera> m_cameras;
    Noise m_noise;
    std::ostringstream m_out;
    int m_shapes = 0;
};

// A cable lying on the floor in front of the rack, swinging left and right.
Vec3 Cable(double t) {
    return {0.2 + 2.0 * t, -1.75 + 0.15 * std::sin(2.0 * kPi * t), 0.0};
}

}  // namespace

int main(int argc, char** argv) {
    const Vec3 target{1.2, 0.0, 1.1};
    std::vector<Camera> cameras = {
        // No camera looks along the pipe or the beam (each sees both at 40 degrees or more).
        Camera("sw_low", {-2.9, -3.5, 2.4}, target, 3540.0, {2013.5, 1516.2}, false),
        Camera("sw_high", {-1.5, -4.7, 4.6}, target, 3562.0, {2020.0, 1509.5}, true),
        Camera("se", {5.4, -3.75, 1.9}, target, 3531.0, {2017.0, 1512.8}, false),
        Camera("ne", {5.1, 3.55, 3.4}, target, 3556.0, {2019.2, 1511.0}, true),
        Camera("nw", {-2.6, 3.2, 1.8}, target, 3548.0, {2016.8, 1513.4}, false),
    };
    Writer writer(cameras, 20240611u);
    writer.Begin();
    // The front beam: x from -0.1 to 2.5, y from -1.1 to -0.9, z from 1.8 to 2.0; posts below its
    // ends; a back beam at y from 0.9 to 1.1.
    writer.Point("bolt_left", {0.3, -1.1, 1.9}, {0, -1, 0});
    writer.Point("bolt_right", {2.1, -1.1, 1.9}, {0, -1, 0});
    // The base plate bolt hides behind the left post from the north-east.
    writer.Point("bolt_base", {-0.15, -1.2, 0.03}, {-0.5, -0.5, 1.0});
    writer.Segment("beam_edge",
                   "segment",
                   {-0.1, -1.1, 2.0},
                   {2.5, -1.1, 2.0},
                   {0, -1, 0},
                   {0, 0, 1},
                   "{\"start\": [-0.1000, -1.1000, 2.0000], \"end\": [2.5000, -1.1000, 2.0000]}");
    writer.Segment("post_edge",
                   "line",
                   {-0.1, -1.1, 0.0},
                   {-0.1, -1.1, 1.8},
                   {0, -1, 0},
                   {-1, 0, 0},
                   "{\"point\": [-0.1000, -1.1000, 0.0000], \"direction\": [0, 0, 1]}");
    // A 219 mm pipe resting on both beams.
    writer.Cylinder("pipe", {1.25, -1.6, 2.1095}, {1.25, 1.6, 2.1095}, 0.1095, {"ne"});
    writer.Point("floor_a", {-0.6, -1.9, 0.0}, {0, 0, 1});
    writer.Point("floor_b", {3.0, -1.9, 0.0}, {0, 0, 1});
    writer.Point("floor_c", {3.0, 1.8, 0.0}, {0, 0, 1});
    writer.Point("floor_d", {-0.6, 1.8, 0.0}, {0, 0, 1});
    writer.Plane("floor",
                 {"floor_a", "floor_b", "floor_c", "floor_d"},
                 "{\"point\": [0, 0, 0], \"normal\": [0, 0, 1]}");
    writer.Curve("cable", "sw_high", Cable, 24);
    writer.End();

    if (argc > 1) {
        std::ofstream out(argv[1], std::ios::binary);
        out << writer.Text();
        if (!out.flush()) {
            std::cerr << "pipe_rack_scene: cannot write " << argv[1] << "\n";
            return 1;
        }
    } else {
        std::cout << writer.Text();
    }
    return 0;
}
