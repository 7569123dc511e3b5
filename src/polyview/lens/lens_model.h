#pragma once

#include <string>
#include <vector>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/polyview_export.h"

// A lens: the map from normalised camera coordinates (x, y) = (X / Z, Y / Z) of a camera point to
// the observed pixel of a photo, and its inverse. Kinds:
// - pinhole: observed = (fx x + skew y + cx, fy y + cy);
// - radial-tangential (OpenCV's model, COLMAP's SIMPLE_RADIAL, RADIAL, OPENCV and FULL_OPENCV):
//   rational radial factor (1 + k1 r^2 + k2 r^4 + k3 r^6) / (1 + k4 r^2 + k5 r^4 + k6 r^6),
//   tangential p1 p2, thin prism s1..s4, then the tilt of the sensor (tau_x, tau_y), then the
//   camera matrix;
// - fisheye (OpenCV's fisheye model, COLMAP's OPENCV_FISHEYE, SIMPLE_RADIAL_FISHEYE and
//   RADIAL_FISHEYE): theta = atan(r), theta_d = theta (1 + k1 t^2 + k2 t^4 + k3 t^6 + k4 t^8),
//   distorted = (theta_d / r) (x, y), then the camera matrix;
// - thin prism fisheye (COLMAP's THIN_PRISM_FISHEYE): (u, v) = (theta / r) (x, y), then the radial
//   polynomial of the fisheye in |(u, v)| = theta, tangential p1 p2 and thin prism sx1 sy1 on
//   (u, v), then fx fy cx cy.
// Principal points are taken in the caller's pixel convention (OpenCV puts the centre of the first
// pixel at (0, 0), COLMAP at (0.5, 0.5)); converting is the caller's job.
// Where the radial map rho -> rho_d (rho = r, or theta for the fisheye kinds) stops increasing, the
// model folds over: two directions see the same pixel. Creation finds the first such radius; the
// model refuses to map beyond it (docs/camera-models.md).
class POLYVIEW_EXPORT CLensModel {
  public:
    enum class EKind { kNone, kPinhole, kRadialTangential, kFisheye, kThinPrismFisheye };

    CLensModel();  // kNone: no lens; CCamera treats observed pixels as ideal ones
    CLensModel(const CLensModel& other);
    CLensModel& operator=(const CLensModel& other);
    virtual ~CLensModel();

    // Pinhole with non-square pixels and skew: observed = (fx x + skew y + cx, fy y + cy). False,
    // model untouched, when a value is not finite or fx or fy <= 0.
    static bool CreatePinhole(
        double fx, double fy, double skew, double cx, double cy, CLensModel& model);
    // As above; on failure reason says which value is wrong.
    static bool CreatePinhole(double fx,
                              double fy,
                              double skew,
                              double cx,
                              double cy,
                              CLensModel& model,
                              std::string& reason);
    // OpenCV's radial-tangential model, coefficients in OpenCV's order k1 k2 p1 p2 [k3 [k4 k5 k6
    // [s1 s2 s3 s4 [tau_x tau_y]]]], count 4, 5, 8, 12 or 14 (0: a pinhole); skew is the camera
    // matrix's (0, 1) entry. False, model untouched, on another count, a null array with a count,
    // a value that is not finite, fx or fy <= 0, or a tilt angle not within (-pi/2, pi/2).
    static bool CreateOpenCV(double fx,
                             double fy,
                             double skew,
                             double cx,
                             double cy,
                             const double* coefficients,
                             int count,
                             CLensModel& model);
    // As above; on failure reason says what is wrong ("coefficient 3 (p1) is not finite").
    static bool CreateOpenCV(double fx,
                             double fy,
                             double skew,
                             double cx,
                             double cy,
                             const double* coefficients,
                             int count,
                             CLensModel& model,
                             std::string& reason);
    // OpenCV's fisheye model with k[0..3] = k1..k4 (OpenCV's alpha is skew / fx). False, model
    // untouched, when k is null, a value is not finite or fx or fy <= 0.
    static bool CreateOpenCVFisheye(double fx,
                                    double fy,
                                    double skew,
                                    double cx,
                                    double cy,
                                    const double* k,
                                    CLensModel& model);
    // As above; on failure reason says what is wrong.
    static bool CreateOpenCVFisheye(double fx,
                                    double fy,
                                    double skew,
                                    double cx,
                                    double cy,
                                    const double* k,
                                    CLensModel& model,
                                    std::string& reason);
    // A COLMAP camera model by name (SIMPLE_PINHOLE, PINHOLE, SIMPLE_RADIAL, RADIAL, OPENCV,
    // OPENCV_FISHEYE, FULL_OPENCV, SIMPLE_RADIAL_FISHEYE, RADIAL_FISHEYE, THIN_PRISM_FISHEYE) with
    // its parameters in COLMAP's order. False, model untouched, reason set, on an unknown name, a
    // wrong count, a value that is not finite or a focal length <= 0.
    static bool CreateColmap(const std::string& name,
                             const std::vector<double>& params,
                             CLensModel& model,
                             std::string& reason);
    // The COLMAP model that is this same map, with its parameters: the name and parameters the
    // model was created with when it came from COLMAP, else the simplest COLMAP model that fits.
    // False, outputs untouched, when none does (kNone, skew, tilt, OpenCV's thin prism terms).
    bool GetColmap(std::string& name, std::vector<double>& params) const;

    EKind GetKind() const { return m_kind; }
    bool IsNone() const { return m_kind == EKind::kNone; }
    // The camera matrix; kNone gives fx = fy = 1 and skew = cx = cy = 0 (the identity).
    void GetIntrinsics(double& fx, double& fy, double& skew, double& cx, double& cy) const;
    // The distortion coefficients in the order they were created with (COLMAP: the parameters
    // after the focal lengths and principal point); empty for kNone and pinholes.
    std::vector<double> GetCoefficients() const { return m_coefficients; }
    // Whether the model is a pinhole with square pixels, no skew and no distortion (a radial-
    // tangential model with every coefficient 0 counts): a camera maps through it exactly as
    // through its ideal pinhole (f = fx), so callers may leave it out. False for kNone.
    bool IsSquarePinhole() const;
    // The normalised radius |(x, y)| beyond which the model folds over and refuses to map;
    // infinity when its radial map never turns.
    double GetFoldRadius() const;

    // Normalised camera coordinates -> observed pixel. False, observed untouched, when a value is
    // not finite, the point lies beyond the fold radius or where the map's Jacobian determinant is
    // not positive. kNone: the identity.
    bool Distort(const C2DCoordinate& normalised, C2DCoordinate& observed) const;
    // Observed pixel -> normalised coordinates, the inverse of Distort to 1e-9 px
    // (|Distort(result) - observed| <= 1e-9 px, or 1e-14 of the pixel's magnitude when that is
    // larger). False, normalised untouched, when the pixel is not finite, has no preimage within
    // the fold radius, or Newton's method does not converge within its iteration cap.
    bool Undistort(const C2DCoordinate& observed, C2DCoordinate& normalised) const;

  private:
    // The radial-tangential core on (u, v) (normalised, or theta-scaled for the fisheye kinds):
    // distorted (xd, yd) and, when jacobian is given, d(xd, yd)/d(u, v) row-major.
    void MapCore(double u, double v, double& xd, double& yd, double* jacobian) const;
    // rho -> rho_d of the radial part alone, and its derivative.
    double RadialImage(double rho, double* derivative) const;
    // The rho in [0, fold limit] whose radial image is target (clamped to the limit when none).
    double RadialInverse(double target) const;
    // Tilt matrices, fold limit and its image, from the coefficients.
    void Prepare();
    bool IsFisheye() const;

    EKind m_kind;
    double m_fx;
    double m_fy;
    double m_skew;
    double m_cx;
    double m_cy;
    std::vector<double> m_coefficients;  // as given at creation
    std::string m_colmapName;            // the COLMAP model it was created from, else empty
    double m_numerator[4];               // a1..a4 of 1 + a1 s + a2 s^2 + a3 s^3 + a4 s^4, s = rho^2
    double m_denominator[3];             // b1..b3 of 1 + b1 s + b2 s^2 + b3 s^3
    double m_tangential[2];              // p1 p2
    double m_prism[4];                   // s1 s2 (x), s3 s4 (y)
    double m_tiltAngles[2];              // tau_x tau_y
    double m_tilt[9];                    // row-major homography after the distortion
    double m_untilt[9];                  // its inverse
    bool m_tilted;
    double m_foldLimit;  // rho where the radial map stops increasing; +inf when it never does
    double m_foldImage;  // bound on |distorted| of points within the limit; +inf likewise
};
