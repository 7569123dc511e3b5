#include "polyview/lens/lens_model.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kHalfPi = 1.57079632679489661923;

// Newton's method on the full 2D map stops after this many steps; it needs a handful from its
// radial start. A residual or a step this small relative to the point ends it earlier (about 4.5
// ulps).
constexpr int kNewtonIterations = 40;
constexpr double kNewtonResidual = 1e-15;
constexpr double kNewtonStep = 1e-15;
// The safeguarded 1D solve of the radial start: bisection alone needs about 1100 halvings to go
// from the largest double to the smallest; Newton usually ends it in a few.
constexpr int kRadialIterations = 1200;
// Undistort's promise: |Distort(result) - observed| <= max(kPixelTolerance, kRelativeTolerance *
// the pixel's magnitude), so that a camera with huge pixel coordinates is not refused for rounding.
constexpr double kPixelTolerance = 1e-9;
constexpr double kRelativeTolerance = 1e-14;
// The fold scan: s = rho^2 grows by this factor per sample (finer when the range asks for fewer
// than kScanSamples samples), from a bound below every root to one above every root, but not
// beyond kScanCap (rho = 1e15): there the map is not used.
constexpr double kScanRatio = 1.0005;
constexpr int kScanSamples = 40000;
constexpr double kScanCap = 1e30;
// A pixel whose distorted radius exceeds the fold image by this relative margin has no preimage;
// the margin keeps the pixel of a point at the limit itself inside.
constexpr double kFoldImageMargin = 1e-9;

const char* const kOpenCVNames[14] = {
    "k1", "k2", "p1", "p2", "k3", "k4", "k5", "k6", "s1", "s2", "s3", "s4", "tau_x", "tau_y"};

// A COLMAP camera model: its parameter names in COLMAP's order; the first one or two are focal
// lengths, then cx cy, then the distortion.
struct SColmapModel {
    const char* name;
    const char* params;
    CLensModel::EKind kind;
};

const SColmapModel kColmapModels[] = {
    {"SIMPLE_PINHOLE", "f cx cy", CLensModel::EKind::kPinhole},
    {"PINHOLE", "fx fy cx cy", CLensModel::EKind::kPinhole},
    {"SIMPLE_RADIAL", "f cx cy k", CLensModel::EKind::kRadialTangential},
    {"RADIAL", "f cx cy k1 k2", CLensModel::EKind::kRadialTangential},
    {"OPENCV", "fx fy cx cy k1 k2 p1 p2", CLensModel::EKind::kRadialTangential},
    {"OPENCV_FISHEYE", "fx fy cx cy k1 k2 k3 k4", CLensModel::EKind::kFisheye},
    {"FULL_OPENCV", "fx fy cx cy k1 k2 p1 p2 k3 k4 k5 k6", CLensModel::EKind::kRadialTangential},
    {"SIMPLE_RADIAL_FISHEYE", "f cx cy k", CLensModel::EKind::kFisheye},
    {"RADIAL_FISHEYE", "f cx cy k1 k2", CLensModel::EKind::kFisheye},
    {"THIN_PRISM_FISHEYE",
     "fx fy cx cy k1 k2 p1 p2 k3 k4 sx1 sy1",
     CLensModel::EKind::kThinPrismFisheye},
};

const SColmapModel* FindColmap(const std::string& name) {
    for (const SColmapModel& model : kColmapModels) {
        if (name == model.name) {
            return &model;
        }
    }
    return nullptr;
}

std::vector<std::string> Words(const char* text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// Whether the model takes fx and fy rather than one f.
bool TakesTwoFocals(const SColmapModel& model) {
    return Words(model.params)[1] == "fy";
}

std::string Text(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// The camera matrix's checks; empty when it is sound.
std::string CheckIntrinsics(double fx, double fy, double skew, double cx, double cy) {
    const double values[5] = {fx, fy, skew, cx, cy};
    const char* const names[5] = {"fx", "fy", "skew", "cx", "cy"};
    for (int i = 0; i < 5; ++i) {
        if (!std::isfinite(values[i])) {
            return std::string(names[i]) + " is not finite";
        }
    }
    if (!(fx > 0.0)) {
        return "fx must be positive, not " + Text(fx);
    }
    if (!(fy > 0.0)) {
        return "fy must be positive, not " + Text(fy);
    }
    return std::string();
}

// c[0] + c[1] s + ... + c[degree] s^degree.
double Polynomial(const double* c, int degree, double s) {
    double value = c[degree];
    for (int i = degree - 1; i >= 0; --i) {
        value = value * s + c[i];
    }
    return value;
}

// The index of the last non-zero coefficient, 0 when only c[0] is left.
int Degree(const double* c, int degree) {
    while (degree > 0 && c[degree] == 0.0) {
        --degree;
    }
    return degree;
}

// Cauchy's bound: every root s of c has |s| <= 1 + max |c[i] / c[degree]|; 0 for a constant.
double UpperRootBound(const double* c, int degree) {
    degree = Degree(c, degree);
    if (degree == 0) {
        return 0.0;
    }
    double largest = 0.0;
    for (int i = 0; i < degree; ++i) {
        largest = std::max(largest, std::fabs(c[i] / c[degree]));
    }
    return 1.0 + largest;
}

// The radial map rho -> rho R(rho^2), R = N / D, increases while P(s) = N D + 2 s (N' D - N D')
// and D stay positive (d rho_d / d rho = P / D^2). Returns the largest s below their first positive
// root: the samples s_k of a geometric scan find the first one where P or D is not positive (or not
// finite), and bisection narrows [s_(k-1), s_k] to adjacent doubles. +inf when neither has a root
// up to the scan's end and the scan covered every root; cap when it could not.
double FoldLimitSquared(const double* numerator, const double* denominator, double cap) {
    const double n[5] = {1.0, numerator[0], numerator[1], numerator[2], numerator[3]};
    const double d[4] = {1.0, denominator[0], denominator[1], denominator[2]};
    double p[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            p[i + j] += (1.0 + 2.0 * i - 2.0 * j) * n[i] * d[j];  // s^(i+j) of N D + 2s(N'D - ND')
        }
    }
    // Cauchy's bound for the reciprocal polynomials: no root of P or D (constant terms 1) lies
    // below 1 / (1 + the largest other coefficient).
    double largest = 0.0;
    for (int i = 1; i < 8; ++i) {
        largest = std::max(largest, std::fabs(p[i]));
    }
    for (int i = 1; i < 4; ++i) {
        largest = std::max(largest, std::fabs(d[i]));
    }
    const double upper = std::max(UpperRootBound(p, 7), UpperRootBound(d, 3));
    if (upper == 0.0) {
        return kInfinity;  // P and D are constant: the map never turns
    }
    double lower = 1.0 / (1.0 + largest);
    if (!(lower >= std::numeric_limits<double>::min())) {
        lower = std::numeric_limits<double>::min();  // coefficients near the double range
    }
    const double end = std::min(upper, cap);
    const auto increasing = [&p, &d](double s) {
        return Polynomial(p, 7, s) > 0.0 && Polynomial(d, 3, s) > 0.0;  // false for NaN too
    };
    const double ratio =
        std::max(kScanRatio, std::pow(end / lower, 1.0 / static_cast<double>(kScanSamples)));
    double below = 0.0;  // the map increases on [0, below]
    for (double s = std::min(lower, end); below < end; s = std::min(s * ratio, end)) {
        if (!increasing(s)) {
            double above = s;
            for (;;) {
                const double middle = below + (above - below) / 2.0;
                if (middle <= below || middle >= above) {
                    return below;
                }
                (increasing(middle) ? below : above) = middle;
            }
        }
        below = s;
    }
    return upper <= cap ? kInfinity : cap;
}

// 3 x 3 row-major homography of (x, y, 1); false when the third component is not positive.
bool ApplyHomography(const double* h, double& x, double& y) {
    const double w = h[6] * x + h[7] * y + h[8];
    if (!(w > 0.0)) {
        return false;
    }
    const double inverse = 1.0 / w;
    const double hx = h[0] * x + h[1] * y + h[2];
    const double hy = h[3] * x + h[4] * y + h[5];
    x = inverse * hx;
    y = inverse * hy;
    return true;
}

// a = b c for row-major 3 x 3 matrices.
void Multiply(const double* b, const double* c, double* a) {
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            a[3 * row + col] =
                b[3 * row] * c[col] + b[3 * row + 1] * c[3 + col] + b[3 * row + 2] * c[6 + col];
        }
    }
}

}  // namespace

CLensModel::CLensModel()
    : m_kind(EKind::kNone),
      m_fx(1.0),
      m_fy(1.0),
      m_skew(0.0),
      m_cx(0.0),
      m_cy(0.0),
      m_numerator{0.0, 0.0, 0.0, 0.0},
      m_denominator{0.0, 0.0, 0.0},
      m_tangential{0.0, 0.0},
      m_prism{0.0, 0.0, 0.0, 0.0},
      m_tiltAngles{0.0, 0.0},
      m_tilt{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0},
      m_untilt{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0},
      m_tilted(false),
      m_foldLimit(kInfinity),
      m_foldImage(kInfinity) {}

CLensModel::CLensModel(const CLensModel& other) = default;
CLensModel& CLensModel::operator=(const CLensModel& other) = default;
CLensModel::~CLensModel() = default;

bool CLensModel::CreatePinhole(
    double fx, double fy, double skew, double cx, double cy, CLensModel& model) {
    std::string reason;
    return CreatePinhole(fx, fy, skew, cx, cy, model, reason);
}

bool CLensModel::CreatePinhole(double fx,
                               double fy,
                               double skew,
                               double cx,
                               double cy,
                               CLensModel& model,
                               std::string& reason) {
    return CreateOpenCV(fx, fy, skew, cx, cy, nullptr, 0, model, reason);
}

bool CLensModel::CreateOpenCV(double fx,
                              double fy,
                              double skew,
                              double cx,
                              double cy,
                              const double* coefficients,
                              int count,
                              CLensModel& model) {
    std::string reason;
    return CreateOpenCV(fx, fy, skew, cx, cy, coefficients, count, model, reason);
}

bool CLensModel::CreateOpenCV(double fx,
                              double fy,
                              double skew,
                              double cx,
                              double cy,
                              const double* coefficients,
                              int count,
                              CLensModel& model,
                              std::string& reason) {
    if (count != 0 && count != 4 && count != 5 && count != 8 && count != 12 && count != 14) {
        reason =
            "OpenCV takes 4, 5, 8, 12 or 14 distortion coefficients, not " + std::to_string(count);
        return false;
    }
    if (count > 0 && coefficients == nullptr) {
        reason = "no distortion coefficients given";
        return false;
    }
    std::string fault = CheckIntrinsics(fx, fy, skew, cx, cy);
    for (int i = 0; i < count && fault.empty(); ++i) {
        if (!std::isfinite(coefficients[i])) {
            fault =
                "coefficient " + std::to_string(i + 1) + " (" + kOpenCVNames[i] + ") is not finite";
        } else if (i >= 12 && !(std::fabs(coefficients[i]) < kHalfPi)) {
            fault = std::string(kOpenCVNames[i]) + " must lie within (-pi/2, pi/2), not " +
                    Text(coefficients[i]);
        }
    }
    if (!fault.empty()) {
        reason = fault;
        return false;
    }
    CLensModel made;
    made.m_kind = count == 0 ? EKind::kPinhole : EKind::kRadialTangential;
    made.m_fx = fx;
    made.m_fy = fy;
    made.m_skew = skew;
    made.m_cx = cx;
    made.m_cy = cy;
    made.m_coefficients.assign(coefficients, coefficients + count);
    double all[14] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::copy(coefficients, coefficients + count, all);
    const double numerator[4] = {all[0], all[1], all[4], 0.0};
    std::copy(numerator, numerator + 4, made.m_numerator);
    std::copy(all + 5, all + 8, made.m_denominator);
    std::copy(all + 2, all + 4, made.m_tangential);
    std::copy(all + 8, all + 12, made.m_prism);
    std::copy(all + 12, all + 14, made.m_tiltAngles);
    made.Prepare();
    model = made;
    return true;
}

bool CLensModel::CreateOpenCVFisheye(
    double fx, double fy, double skew, double cx, double cy, const double* k, CLensModel& model) {
    std::string reason;
    return CreateOpenCVFisheye(fx, fy, skew, cx, cy, k, model, reason);
}

bool CLensModel::CreateOpenCVFisheye(double fx,
                                     double fy,
                                     double skew,
                                     double cx,
                                     double cy,
                                     const double* k,
                                     CLensModel& model,
                                     std::string& reason) {
    if (k == nullptr) {
        reason = "no distortion coefficients given";
        return false;
    }
    std::string fault = CheckIntrinsics(fx, fy, skew, cx, cy);
    for (int i = 0; i < 4 && fault.empty(); ++i) {
        if (!std::isfinite(k[i])) {
            fault = "coefficient " + std::to_string(i + 1) + " (k" + std::to_string(i + 1) +
                    ") is not finite";
        }
    }
    if (!fault.empty()) {
        reason = fault;
        return false;
    }
    CLensModel made;
    made.m_kind = EKind::kFisheye;
    made.m_fx = fx;
    made.m_fy = fy;
    made.m_skew = skew;
    made.m_cx = cx;
    made.m_cy = cy;
    made.m_coefficients.assign(k, k + 4);
    std::copy(k, k + 4, made.m_numerator);
    made.Prepare();
    model = made;
    return true;
}

bool CLensModel::CreateColmap(const std::string& name,
                              const std::vector<double>& params,
                              CLensModel& model,
                              std::string& reason) {
    const SColmapModel* found = FindColmap(name);
    if (found == nullptr) {
        reason = "unknown camera model " + name;
        return false;
    }
    const std::vector<std::string> names = Words(found->params);
    if (params.size() != names.size()) {
        reason = name + " takes " + std::to_string(names.size()) + " parameters, not " +
                 std::to_string(params.size());
        return false;
    }
    const int focals = TakesTwoFocals(*found) ? 2 : 1;
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string which = "parameter " + std::to_string(i + 1) + " (" + names[i] + ")";
        if (!std::isfinite(params[i])) {
            reason = which + " is not finite";
            return false;
        }
        if (static_cast<int>(i) < focals && !(params[i] > 0.0)) {
            reason = which + " must be positive, not " + Text(params[i]);
            return false;
        }
    }
    const double fx = params[0];
    const double fy = params[focals - 1];
    const double* extra = params.data() + focals + 2;
    const int extras = static_cast<int>(params.size()) - focals - 2;
    double k[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};  // the extras in COLMAP's order
    std::copy(extra, extra + extras, k);
    CLensModel made;
    made.m_kind = found->kind;
    made.m_fx = fx;
    made.m_fy = fy;
    made.m_cx = params[focals];
    made.m_cy = params[focals + 1];
    made.m_coefficients.assign(extra, extra + extras);
    made.m_colmapName = name;
    if (found->kind == EKind::kRadialTangential) {  // k1 k2 p1 p2 k3 k4 k5 k6, as OpenCV's
        const double numerator[4] = {k[0], k[1], k[4], 0.0};
        std::copy(numerator, numerator + 4, made.m_numerator);
        std::copy(k + 5, k + 8, made.m_denominator);
        std::copy(k + 2, k + 4, made.m_tangential);
    } else if (found->kind == EKind::kFisheye) {  // k1 k2 k3 k4
        std::copy(k, k + 4, made.m_numerator);
    } else if (found->kind == EKind::kThinPrismFisheye) {  // k1 k2 p1 p2 k3 k4 sx1 sy1
        const double numerator[4] = {k[0], k[1], k[4], k[5]};
        std::copy(numerator, numerator + 4, made.m_numerator);
        std::copy(k + 2, k + 4, made.m_tangential);
        made.m_prism[0] = k[6];
        made.m_prism[2] = k[7];
    }
    made.Prepare();
    model = made;
    return true;
}

bool CLensModel::GetColmap(std::string& name, std::vector<double>& params) const {
    std::string chosen = m_colmapName;
    std::vector<double> extra = m_coefficients;
    if (chosen.empty()) {
        if (m_kind == EKind::kNone || m_kind == EKind::kThinPrismFisheye || m_skew != 0.0 ||
            m_tilted || m_prism[0] != 0.0 || m_prism[1] != 0.0 || m_prism[2] != 0.0 ||
            m_prism[3] != 0.0) {
            return false;
        }
        const double* a = m_numerator;
        const double* b = m_denominator;
        const bool square = m_fx == m_fy;
        const bool flat = m_tangential[0] == 0.0 && m_tangential[1] == 0.0;
        if (m_kind == EKind::kPinhole) {
            chosen = square ? "SIMPLE_PINHOLE" : "PINHOLE";
        } else if (m_kind == EKind::kFisheye) {
            const bool twoTerms = a[2] == 0.0 && a[3] == 0.0;
            if (square && twoTerms) {
                chosen = a[1] == 0.0 ? "SIMPLE_RADIAL_FISHEYE" : "RADIAL_FISHEYE";
                extra.assign(a, a + (a[1] == 0.0 ? 1 : 2));
            } else {
                chosen = "OPENCV_FISHEYE";
                extra.assign(a, a + 4);
            }
        } else {
            const bool twoTerms = a[2] == 0.0 && b[0] == 0.0 && b[1] == 0.0 && b[2] == 0.0;
            if (square && twoTerms && flat) {
                chosen = a[1] == 0.0 ? "SIMPLE_RADIAL" : "RADIAL";
                extra.assign(a, a + (a[1] == 0.0 ? 1 : 2));
            } else {
                chosen = twoTerms ? "OPENCV" : "FULL_OPENCV";
                extra = {a[0], a[1], m_tangential[0], m_tangential[1]};
                if (!twoTerms) {
                    extra.insert(extra.end(), {a[2], b[0], b[1], b[2]});
                }
            }
        }
    }
    std::vector<double> made = TakesTwoFocals(*FindColmap(chosen))
                                   ? std::vector<double>{m_fx, m_fy, m_cx, m_cy}
                                   : std::vector<double>{m_fx, m_cx, m_cy};
    made.insert(made.end(), extra.begin(), extra.end());
    name = chosen;
    params = made;
    return true;
}

void CLensModel::GetIntrinsics(double& fx, double& fy, double& skew, double& cx, double& cy) const {
    fx = m_fx;
    fy = m_fy;
    skew = m_skew;
    cx = m_cx;
    cy = m_cy;
}

bool CLensModel::IsSquarePinhole() const {
    const bool undistorted =
        m_kind == EKind::kPinhole ||
        (m_kind == EKind::kRadialTangential &&
         std::all_of(
             m_coefficients.begin(), m_coefficients.end(), [](double c) { return c == 0.0; }));
    return undistorted && m_fx == m_fy && m_skew == 0.0;
}

double CLensModel::GetFoldRadius() const {
    if (!IsFisheye()) {
        return m_foldLimit;
    }
    return m_foldLimit < kHalfPi ? std::tan(m_foldLimit) : kInfinity;
}

bool CLensModel::IsFisheye() const {
    return m_kind == EKind::kFisheye || m_kind == EKind::kThinPrismFisheye;
}

// OpenCV's tilted sensor: R = R_y(tau_y) R_x(tau_x), then the projection back onto the plane
// z = 1 along the tilted axis, [[R22, 0, -R02], [0, R22, -R12], [0, 0, 1]] R; its inverse is
// R^T [[1/R22, 0, R02/R22], [0, 1/R22, R12/R22], [0, 0, 1]].
void CLensModel::Prepare() {
    m_tilted = m_tiltAngles[0] != 0.0 || m_tiltAngles[1] != 0.0;
    if (m_tilted) {
        const double cx = std::cos(m_tiltAngles[0]);
        const double sx = std::sin(m_tiltAngles[0]);
        const double cy = std::cos(m_tiltAngles[1]);
        const double sy = std::sin(m_tiltAngles[1]);
        // clang-format off
        const double rotX[9] = {1.0, 0.0, 0.0,
                                0.0,  cx,  sx,
                                0.0, -sx,  cx};
        const double rotY[9] = { cy, 0.0, -sy,
                                0.0, 1.0, 0.0,
                                 sy, 0.0,  cy};
        // clang-format on
        double r[9];
        Multiply(rotY, rotX, r);
        // clang-format off
        const double project[9] = {r[8],  0.0, -r[2],
                                    0.0, r[8], -r[5],
                                    0.0,  0.0,   1.0};
        const double inverse = 1.0 / r[8];
        const double unproject[9] = {inverse,     0.0, inverse * r[2],
                                         0.0, inverse, inverse * r[5],
                                         0.0,     0.0,            1.0};
        const double transposed[9] = {r[0], r[3], r[6],
                                      r[1], r[4], r[7],
                                      r[2], r[5], r[8]};
        // clang-format on
        Multiply(project, r, m_tilt);
        Multiply(transposed, unproject, m_untilt);
    }
    if (m_kind == EKind::kNone || m_kind == EKind::kPinhole) {
        m_foldLimit = kInfinity;
        m_foldImage = kInfinity;
        return;
    }
    // The fisheye kinds see theta = atan(r) < pi/2 only.
    const double cap = IsFisheye() ? kHalfPi * kHalfPi : kScanCap;
    const double limitSquared = FoldLimitSquared(m_numerator, m_denominator, cap);
    m_foldLimit = IsFisheye() && limitSquared >= cap ? kHalfPi : std::sqrt(limitSquared);
    if (!std::isfinite(m_foldLimit)) {
        m_foldImage = kInfinity;
        return;
    }
    // The tangential and thin prism terms move a point at rho <= limit by at most this much:
    // |2 p1 u v + p2 (s + 2 u^2)| <= (|p1| + 3 |p2|) s, |s1 s + s2 s^2| and so on.
    const double s = m_foldLimit * m_foldLimit;
    const double p1 = std::fabs(m_tangential[0]);
    const double p2 = std::fabs(m_tangential[1]);
    const double offX =
        (p1 + 3.0 * p2) * s + std::fabs(m_prism[0]) * s + std::fabs(m_prism[1]) * s * s;
    const double offY =
        (3.0 * p1 + p2) * s + std::fabs(m_prism[2]) * s + std::fabs(m_prism[3]) * s * s;
    m_foldImage =
        (RadialImage(m_foldLimit, nullptr) + std::hypot(offX, offY)) * (1.0 + kFoldImageMargin);
}

double CLensModel::RadialImage(double rho, double* derivative) const {
    const double s = rho * rho;
    const double* a = m_numerator;
    const double* b = m_denominator;
    const double numerator = 1.0 + s * (a[0] + s * (a[1] + s * (a[2] + s * a[3])));
    const double denominator = 1.0 + s * (b[0] + s * (b[1] + s * b[2]));
    const double factor = numerator / denominator;
    if (derivative != nullptr) {
        const double dNumerator = a[0] + s * (2.0 * a[1] + s * (3.0 * a[2] + s * 4.0 * a[3]));
        const double dDenominator = b[0] + s * (2.0 * b[1] + s * 3.0 * b[2]);
        const double dFactor =
            (dNumerator * denominator - numerator * dDenominator) / (denominator * denominator);
        *derivative = factor + 2.0 * s * dFactor;
    }
    return rho * factor;
}

// Safeguarded Newton's method on [0, limit], where the radial map increases: a Newton step that
// leaves the bracket is replaced by bisection.
double CLensModel::RadialInverse(double target) const {
    double low = 0.0;
    double high = m_foldLimit;
    if (!std::isfinite(high)) {
        high = std::max(target, 1.0);
        while (std::isfinite(high) && RadialImage(high, nullptr) < target) {
            high *= 2.0;
        }
        if (!std::isfinite(high)) {
            return std::numeric_limits<double>::max();
        }
    }
    if (!(RadialImage(high, nullptr) > target)) {
        return high;  // beyond the fold's image: the 2D step decides
    }
    double rho = std::min(target, high);
    for (int i = 0; i < kRadialIterations; ++i) {
        double slope = 0.0;
        const double value = RadialImage(rho, &slope) - target;
        if (value == 0.0) {
            return rho;
        }
        (value > 0.0 ? high : low) = rho;
        double next = rho - value / slope;
        if (!(next > low && next < high)) {
            next = low + (high - low) / 2.0;
        }
        if (next == rho || next <= low || next >= high) {
            return rho;
        }
        rho = next;
    }
    return rho;
}

void CLensModel::MapCore(double u, double v, double& xd, double& yd, double* jacobian) const {
    const double u2 = u * u;
    const double v2 = v * v;
    const double uv = u * v;
    const double s = u2 + v2;
    const double* a = m_numerator;
    const double* b = m_denominator;
    const double p1 = m_tangential[0];
    const double p2 = m_tangential[1];
    const double numerator = 1.0 + s * (a[0] + s * (a[1] + s * (a[2] + s * a[3])));
    const double denominator = 1.0 + s * (b[0] + s * (b[1] + s * b[2]));
    const double radial = numerator / denominator;
    xd = u * radial + 2.0 * p1 * uv + p2 * (s + 2.0 * u2) + m_prism[0] * s + m_prism[1] * s * s;
    yd = v * radial + p1 * (s + 2.0 * v2) + 2.0 * p2 * uv + m_prism[2] * s + m_prism[3] * s * s;
    if (jacobian == nullptr) {
        return;
    }
    const double dNumerator = a[0] + s * (2.0 * a[1] + s * (3.0 * a[2] + s * 4.0 * a[3]));
    const double dDenominator = b[0] + s * (2.0 * b[1] + s * 3.0 * b[2]);
    const double dRadial =
        (dNumerator * denominator - numerator * dDenominator) / (denominator * denominator);
    const double prismX = m_prism[0] + 2.0 * m_prism[1] * s;  // d(prism x) / ds
    const double prismY = m_prism[2] + 2.0 * m_prism[3] * s;
    jacobian[0] = radial + 2.0 * u2 * dRadial + 2.0 * p1 * v + 6.0 * p2 * u + 2.0 * u * prismX;
    jacobian[1] = 2.0 * uv * dRadial + 2.0 * p1 * u + 2.0 * p2 * v + 2.0 * v * prismX;
    jacobian[2] = 2.0 * uv * dRadial + 2.0 * p1 * u + 2.0 * p2 * v + 2.0 * u * prismY;
    jacobian[3] = radial + 2.0 * v2 * dRadial + 6.0 * p1 * v + 2.0 * p2 * u + 2.0 * v * prismY;
}

bool CLensModel::Distort(const C2DCoordinate& normalised, C2DCoordinate& observed) const {
    const double x = normalised.GetData(0);
    const double y = normalised.GetData(1);
    if (!std::isfinite(x) || !std::isfinite(y)) {
        return false;
    }
    double xd = x;
    double yd = y;
    if (m_kind != EKind::kNone && m_kind != EKind::kPinhole) {
        double u = x;
        double v = y;
        double rho = std::hypot(x, y);
        if (IsFisheye()) {
            // theta = atan(r) and the direction (x, y) / r, scaled so that r cannot overflow
            const double largest = std::max(std::fabs(x), std::fabs(y));
            if (largest > 0.0) {
                const double length = std::hypot(x / largest, y / largest);
                rho = std::atan(largest * length);
                u = x / largest / length * rho;
                v = y / largest / length * rho;
            }
        }
        if (!(rho <= m_foldLimit)) {
            return false;
        }
        double jacobian[4];
        MapCore(u, v, xd, yd, jacobian);
        if (!(jacobian[0] * jacobian[3] - jacobian[1] * jacobian[2] > 0.0)) {
            return false;  // folded, or not finite
        }
        if (m_tilted && !ApplyHomography(m_tilt, xd, yd)) {
            return false;
        }
    }
    const double px = m_fx * xd + m_skew * yd + m_cx;
    const double py = m_fy * yd + m_cy;
    if (!std::isfinite(px) || !std::isfinite(py)) {
        return false;
    }
    observed.SetVector(px, py);
    return true;
}

// The camera matrix and the tilt are inverted in closed form. The distortion is inverted by
// Newton's method on the full 2D map, started from the exact inverse of its radial part alone
// (which is the answer when there are no tangential or thin prism terms); the result is accepted
// when it lies within the fold limit and Distort takes it back to the pixel.
bool CLensModel::Undistort(const C2DCoordinate& observed, C2DCoordinate& normalised) const {
    const double px = observed.GetData(0);
    const double py = observed.GetData(1);
    if (!std::isfinite(px) || !std::isfinite(py)) {
        return false;
    }
    if (m_kind == EKind::kNone) {
        normalised.SetVector(px, py);
        return true;
    }
    double yd = (py - m_cy) / m_fy;
    double xd = (px - m_cx - m_skew * yd) / m_fx;
    if (m_kind == EKind::kPinhole) {
        if (!std::isfinite(xd) || !std::isfinite(yd)) {
            return false;
        }
        normalised.SetVector(xd, yd);
        return true;
    }
    if (m_tilted && !ApplyHomography(m_untilt, xd, yd)) {
        return false;
    }
    const double target = std::hypot(xd, yd);
    if (!(target <= m_foldImage)) {
        return false;  // beyond the image of the fold: no preimage where the map is one-to-one
    }
    const double rhoStart = RadialInverse(target);
    double u = target > 0.0 ? xd * (rhoStart / target) : 0.0;
    double v = target > 0.0 ? yd * (rhoStart / target) : 0.0;
    // Newton's method ends when the residual or the step is at rounding level, or at the cap;
    // whether it converged is judged by Distort below.
    const double size = std::fabs(xd) + std::fabs(yd);
    for (int i = 0; i < kNewtonIterations; ++i) {
        double gx = 0.0;
        double gy = 0.0;
        double j[4];
        MapCore(u, v, gx, gy, j);
        const double ex = gx - xd;
        const double ey = gy - yd;
        if (std::fabs(ex) + std::fabs(ey) <= kNewtonResidual * size) {
            break;
        }
        const double determinant = j[0] * j[3] - j[1] * j[2];
        if (!(determinant > 0.0)) {
            return false;  // folded, or not finite
        }
        const double du = (j[3] * ex - j[1] * ey) / determinant;
        const double dv = (j[0] * ey - j[2] * ex) / determinant;
        u -= du;
        v -= dv;
        if (std::fabs(du) + std::fabs(dv) <= kNewtonStep * (std::fabs(u) + std::fabs(v))) {
            break;
        }
    }
    const double rho = std::hypot(u, v);
    if (!(rho <= m_foldLimit) || (IsFisheye() && !(rho < kHalfPi))) {
        return false;  // beyond the fold, or not finite
    }
    const double scale = IsFisheye() && rho > 0.0 ? std::tan(rho) / rho : 1.0;
    const C2DCoordinate result(u * scale, v * scale);
    C2DCoordinate back;
    if (!Distort(result, back)) {
        return false;
    }
    const double tolerance =
        std::max(kPixelTolerance, kRelativeTolerance * std::max(std::fabs(px), std::fabs(py)));
    if (!(std::hypot(back.GetData(0) - px, back.GetData(1) - py) <= tolerance)) {
        return false;
    }
    normalised.SetVector(result.GetData(0), result.GetData(1));
    return true;
}
