#include "polyview/shapes3d/line3d.h"

#include <cstddef>
#include <memory>
#include <new>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/line_fit3d.h"

namespace {

const std::size_t kStackObservations = 32;  // up to this many, the work arrays are on the stack

// A work array of count doubles: inside the object up to kCapacity, else from operator new.
template <std::size_t kCapacity>
class CWorkArray {
  public:
    explicit CWorkArray(std::size_t count)
        : m_heap(count > kCapacity ? new (std::nothrow) double[count] : nullptr),
          m_data(count > kCapacity ? m_heap.get() : m_local) {}
    CWorkArray(const CWorkArray&) = delete;
    CWorkArray& operator=(const CWorkArray&) = delete;

    explicit operator bool() const { return m_data != nullptr; }
    double* get() const { return m_data; }
    double& operator[](std::size_t i) const { return m_data[i]; }

  private:
    std::unique_ptr<double[]> m_heap;
    double* m_data;
    mutable double m_local[kCapacity];
};

}  // namespace

C3DLine::C3DLine() = default;
C3DLine::C3DLine(const C3DLine& other) = default;
C3DLine::C3DLine(const C3DAxis& axis) : m_axis(axis) {}
C3DLine& C3DLine::operator=(const C3DLine& other) {
    m_axis = other.m_axis;  // U and V component by component, then d
    return *this;
}
C3DLine::~C3DLine() = default;

const C3DAxis& C3DLine::Get3DAxis() const {
    return m_axis;
}
const C3DVector& C3DLine::GetDirectionVector() const {
    return m_axis.GetVVector();
}

// The plane through the camera centre and the line has the normal (foot - centre) x V; in camera
// axes that normal (m0, m1, m2) gives the image line m0 (u - cx) + m1 (v - cy) + f m2 = 0.
bool C3DLine::Reproject(const CCameraParam& camera, C2DLine& line) const {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const CRotateMatrix& camFromWorld = pose.GetRotateMatrix();
    const C3DVector footFromCentre = m_axis.GetUVector() * m_axis.GetDistance() +
                                     camFromWorld.GetTransposedMatrix() * pose.GetTranslateVector();
    const C3DVector normal = footFromCentre.GetCrossProduct(m_axis.GetVVector());
    const double n0 = normal.GetData(0);
    const double n1 = normal.GetData(1);
    const double n2 = normal.GetData(2);
    double normalInCam[3];
    for (int i = 0; i < 3; ++i) {
        normalInCam[i] = (n2 * camFromWorld.GetData(i, 2) + n1 * camFromWorld.GetData(i, 1)) +
                         n0 * camFromWorld.GetData(i, 0);  // order fixed
    }
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    const double f = intrinsic.GetFocalLengthParam();
    const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
    const double params[3] = {normalInCam[0],
                              normalInCam[1],
                              f * normalInCam[2] - normalInCam[0] * principal.GetData(0) -
                                  normalInCam[1] * principal.GetData(1)};  // order fixed
    line.SetLineParams(params);
    return true;
}

bool C3DLine::Transform(const CRotateMatrix& rotation, const C3DVector& translation, double scale) {
    C3DAxis moved(m_axis);
    if (!moved.Transform(rotation, translation, scale)) {
        return false;
    }
    m_axis = moved;
    return true;
}

bool C3DLine::CreateFromImageLines(const C1DArray<SImageLine>& observations) {
    const int n = observations.GetSize();
    if (n < 1) {
        return false;
    }
    const std::size_t count = static_cast<std::size_t>(n);
    const CWorkArray<7 * kStackObservations> cameras(7 * count);
    const CWorkArray<7 * kStackObservations> lines(7 * count);
    const CWorkArray<kStackObservations> principalX(count);
    const CWorkArray<kStackObservations> principalY(count);
    if (!cameras || !lines || !principalX || !principalY) {
        return false;
    }
    // Each camera flattened to (rotation vector, translation, focal length), each line to
    // (a, b, c) padded to a row of seven.
    for (int i = 0; i < n; ++i) {
        const SImageLine& observation = observations[i];
        const CExtrinsicParam& pose = observation.cameraParam.GetExtrinsicParam();
        const CIntrinsicParam& intrinsic = observation.cameraParam.GetIntrinsicParam();
        double* camera = cameras.get() + 7 * static_cast<std::size_t>(i);
        double* line = lines.get() + 7 * static_cast<std::size_t>(i);
        pose.GetRotateMatrix().GetRotateVector().GetVector(camera);
        pose.GetTranslateVector().GetVector(camera + 3);
        camera[6] = intrinsic.GetFocalLengthParam();
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        principalX[i] = principal.GetData(0);
        principalY[i] = principal.GetData(1);
        observation.lineSegment.GetLineParams(line);
        for (int j = 3; j < 7; ++j) {
            line[j] = 0.0;
        }
    }
    double result[4];  // frame rotation vector, distance
    if (dfitline3d(n, cameras.get(), lines.get(), principalX.get(), principalY.get(), result) ==
        0) {
        return false;
    }
    const CRotateMatrix frame = CRotateVector(C3DVector(result)).GetRotateMatrix();
    m_axis.SetUVector(frame.GetRowVector(1));
    m_axis.SetVVector(frame.GetRowVector(0));
    m_axis.SetDistance(result[3]);
    return true;
}
