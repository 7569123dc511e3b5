#include "polyview/cylinder/cylinder3d.h"

#include <cmath>

#include "polyview/foundations/matrix33.h"
#include "polyview/shapes3d/line_segment3d.h"

C3DCylinder::C3DCylinder() : m_axis(), m_range(), m_radius(1.0), m_startCircle(), m_height(0.0) {
    BeConsistent();
}

C3DCylinder::C3DCylinder(const C3DCylinder& other)
    : C3DShape(other),
      m_axis(other.m_axis),
      m_range(other.m_range),
      m_radius(other.m_radius),
      m_startCircle(other.m_startCircle),
      m_height(other.m_height) {}

C3DCylinder& C3DCylinder::operator=(const C3DCylinder& other) {
    m_axis = other.m_axis;
    m_range = other.m_range;
    m_radius = other.m_radius;
    m_startCircle = other.m_startCircle;
    m_height = other.m_height;
    return *this;
}

C3DCylinder::~C3DCylinder() = default;

bool C3DCylinder::Set3DCylinder(const C3DAxis& axis,
                                const CRange& range,
                                double radius,
                                bool setAxis,
                                bool setRange,
                                bool setRadius) {
    if (setAxis) {
        m_axis = axis;
    }
    if (setRange) {
        m_range = range;
    }
    if (setRadius) {
        m_radius = radius;
    }
    return BeConsistent();
}

void C3DCylinder::Initialize() {
    m_axis = C3DAxis();
    m_range = CRange();
    m_radius = 1.0;
    BeConsistent();  // keeps the start circle and height in step with the reset values
}

// Re-derives the start circle (centre at position s, the radius, normal V) and the height.
bool C3DCylinder::BeConsistent() {
    C3DCoordinate ends[2];
    m_axis.GetCoordinate(m_range, ends);
    m_startCircle.SetCenter(ends[0]);
    m_startCircle.SetRadius(m_radius);
    m_startCircle.SetNormalVector(C3DCoordinate(m_axis.GetVVector(), WorldCoordinateSystem));
    m_height = m_range.GetLength();
    return true;
}

bool C3DCylinder::Transform(const CRotateMatrix& rotation,
                            const C3DVector& translation,
                            double scale) {
    if (scale == 0.0 || std::isnan(scale)) {
        return false;
    }
    C3DLineSegment moved(m_axis, m_range);
    if (!moved.Transform(rotation, translation, scale)) {
        return false;
    }
    m_axis = moved.GetAxis();
    m_range = moved.GetRange();
    m_radius = m_radius / scale;
    return BeConsistent();
}

bool C3DCylinder::GetEndPoint3D(C3DCoordinate& start, C3DCoordinate& end) const {
    const double distance = m_axis.GetDistance();
    if (distance == 0.0 || std::isnan(distance)) {
        return false;  // no axis yet (or a distance that is not a number)
    }
    if (m_radius == 0.0 || std::isnan(m_radius)) {
        return false;
    }
    const C3DVector base = m_axis.GetUVector() * distance;
    start = base + m_axis.GetVVector() * m_range.GetStartPosition();
    end = base + m_axis.GetVVector() * m_range.GetEndPosition();
    return true;
}

bool C3DCylinder::GetEndPoint2D(const CCameraParam& camera,
                                C2DCoordinate& start,
                                C2DCoordinate& end) const {
    C3DCoordinate ends[2];
    if (!GetEndPoint3D(ends[0], ends[1])) {
        return false;
    }
    ProjectEndPoints(camera, ends, start, end);
    return true;
}

void C3DCylinder::ProjectEndPoints(const CCameraParam& camera,
                                   const C3DCoordinate* ends,
                                   C2DCoordinate& start,
                                   C2DCoordinate& end) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const CIntrinsicParam& intrinsic = camera.GetIntrinsicParam();
    const double f = intrinsic.GetFocalLengthParam();
    const C2DCoordinate principal = intrinsic.GetPrincipalPointParam();
    double image[2][2];  // [end][u or v]
    for (int i = 0; i < 2; ++i) {
        const C3DVector pointInCam = pose.GetRotateMatrix() * ends[i] + pose.GetTranslateVector();
        const double k = f / pointInCam.GetData(2);  // order fixed: quotient first
        image[i][0] = k * pointInCam.GetData(0) + principal.GetData(0);
        image[i][1] = k * pointInCam.GetData(1) + principal.GetData(1);
    }
    start.SetVector(image[0][0], image[0][1]);
    end.SetVector(image[1][0], image[1][1]);
}

// Silhouette edges as segments between the end circles. Works in a local frame with its origin
// at the start end point, z along the axis and x from the axis towards the camera, where the
// tangent points from the camera to a circle of radius r lie at angles +-acos(r / distance).
bool C3DCylinder::CalcProjectedEdge(const CCameraParam& camera, C2DLineSegment* const edges) const {
    C3DCoordinate ends[2];
    if (!GetEndPoint3D(ends[0], ends[1])) {
        return false;
    }
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector p0 = pose.GetRotateMatrix() * ends[0] + pose.GetTranslateVector();
    const C3DVector p1 = pose.GetRotateMatrix() * ends[1] + pose.GetTranslateVector();
    const double length = (p0 - p1).GetNorm();
    if (!(length > 0.0)) {
        return false;  // coincident end points
    }
    const C3DVector along = (p1 - p0) / length;
    const C3DVector normal = p1.GetCrossProduct(p0);
    const double normalLength = normal.GetNorm();
    if (!(normalLength > 0.0)) {
        return false;  // the axis line runs through the camera centre
    }
    const C3DVector e2 = normal / normalLength;
    const C3DVector e1 = along.GetCrossProduct(e2);
    // localFromCam: rows e1, e2 and the axis direction.
    const CRotateMatrix localFromCam(C33Matrix(e1.GetData(0),
                                               e1.GetData(1),
                                               e1.GetData(2),
                                               e2.GetData(0),
                                               e2.GetData(1),
                                               e2.GetData(2),
                                               along.GetData(0),
                                               along.GetData(1),
                                               along.GetData(2)));
    const C3DVector centreInLocal = (-1.0 * localFromCam) * p0;
    const double centreDistance = centreInLocal.GetData(0);
    if (centreDistance == 0.0 || std::isnan(centreDistance)) {
        return false;
    }
    const double r0 = m_radius;  // start circle
    const double r1 = m_radius;  // end circle
    const double rho = ((r1 - r0) * centreInLocal.GetData(2) / length + r0) / centreDistance;
    if (!(rho <= 1.0)) {
        return false;  // camera inside the cylinder (or not a number)
    }
    if (!(rho >= -1.0)) {
        return false;
    }
    C33Matrix camFromLocal;
    if (!localFromCam.GetInverseMatrix(camFromLocal)) {
        return false;
    }
    const double theta = std::acos(rho);
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    const C3DVector centreInCam = camFromLocal * centreInLocal;
    for (int i = 0; i < 2; ++i) {
        const double phi = (i == 0) ? theta : -theta;
        const C3DVector a =
            camFromLocal * C3DVector(r0 * std::cos(phi), r0 * std::sin(phi), 0.0) - centreInCam;
        const C3DVector b =
            camFromLocal * C3DVector(r1 * std::cos(phi), r1 * std::sin(phi), length) - centreInCam;
        C2DCoordinate imageA(f * a.GetData(0) / a.GetData(2), f * a.GetData(1) / a.GetData(2));
        C2DCoordinate imageB(f * b.GetData(0) / b.GetData(2), f * b.GetData(1) / b.GetData(2));
        imageA += principal;
        imageB += principal;
        edges[i].SetEndPoints(imageA, imageB);
    }
    return true;
}

// Silhouette edges as infinite lines: the two planes through the camera centre tangent to the
// infinite cylinder, written in the (U, V x U) cross-section of the axis and then imaged.
bool C3DCylinder::CalcProjectedEdge(const CCameraParam& camera, C2DLine* const lines) const {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C33Matrix& rotation = pose.GetRotateMatrix();
    const C3DVector negCentre = rotation.GetTransposedMatrix() * pose.GetTranslateVector();
    const C3DVector& u = m_axis.GetUVector();
    const C3DVector& v = m_axis.GetVVector();
    const C3DVector w = v.GetCrossProduct(u);
    const double p = negCentre.GetDotProduct(u) + m_axis.GetDistance();
    const double q = negCentre.GetDotProduct(w);
    const double r = m_radius;
    const double s2 = p * p + q * q;  // squared distance of the camera centre from the axis line
    if (!(s2 - r * r >= 0.0)) {
        return false;  // camera inside the cylinder (or not a number)
    }
    if (s2 == 0.0) {
        return false;  // camera on the axis line
    }
    const double t = std::sqrt(s2 - r * r);
    // clang-format off
    const double alpha[2] = {(t * q - r * p) / s2, (-r * p - t * q) / s2};
    const double beta[2]  = {(-r * q - t * p) / s2, (t * p - r * q) / s2};
    // clang-format on
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    const double cx = principal.GetData(0);
    const double cy = principal.GetData(1);
    const C3DVector uInCam = rotation * u;
    const C3DVector wInCam = rotation * w;
    for (int i = 0; i < 2; ++i) {
        const C3DVector n = uInCam * alpha[i] + wInCam * beta[i];
        const double nx = n.GetData(0);
        const double ny = n.GetData(1);
        const double params[3] = {nx, ny, f * n.GetData(2) - cx * nx - cy * ny};
        lines[i].SetLineParams(params);
    }
    return true;
}

bool C3DCylinder::Reproject(const CCameraParam& camera,
                            C2DLineSegment& centerLine,
                            C2DLineSegment* const edges,
                            const C2DCoordinate* observed,
                            double* distances,
                            double* maxDistance) const {
    if (edges == nullptr) {
        return false;
    }
    if (!CalcProjectedEdge(camera, edges)) {
        return false;
    }
    const C3DLineSegment centre(m_axis, m_range);
    if (!centre.Reproject(camera, centerLine, nullptr, nullptr)) {
        return false;  // the edges are already written
    }
    if (observed == nullptr || distances == nullptr || maxDistance == nullptr) {
        return true;
    }
    // The observed points are two on one edge and two on the other, in an unknown pairing: the
    // pairing with the smaller sum of distances is reported, a tie going to the swapped one.
    const C2DLine line0(edges[0]);
    const C2DLine line1(edges[1]);
    const double direct = (line0.GetDistance(observed[0]) + line0.GetDistance(observed[1])) +
                          (line1.GetDistance(observed[2]) + line1.GetDistance(observed[3]));
    const double swapped = (line0.GetDistance(observed[2]) + line0.GetDistance(observed[3])) +
                           (line1.GetDistance(observed[0]) + line1.GetDistance(observed[1]));
    const int first = (swapped <= direct) ? 2 : 0;  // observed points on edge 0
    const int second = 2 - first;                   // observed points on edge 1
    distances[0] = line0.GetDistance(observed[first]);
    distances[1] = line0.GetDistance(observed[first + 1]);
    distances[2] = line1.GetDistance(observed[second]);
    distances[3] = line1.GetDistance(observed[second + 1]);
    *maxDistance = distances[0];
    for (int i = 1; i < 4; ++i) {
        if (distances[i] > *maxDistance) {
            *maxDistance = distances[i];
        }
    }
    return true;
}
