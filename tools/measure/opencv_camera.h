#pragma once

#include <string>
#include <vector>

#include "measure/scene.h"

namespace measure {

// Reads the cameras of an OpenCV calibration file: the YAML that OpenCV's file storage writes, or
// JSON (a regular file of at most kCameraFileLimit bytes). Every camera gets the file's lens: the
// camera matrix K (or camera_matrix, cameraMatrix) with fx, fy, skew and principal point as they
// are, and the distortion coefficients D (or dist_coeffs, distCoeffs, distortion_coefficients) of
// OpenCV's radial-tangential model (4, 5, 8, 12 or 14) or, when fisheye, of its fisheye model (4);
// principal points move by +0.5 px from OpenCV's pixels into the scene's. The forms:
// - one camera named id: the rotation R (or rotation_matrix, or a rotation vector rvec,
//   rotation_vector) and the translation t (or T, tvec, translation);
// - one camera per view, id_1 ... id_N: extrinsic_parameters, N rows of (rotation vector,
//   translation) as OpenCV's calibration writes them;
// - a stereo pair: M1 and D1 give camera id_1 at the world's origin (R = I, t = 0); M2 and D2 with
//   R and T (camera 2's point = R camera 1's point + T) give camera id_2.
// The image size as image_width and image_height (or width, height, or image_size: [w, h]).
// Throws InputError naming the file and the field; a member given under two of its names, or a
// value the tool would not use (R and T without M2), is refused rather than ignored.
std::vector<Camera> ReadOpenCvCameras(const std::string& file, const std::string& id, bool fisheye);

// ReadOpenCvCameras on text already read (no size limit), file only naming it in errors.
std::vector<Camera> ParseOpenCvCameras(const std::string& text,
                                       const std::string& file,
                                       const std::string& id,
                                       bool fisheye);

}  // namespace measure
