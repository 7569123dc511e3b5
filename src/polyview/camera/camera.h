#pragma once

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/polyview_export.h"

// A camera of a photo: the library's pinhole camera (one focal length, principal point, pose:
// camera point = R X + T, ideal pixel = (f x / z + cx, f y / z + cy)), the size of the photo in
// pixels, and the map between the photo's observed pixels and the ideal pinhole pixels. That map
// is where a lens model goes; this camera is an ideal pinhole, so it is the identity.
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
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    void SetImageSize(int width, int height);

    // The centre in world coordinates, -R^T T (not finite when the pose is not).
    C3DVector GetCentre() const;
    // The ideal pinhole pixel of a world point; false, image untouched, when the point is not in
    // front of the camera (depth <= 0) or the pixel is not finite.
    bool ProjectIdeal(const C3DVector& world, C2DCoordinate& image) const;
    // The observed pixel of a world point: ProjectIdeal, then FromIdealPixel. Fails as they do.
    bool Project(const C3DVector& world, C2DCoordinate& image) const;
    // The ideal pinhole pixel of an observed pixel; false, ideal untouched, when it has none
    // (not finite, or outside where the lens model can be inverted).
    bool ToIdealPixel(const C2DCoordinate& observed, C2DCoordinate& ideal) const;
    // The observed pixel of an ideal pinhole pixel; false, observed untouched, when it has none.
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
    int m_width;
    int m_height;
};
