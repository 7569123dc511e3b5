#include "polyview/lens/lens_model.h"

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/expect_geometry.h"

namespace {

struct SReferenceModel {
    const char* creator;  // opencv, fisheye or colmap
    const char* label;    // the COLMAP name for colmap
    int count;            // coefficients (opencv, fisheye) or parameters (colmap)
    double values[19];
};

struct SReferencePoint {
    int model;
    bool forward;  // normalised -> pixel, else pixel -> normalised
    double in[2];
    double out[2];
};

#include "lens/lens_reference.inc"

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
// The contract of Distort and Undistort against OpenCV: 1e-9 px. Normalised differences count in
// pixels of fx.
constexpr double kPixel = 1e-9;

bool Create(const SReferenceModel& m, CLensModel& model) {
    const std::string creator = m.creator;
    const double* v = m.values;
    std::string reason;
    if (creator == "colmap") {
        return CLensModel::CreateColmap(
            m.label, std::vector<double>(v, v + m.count), model, reason);
    }
    if (creator == "fisheye") {
        return CLensModel::CreateOpenCVFisheye(v[0], v[1], v[2], v[3], v[4], v + 5, model);
    }
    return CLensModel::CreateOpenCV(v[0], v[1], v[2], v[3], v[4], v + 5, m.count, model);
}

double Distance(const C2DCoordinate& a, const double* b) {
    return std::hypot(a.GetData(0) - b[0], a.GetData(1) - b[1]);
}

TEST(CLensModel, AgreesWithOpenCVAndColmapAndRoundTrips) {
    // OpenCV's models with skew, thin prism terms or tilt have no COLMAP form.
    const std::set<std::string> noColmap = {"five-skew", "thin-prism", "tilted", "fisheye-skew"};
    std::vector<CLensModel> models;
    std::vector<CLensModel> viaColmap;
    for (const SReferenceModel& m : kReferenceModels) {
        SCOPED_TRACE(m.label);
        CLensModel model;
        ASSERT_TRUE(Create(m, model));
        std::string name;
        std::vector<double> params;
        ASSERT_EQ(model.GetColmap(name, params), noColmap.count(m.label) == 0);
        if (std::string(m.creator) == "colmap") {  // given back as it came
            EXPECT_EQ(name, m.label);
            EXPECT_EQ(params, std::vector<double>(m.values, m.values + m.count));
        }
        CLensModel same;
        std::string reason;
        EXPECT_TRUE(name.empty() || CLensModel::CreateColmap(name, params, same, reason));
        models.push_back(model);
        viaColmap.push_back(name.empty() ? model : same);
    }
    for (const SReferencePoint& p : kReferencePoints) {
        SCOPED_TRACE(testing::Message() << kReferenceModels[p.model].label << " " << p.forward
                                        << " (" << p.in[0] << ", " << p.in[1] << ")");
        const CLensModel& model = models[p.model];
        double fx = 0.0, fy = 0.0, skew = 0.0, cx = 0.0, cy = 0.0;
        model.GetIntrinsics(fx, fy, skew, cx, cy);
        const C2DCoordinate in(p.in[0], p.in[1]);
        C2DCoordinate pixel;
        C2DCoordinate normalised;
        if (p.forward) {
            ASSERT_TRUE(model.Distort(in, pixel));
            EXPECT_LE(Distance(pixel, p.out), kPixel);
            ASSERT_TRUE(model.Undistort(pixel, normalised));
            EXPECT_LE(fx * Distance(normalised, p.in), kPixel);
            ASSERT_TRUE(viaColmap[p.model].Distort(in, pixel));
            EXPECT_LE(Distance(pixel, p.out), kPixel);
        } else {
            ASSERT_TRUE(model.Undistort(in, normalised));
            EXPECT_LE(fx * Distance(normalised, p.out), kPixel);
            ASSERT_TRUE(model.Distort(normalised, pixel));
            EXPECT_LE(Distance(pixel, p.in), kPixel);
        }
    }
}

// Fold radii worked by hand. SIMPLE_RADIAL: r (1 + k r^2) turns at r^2 = -1 / (3k), where it is
// 2/3 r. The rational 1 / (1 - r^2 / 2) runs to its pole at r^2 = 2 without turning. The fisheye
// theta (1 - 0.3 theta^2) turns at theta^2 = 1 / 0.9, where it is 2/3 theta. RADIAL with k1 > 0 and
// the fisheye with k = 0 never turn; the fisheye sees up to theta = pi/2.
TEST(CLensModel, RefusesBeyondTheFoldAndTakesTheInnerPreimage) {
    struct SCase {
        const char* name;
        std::vector<double> params;  // f or fx first, then cx = 500, cy = 400
        double fold;                 // normalised radius
        double edge;  // distorted normalised radius of the fold's image, 0 when unbounded
    };
    const double turn = 1.0 / std::sqrt(0.9);
    const SCase cases[] = {
        {"SIMPLE_RADIAL", {1000, 500, 400, -0.1}, 1.0 / std::sqrt(0.3), 2.0 / 3.0 / std::sqrt(0.3)},
        {"FULL_OPENCV", {1000, 1000, 500, 400, 0, 0, 0, 0, 0, -0.5, 0, 0}, std::sqrt(2.0), 0.0},
        {"RADIAL_FISHEYE", {400, 500, 400, -0.3, 0}, std::tan(turn), 2.0 / 3.0 * turn},
        {"RADIAL", {1000, 500, 400, 0.1, 0}, kInf, 0.0},
        {"SIMPLE_RADIAL_FISHEYE", {400, 500, 400, 0.0}, kInf, M_PI / 2.0}};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CLensModel model;
        std::string reason;
        ASSERT_TRUE(CLensModel::CreateColmap(c.name, c.params, model, reason));
        const double fold = model.GetFoldRadius();
        EXPECT_TRUE(std::isinf(c.fold) ? std::isinf(fold) : std::fabs(fold / c.fold - 1) < 1e-12);
        // Beyond the fold the map is refused, output untouched; inside, the pixel comes back to
        // the same point, not to its other preimage beyond the fold.
        const double r = std::isfinite(c.fold) ? c.fold : 50.0;
        const C2DCoordinate outside(1.01 * r * 0.6, -1.01 * r * 0.8);
        const C2DCoordinate inside(0.99 * r * 0.6, -0.99 * r * 0.8);
        C2DCoordinate pixel(-1, -1);
        EXPECT_EQ(model.Distort(outside, pixel), std::isinf(c.fold));
        ASSERT_TRUE(model.Distort(inside, pixel));
        C2DCoordinate normalised(-1, -1);
        ASSERT_TRUE(model.Undistort(pixel, normalised));
        ExpectVectorNear(normalised, inside, 1e-12 * r);
        // A pixel just beyond the image of the fold (or of theta = pi/2) has no preimage; one
        // just inside has it within the fold.
        for (const double factor : {1.001, 0.999}) {
            SCOPED_TRACE(factor);
            const double d = c.params[0] * c.edge * factor;
            const C2DCoordinate observed(500 + 0.6 * d, 400 - 0.8 * d);
            normalised.SetVector(-1, -1);
            const bool found = model.Undistort(observed, normalised);
            EXPECT_EQ(found, factor < 1 || c.edge == 0.0);
            EXPECT_TRUE(found ? std::hypot(normalised.GetData(0), normalised.GetData(1)) <= fold
                              : normalised.GetData(0) == -1);
        }
    }
}

TEST(CLensModel, RefusesBadParametersWithReasonsAndStaysUntouched) {
    const double k[4] = {0.1, 0.01, kNan, 0.0};
    const double tilt[14] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.1, -1.6};
    CLensModel model;
    std::string reason;
    ASSERT_TRUE(CLensModel::CreatePinhole(7, 8, 0, 9, 10, model));
    const auto expect = [&model, &reason](bool made, const char* expected) {
        EXPECT_FALSE(made);
        EXPECT_EQ(reason, expected);
        double fx = 0.0, fy = 0.0, skew = 0.0, cx = 0.0, cy = 0.0;
        model.GetIntrinsics(fx, fy, skew, cx, cy);
        EXPECT_EQ(model.GetKind(), CLensModel::EKind::kPinhole);
        EXPECT_EQ(fx + fy + cx + cy, 34.0);  // as made above
    };
    expect(CLensModel::CreateColmap("FOO", {}, model, reason), "unknown camera model FOO");
    expect(CLensModel::CreateColmap("OPENCV", {1, 1, 0, 0, 0, 0, 0}, model, reason),
           "OPENCV takes 8 parameters, not 7");
    expect(CLensModel::CreateColmap("PINHOLE", {1, kNan, 0, 0}, model, reason),
           "parameter 2 (fy) is not finite");
    expect(CLensModel::CreateColmap("SIMPLE_RADIAL", {0, 1, 2, 0.1}, model, reason),
           "parameter 1 (f) must be positive, not 0");
    expect(CLensModel::CreateOpenCV(1, 1, 0, 0, 0, k, 6, model, reason),
           "OpenCV takes 4, 5, 8, 12 or 14 distortion coefficients, not 6");
    expect(CLensModel::CreateOpenCV(1, 1, 0, 0, 0, k, 4, model, reason),
           "coefficient 3 (p1) is not finite");
    expect(CLensModel::CreateOpenCV(1, 1, 0, 0, 0, tilt, 14, model, reason),
           "tau_y must lie within (-pi/2, pi/2), not -1.6");
    expect(CLensModel::CreateOpenCV(1, 1, 0, 0, 0, nullptr, 4, model, reason),
           "no distortion coefficients given");
    expect(CLensModel::CreateOpenCVFisheye(1, -2, 0, 0, 0, k, model, reason),
           "fy must be positive, not -2");
    expect(CLensModel::CreateOpenCVFisheye(1, 1, 0, 0, 0, k, model, reason),
           "coefficient 3 (k3) is not finite");
    expect(CLensModel::CreatePinhole(1, 1, 0, kInf, 0, model, reason), "cx is not finite");
    // The overloads without a reason refuse alike (reason keeps the last one).
    expect(CLensModel::CreateOpenCV(1, 1, 0, 0, 0, k, 4, model), "cx is not finite");
}

TEST(CLensModel, MapsOnlyFiniteValuesAndLeavesOutputsOnFailure) {
    CLensModel none;
    CLensModel pinhole;
    CLensModel radial;
    CLensModel fisheye;
    const double k[5] = {-0.2, 0.05, 0.001, -0.002, 0.01};
    ASSERT_TRUE(CLensModel::CreatePinhole(800, 700, 3, 320, 240, pinhole));
    ASSERT_TRUE(CLensModel::CreateOpenCV(800, 700, 3, 320, 240, k, 5, radial));
    ASSERT_TRUE(CLensModel::CreateOpenCVFisheye(800, 700, 3, 320, 240, k, fisheye));
    // No lens: the identity. Pinhole: (fx x + skew y + cx, fy y + cy) = (800 + 6 + 320, 1640).
    C2DCoordinate out;
    ASSERT_TRUE(none.Distort(C2DCoordinate(1.5, -2), out));
    ExpectVectorNear(out, C2DVector(1.5, -2), 0.0);
    ASSERT_TRUE(pinhole.Distort(C2DCoordinate(1, 2), out));
    ExpectVectorNear(out, C2DVector(1126, 1640), 1e-12);
    ASSERT_TRUE(pinhole.Undistort(C2DCoordinate(1126, 1640), out));
    ExpectVectorNear(out, C2DVector(1, 2), 1e-15);
    for (const CLensModel* model : {&none, &pinhole, &radial, &fisheye}) {
        for (const C2DCoordinate& bad : {C2DCoordinate(kNan, 0), C2DCoordinate(0, kInf)}) {
            C2DCoordinate untouched(-7, 8);
            EXPECT_FALSE(model->Distort(bad, untouched));
            EXPECT_FALSE(model->Undistort(bad, untouched));
            ExpectVectorNear(untouched, C2DVector(-7, 8), 0.0);
        }
    }
    // Points far out along the fisheye's view image at theta = pi/2 in their direction, without
    // overflow.
    C2DCoordinate edge;
    ASSERT_TRUE(fisheye.Distort(C2DCoordinate(1e300, 1e300), edge));
    ASSERT_TRUE(fisheye.Distort(C2DCoordinate(1.5e308, 1.5e308), out));
    ExpectVectorNear(out, edge, 0.0);
}

}  // namespace
