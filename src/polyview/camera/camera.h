#pragma once

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/lens/lens_model.h"
#include "polyview/polyview_export.h"

// A camera of a photo: the library's pinhole camera (one focal length, principal point, pose:
// camera point = R X + T, ideal pixel = (f x / z + cx, f y / z + cy)), the size of the photo in
// pixels, and the map between the photo's observed pixels and the ideal pinhole pixels. Without a
// lens model (kNone) that map is the identity; with one, an observed pixel is undistorted to
// normalised coordinates n and imaged by the pinhole as (f n.x + cx, f n.y + cy).
class POLYVIEW_EXPORT CCamera {
  public:
    // A rotation matrix may differ from a rotation (R R^T from I, det R from 1) by this much per
    // entry; calibration files print about six decimals.
    static constexpr double kRotationTolerance = 1e-5;

    CCamera();  // focal length 1, principal point (0, 0), identity pose, image 0 x 0
    CCamera(const CCameraParam& pinhole, int width, int height);
    CCamera(const CCamera& other);
    CCamera& operator=(const CCamera& other);
    virtual ~CCamera();

    // A camera at centre looking at target (optical axis +z towards it) with up pointing up in
    // the picture (image x to the right, y down); when up is parallel to the view, world y or x
    // takes its place. False, camera untouched, when centre equals target or a value is not
    // finite.
    static bool CreateLookAt(const C3DVector& centre,
                             const C3DVector& target,
                             const C3DVector& up,
                             double focalLength,
                             const C2DCoordinate& principalPoint,
                             int width,
                             int height,
                             CCamera& camera);

    const CCameraParam& GetCameraParam() const { return m_pinhole; }
    void SetCameraParam(const CCameraParam& pinhole) { m_pinhole = pinhole; }
    const CLensModel& GetLensModel() const { return m_lens; }
    // Sets the lens; the pinhole stays as it is (IdealPinholeFor gives the one to use with it).
    void SetLensModel(const CLensModel& lens) { m_lens = lens; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    void SetImageSize(int width, int height);

    // The ideal pinhole to use with a lens: focal length fx and principal point (cx, cy) of the
    // lens's camera matrix, so that ideal pixels have fx's scale in both directions; the pose as
    // given. kNone gives focal length 1 and principal point (0, 0).
    static CCameraParam IdealPinholeFor(const CLensModel& lens, const CExtrinsicParam& pose);

    // The centre in world coordinates, -R^T T (not finite when the pose is not).
    C3DVector GetCentre() const;
    // The ideal pinhole pixel of a world point; false, image untouched, when the point is not in
    // front of the camera (depth <= 0) or the pixel is not finite.
    bool ProjectIdeal(const C3DVector& world, C2DCoordinate& image) const;
    // The observed pixel of a world point: ProjectIdeal, then FromIdealPixel. Fails as they do.
    bool Project(const C3DVector& world, C2DCoordinate& image) const;
    // The ideal pinhole pixel of an observed pixel (the lens's Undistort, then the pinhole); false,
    // ideal untouched, when it has none (not finite, or where the lens cannot be inverted).
    bool ToIdealPixel(const C2DCoordinate& observed, C2DCoordinate& ideal) const;
    // The observed pixel of an ideal pinhole pixel (the pinhole's inverse, then the lens's
    // Distort); false, observed untouched, when it has none (not finite, or beyond the lens's fold
    // radius).
    bool FromIdealPixel(const C2DCoordinate& ideal, C2DCoordinate& observed) const;
    // Whether a pixel lies in the photo, 0 <= x <= width and 0 <= y <= height.
    bool Contains(const C2DCoordinate& pixel) const;

    // How far a row-major 3 x 3 matrix is from a rotation: the largest |(R R^T - I)_ij| and
    // |det R - 1|; infinity when an entry is not finite.
    static double GetRotationDeviation(const double* rowMajor);
    // Whether the pose is a real one: a finite rotation within kRotationTolerance of a rotation,
    // a finite translation and a finite centre.
    bool HasValidPose() const;

  private:
    CCameraParam m_pinhole;
    CLensModel m_lens;
    int m_width;
    int m_height;
};
