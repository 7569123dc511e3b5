#include "polyview/shapes3d/line_segment3d.h"

#include <cmath>

#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/vector2d.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/geometry2d/line2d.h"
#include "polyview/numeric/perpendicular_foot.h"

namespace {

const double kClipDepth = 1e-8;  // an end behind the camera is moved forward to this depth

double Square(double value) {
    return value * value;
}

// Foot of the perpendicular from point onto the line through a and b, and the distance of point
// from that line. The difference of squares is taken by magnitude, so rounding never makes the
// root undefined.
double CalcPerpendicularFoot(const C3DCoordinate& point,
                             const C3DCoordinate& a,
                             const C3DCoordinate& b,
                             C3DCoordinate& foot) {
    C3DVector along = b - a;
    along.Normalize();
    const C3DVector offset = point - a;
    const double s = along.GetData(0) * offset.GetData(0) +
                     (along.GetData(2) * offset.GetData(2) +
                      along.GetData(1) * offset.GetData(1));  // order fixed
    foot = C3DCoordinate(a + along * s, WorldCoordinateSystem);
    return std::sqrt(std::fabs(Square(offset.GetData(0)) + Square(offset.GetData(1)) +
                               Square(offset.GetData(2)) - Square(s)));
}

const double kNegligibleShare = 1e-6;  // a component this much smaller than the largest is noise

// Index (0..2) of the component to read positions along a unit direction from: the first that is
// not exactly 0.0 in the order x, y, z, unless it is negligible beside the largest (rounding noise
// of a direction along another axis), in which case the largest (the first of equal magnitudes).
int ReadingComponent(const C3DVector& vector) {
    int largest = 0;
    for (int i = 1; i < 3; ++i) {
        if (std::fabs(vector.GetData(i)) > std::fabs(vector.GetData(largest))) {
            largest = i;
        }
    }
    for (int i = 0; i < 3; ++i) {
        const double magnitude = std::fabs(vector.GetData(i));
        if (magnitude != 0.0) {
            return magnitude < kNegligibleShare * std::fabs(vector.GetData(largest)) ? largest : i;
        }
    }
    return largest;
}

}  // namespace

C3DLineSegment::C3DLineSegment() {
    BeConsistent();
}
C3DLineSegment::C3DLineSegment(const C3DLineSegment& other)
    : C3DShape(other), m_axis(other.m_axis), m_range(other.m_range) {
    m_endPoints[0] = other.m_endPoints[0];
    m_endPoints[1] = other.m_endPoints[1];
}
C3DLineSegment::C3DLineSegment(const C3DAxis& axis, const CRange& range)
    : m_axis(axis), m_range(range) {
    BeConsistent();
}
C3DLineSegment& C3DLineSegment::operator=(const C3DLineSegment& other) {
    m_axis = other.m_axis;
    m_range = other.m_range;
    m_endPoints[0] = other.m_endPoints[0];
    m_endPoints[1] = other.m_endPoints[1];
    return *this;
}
C3DLineSegment::~C3DLineSegment() = default;

void C3DLineSegment::Initialize() {
    m_axis = C3DAxis();
    m_endPoints[1] = C3DCoordinate(WorldCoordinateSystem);
    m_endPoints[0] = m_endPoints[1];
    m_range = CRange();
}

const C3DAxis& C3DLineSegment::GetAxis() const {
    return m_axis;
}
const CRange& C3DLineSegment::GetRange() const {
    return m_range;
}

bool C3DLineSegment::Set3DLineSegment(const C3DAxis& axis,
                                      const CRange& range,
                                      bool setAxis,
                                      bool setRange) {
    if (setAxis) {
        m_axis = axis;
    }
    if (setRange) {
        m_range = range;
    }
    return BeConsistent();
}

void C3DLineSegment::GetEndPoint3D(C3DCoordinate* endPoints) const {
    endPoints[0] = m_endPoints[0];
    endPoints[1] = m_endPoints[1];
}

void C3DLineSegment::SetEndPoint3D(const C3DCoordinate& start, const C3DCoordinate& end) {
    C3DCoordinate foot(WorldCoordinateSystem);
    const double distance =
        CalcPerpendicularFoot(C3DCoordinate(WorldCoordinateSystem), end, start, foot);
    C3DVector u = foot;
    u.Normalize();
    C3DVector v = end - start;
    v.Normalize();
    const C3DAxis axis(u, v, distance);
    // The positions of the two points are read off the first non-zero component of V; one that
    // is zero up to rounding would turn rounding into the range, so the largest replaces it.
    CRange range;
    const int c = ReadingComponent(v);
    const double vc = v.GetData(c);
    if (vc != 0.0) {
        const double base = distance * u.GetData(c);
        range.SetRange((start.GetData(c) - base) / vc, (end.GetData(c) - base) / vc, true, true);
    }
    Set3DLineSegment(axis, range, true, true);
}

void C3DLineSegment::GetDistancePoint2Line(const C3DCoordinate& point,
                                           C3DCoordinate& foot,
                                           double& distance) const {
    const C3DCoordinate base = m_axis.GetBaseCoordinate();
    const C3DVector& v = m_axis.GetVVector();
    const C3DVector w = point - base;
    const double s = w.GetData(2) * v.GetData(2) + w.GetData(1) * v.GetData(1) +
                     w.GetData(0) * v.GetData(0);  // order fixed
    distance = std::sqrt(
        std::fabs(Square(w.GetData(2)) + Square(w.GetData(1)) + Square(w.GetData(0)) - Square(s)));
    foot = base + v * s;
}

bool C3DLineSegment::GetAngleLine2Line(const C3DLineSegment& other, CAngle& angle) const {
    const C3DVector& a = m_axis.GetVVector();
    const C3DVector& b = other.m_axis.GetVVector();
    const double qa = a.GetDotProduct(a);
    const double qb = b.GetDotProduct(b);
    if (!(qa >= 0.0) || !(qb >= 0.0)) {
        return false;  // not a number
    }
    const double rho = std::sqrt(qb) * std::sqrt(qa);
    if (rho == 0.0) {
        return false;
    }
    angle.ACos(a.GetDotProduct(b) / rho);
    return true;
}

// Closest points B1 + s V1 and B2 + t V2 from the normal equations M (s, t, 1)^T = 0, solved as
// the eigenvector of M^T M for its smallest eigenvalue.
bool C3DLineSegment::GetDistanceLine2Line(const C3DLineSegment& other,
                                          C3DCoordinate* closest,
                                          double& distance) const {
    const C3DVector& v1 = m_axis.GetVVector();
    const C3DVector& v2 = other.m_axis.GetVVector();
    const C3DCoordinate b1 = m_axis.GetBaseCoordinate();
    const C3DCoordinate b2 = other.m_axis.GetBaseCoordinate();
    const C3DVector w = b1 - b2;
    CMNMatrix m(2, 3, 0.0);
    // clang-format off
    m(0, 0) = v1.GetDotProduct(v1); m(0, 1) = -v1.GetDotProduct(v2); m(0, 2) = w.GetDotProduct(v1);
    m(1, 0) = v1.GetDotProduct(v2); m(1, 1) = -v2.GetDotProduct(v2); m(1, 2) = w.GetDotProduct(v2);
    // clang-format on
    const CMNMatrix normal = m.GetTransposed() * m;
    double smallest = 0.0;
    CNDVector e(3, 1.0);
    if (!normal.GetMinEigenVector4MinEigenValue(smallest, e)) {
        return false;
    }
    const C3DVector eigen = static_cast<C3DVector>(e);
    const double ez = eigen.GetData(2);
    if (ez == 0.0 || std::isnan(ez)) {
        // Parallel lines: every point pairs with its foot on the other line.
        other.GetDistancePoint2Line(b1, closest[0], distance);
        closest[1] = closest[0];
        return true;
    }
    const double s = eigen.GetData(0) / ez;
    const double t = eigen.GetData(1) / ez;
    closest[0] = b1 + v1 * s;
    closest[1] = b2 + v2 * t;
    distance = (closest[0] - closest[1]).GetNorm();
    return distance >= 0.0;  // false for not a number, with the outputs written
}

bool C3DLineSegment::Transform(const CRotateMatrix& rotation,
                               const C3DVector& translation,
                               double scale) {
    C3DAxis moved(m_axis);
    if (!moved.Transform(rotation, translation, scale)) {
        return false;
    }
    const C3DVector& movedV = moved.GetVVector();
    const C3DCoordinate movedBase = moved.GetBaseCoordinate();
    double positions[2];
    for (int i = 0; i < 2; ++i) {
        C3DVector end = m_endPoints[i];
        if (!end.Transform(rotation, translation, scale)) {
            return false;
        }
        // The moved end lies on the moved line at distance lambda from the base; the side is
        // the one whose point at that distance lies nearer (a tie counts as ahead).
        const double lambda = (end - movedBase).GetNorm();
        if (!(lambda >= 0.0)) {
            return false;
        }
        const double ahead = (end - (movedBase + movedV * lambda)).GetNorm();
        const double behind = (end - (movedBase - movedV * lambda)).GetNorm();
        if (!(ahead >= 0.0) || !(behind >= 0.0)) {
            return false;
        }
        positions[i] = behind < ahead ? -lambda : lambda;
    }
    m_axis = moved;
    m_range.SetRange(positions[0], positions[1], true, true);
    return BeConsistent();
}

// Each observed end point is moved onto the image of the axis (foot of its perpendicular) and
// lifted back onto the axis by intersecting its viewing ray with the axis, through the image
// coordinate along which the axis image extends more; the extent grows to the farthest pair of
// positions found.
bool C3DLineSegment::CalcRange(const C1DArray<SImageLine>& observations) {
    const C3DVector& u = m_axis.GetUVector();
    const C3DVector& v = m_axis.GetVVector();
    const double d = m_axis.GetDistance();
    double start = 0.0;
    double end = 0.0;
    bool first = true;
    const int n = observations.GetSize();
    for (int i = 0; i < n; ++i) {
        const SImageLine& observation = observations[i];
        const CExtrinsicParam& pose = observation.cameraParam.GetExtrinsicParam();
        const CIntrinsicParam& intrinsic = observation.cameraParam.GetIntrinsicParam();
        const CRotateMatrix camFromWorld(pose.GetRotateMatrix());
        const C3DCoordinate t(pose.GetTranslateVector(), WorldCoordinateSystem);
        const double f = intrinsic.GetFocalLengthParam();
        const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
        const double cx = principal.GetData(0);
        const double cy = principal.GetData(1);

        // The images of the axis points at positions 0.0 and 1.0.
        C2DCoordinate axisImage[2];
        bool inCameraPlane = false;
        for (int k = 0; k < 2; ++k) {
            const C3DVector pointInCam = camFromWorld * (u * d + v * static_cast<double>(k)) + t;
            const double z = pointInCam.GetData(2);
            if (z == 0.0 || std::isnan(z)) {
                inCameraPlane = true;
                break;
            }
            const double scale = f / z;
            axisImage[k].SetVector(scale * pointInCam.GetData(0) + cx,
                                   scale * pointInCam.GetData(1) + cy);
        }
        if (inCameraPlane) {
            continue;
        }
        C2DLineSegment axisSegment;
        axisSegment.SetEndPoints(axisImage[0], axisImage[1]);
        double axisLine[3];
        axisSegment.GetLineParams(axisLine);

        C2DCoordinate feet[2];
        observation.lineSegment.GetEndPoints(feet[0], feet[1]);
        dperpfoot(axisLine, feet[0], feet[0]);
        dperpfoot(axisLine, feet[1], feet[1]);

        const C3DVector uInCam = camFromWorld * u;
        const C3DVector vInCam = camFromWorld * v;
        // Read the feet in the column u where the axis image runs closer to horizontal, else in
        // the row v, whose values then change along the image and carry the position.
        const double du = axisImage[1].GetData(0) - axisImage[0].GetData(0);
        const double dv = axisImage[1].GetData(1) - axisImage[0].GetData(1);
        const int c = std::fabs(du) >= std::fabs(dv) ? 0 : 1;
        const double centre = c == 0 ? cx : cy;
        double positions[2];
        bool lifted = true;
        for (int k = 0; k < 2; ++k) {
            // With the viewing ray through coordinate xi = f (Bc.c + tau Vc.c) / (Bc.z + tau Vc.z).
            const double xi = feet[k].GetData(c) - centre;
            const double delta = vInCam.GetData(2) * xi - f * vInCam.GetData(c);
            if (delta == 0.0 || std::isnan(delta)) {
                lifted = false;
                break;
            }
            positions[k] = (f * (d * uInCam.GetData(c) + t.GetData(c)) -
                            (d * uInCam.GetData(2) + t.GetData(2)) * xi) /
                           delta;  // order fixed
            if (!std::isfinite(positions[k])) {
                lifted = false;  // overflowed: no position to read, as for a zero denominator
                break;
            }
        }
        if (!lifted) {
            continue;
        }

        if (first) {
            start = positions[0];
            end = positions[1];
            first = false;
            continue;
        }
        // The farthest pair of the four positions; a later pair wins only when strictly farther.
        const double spans[6] = {std::sqrt(Square(start - end)),
                                 std::sqrt(Square(positions[0] - positions[1])),
                                 std::sqrt(Square(start - positions[0])),
                                 std::sqrt(Square(start - positions[1])),
                                 std::sqrt(Square(end - positions[0])),
                                 std::sqrt(Square(end - positions[1]))};
        int farthest = 0;
        for (int k = 1; k < 6; ++k) {
            if (spans[k] > spans[farthest]) {
                farthest = k;
            }
        }
        switch (farthest) {
            case 1:
                start = positions[0];
                end = positions[1];
                break;
            case 2:
                end = positions[0];
                break;
            case 3:
                end = positions[1];
                break;
            case 4:
                start = positions[0];
                break;
            case 5:
                start = positions[1];
                break;
            default:
                break;  // the extent already spans the farthest pair
        }
    }
    m_endPoints[0] = v * start + u * d;
    m_endPoints[1] = v * end + u * d;
    m_range.SetRange(start, end, true, true);
    return true;
}

bool C3DLineSegment::AdjustLineSegmentWithCamera(const CCameraParam& camera,
                                                 C3DLineSegment& segment) const {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    C3DCoordinate ends[2];
    segment.GetEndPoint3D(ends);
    C3DVector e0 = pose.GetRotateMatrix() * ends[0] + pose.GetTranslateVector();
    C3DVector e1 = pose.GetRotateMatrix() * ends[1] + pose.GetTranslateVector();
    double x0 = e0.GetData(0);
    double y0 = e0.GetData(1);
    double z0 = e0.GetData(2);
    double x1 = e1.GetData(0);
    double y1 = e1.GetData(1);
    double z1 = e1.GetData(2);
    if (!(z0 >= 0.0) && !(z1 >= 0.0)) {
        return false;  // the whole segment lies behind the camera (or is not a number)
    }
    // Move an end behind the camera along the segment to the clip depth.
    const double delta = z0 - z1;
    if (delta != 0.0) {
        if (z0 < 0.0) {
            const double tau = kClipDepth - z0;
            x0 = (x0 - x1) * tau / delta + x0;  // order fixed
            y0 = y0 + (y0 - y1) * tau / delta;
            z0 = kClipDepth;
        } else if (z1 < 0.0) {
            const double tau = kClipDepth - z1;
            x1 = (x0 - x1) * tau / delta + x1;  // order fixed
            y1 = y1 + (y0 - y1) * tau / delta;
            z1 = kClipDepth;
        }
    }
    segment.SetEndPoint3D(C3DCoordinate(x0, y0, z0, WorldCoordinateSystem),
                          C3DCoordinate(x1, y1, z1, WorldCoordinateSystem));
    return true;
}

bool C3DLineSegment::Reproject(const CCameraParam& camera,
                               C2DLineSegment& segment,
                               const C2DCoordinate* observed,
                               double* residual) const {
    C3DLineSegment inCam(*this);
    if (!AdjustLineSegmentWithCamera(camera, inCam)) {
        return false;
    }
    C3DCoordinate ends[2];
    inCam.GetEndPoint3D(ends);
    if (!(ends[0].GetData(2) > 0.0) || !(ends[1].GetData(2) > 0.0)) {
        return false;
    }
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    const double f = intrinsic.GetFocalLengthParam();
    C2DCoordinate images[2];
    for (int k = 0; k < 2; ++k) {
        const double z = ends[k].GetData(2);
        images[k].SetVector(f * ends[k].GetData(0) / z, f * ends[k].GetData(1) / z);
        images[k] += intrinsic.GetPrincipalPointParam();
    }
    segment.SetEndPoints(images[0], images[1]);
    if (observed != nullptr && residual != nullptr) {
        const C2DLine line(segment);
        const double e0 = line.GetDistance(observed[0]);
        const double e1 = line.GetDistance(observed[1]);
        *residual = e0 < e1 ? e1 : e0;
        if (!(*residual >= 0.0)) {
            return false;  // a degenerate image line
        }
    }
    return true;
}

bool C3DLineSegment::BeConsistent() {
    m_axis.GetCoordinate(m_range, m_endPoints);
    return true;
}
