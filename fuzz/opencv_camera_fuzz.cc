// The measurement tool's OpenCV calibration reader (measure::ParseOpenCvCameras: OpenCV's YAML
// through libyaml, or JSON) on any text, read as a radial-tangential and as a fisheye lens: it
// either throws measure::InputError or returns cameras that keep every promise of its checks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "camera_checks.h"
#include "measure/input_error.h"
#include "measure/opencv_camera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const bool fisheye : {false, true}) {
        try {
            const std::vector<measure::Camera> cameras =
                measure::ParseOpenCvCameras(text, "fuzz.yml", "cam", fisheye);
            POLYVIEW_FUZZ_CHECK(!cameras.empty());
            for (const measure::Camera& camera : cameras) {
                CheckImportedCamera(camera);
                POLYVIEW_FUZZ_CHECK(camera.calibration.GetLensModel().GetKind() ==
                                        CLensModel::EKind::kFisheye ||
                                    !fisheye);
            }
        } catch (const measure::InputError&) {
            // Bad input, reported with its place: the expected outcome for most inputs.
        }
    }
    return 0;
}
