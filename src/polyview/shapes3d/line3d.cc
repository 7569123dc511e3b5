#include "polyview/shapes3d/line3d.h"

#include <cstddef>

#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/line_fit3d.h"
#include "polyview/numeric/pose_access.h"
#include "polyview/numeric/workspace.h"

namespace {

const int kStackObservations = 32;  // up to this many, the work arrays are on the stack

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
    // Row-major and contiguous from row 0: n rows of thirteen and of seven, and two of one.
    // Beyond the stack they come from the numeric workspace, whose refusal is a failure like any
    // other.
    const CSmallMatrix<kStackObservations, 13> cameraRows(n - 1, 12);
    const CSmallMatrix<kStackObservations, 7> lineRows(n - 1, 6);
    const CSmallMatrix<kStackObservations, 1> principalXRows(n - 1, 0);
    const CSmallMatrix<kStackObservations, 1> principalYRows(n - 1, 0);
    if (cameraRows.Get() == nullptr || lineRows.Get() == nullptr ||
        principalXRows.Get() == nullptr || principalYRows.Get() == nullptr) {
        return false;
    }
    double* const cameras = cameraRows.Get()[0];
    double* const lines = lineRows.Get()[0];
    double* const principalX = principalXRows.Get()[0];
    double* const principalY = principalYRows.Get()[0];
    // Each camera flattened to (the line solver's rotation kept with its pose, translation, focal
    // length), each line to (a, b, c) padded to a row of seven.
    for (int i = 0; i < n; ++i) {
        const SImageLine& observation = observations[i];
        const CExtrinsicParam& pose = observation.cameraParam.GetExtrinsicParam();
        const CIntrinsicParam& intrinsic = observation.cameraParam.GetIntrinsicParam();
        double* camera = cameras + 13 * static_cast<std::size_t>(i);
        double* line = lines + 7 * static_cast<std::size_t>(i);
        const double* camFromWorld = SPoseSolverAccess::LineRotation(pose);
        for (int j = 0; j < 9; ++j) {
            camera[j] = camFromWorld[j];
        }
        pose.GetTranslateVector().GetVector(camera + 9);
        camera[12] = intrinsic.GetFocalLengthParam();
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        principalX[i] = principal.GetData(0);
        principalY[i] = principal.GetData(1);
        observation.lineSegment.GetLineParams(line);
        for (int j = 3; j < 7; ++j) {
            line[j] = 0.0;
        }
    }
    double result[4];  // frame rotation vector, distance
    if (dfitline3d_matrices(n, cameras, lines, principalX, principalY, result) == 0) {
        return false;
    }
    const CRotateMatrix frame = CRotateVector(C3DVector(result)).GetRotateMatrix();
    m_axis.SetUVector(frame.GetRowVector(1));
    m_axis.SetVVector(frame.GetRowVector(0));
    m_axis.SetDistance(result[3]);
    return true;
}
