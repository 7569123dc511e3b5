#include "polyview/geometry2d/line_segment2d.h"

#include <cmath>

#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/essential_matrix.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/vector3d.h"
#include "polyview/geometry2d/line2d.h"

namespace {

// End points no farther apart than this in x (else in y) give the vertical (horizontal) form.
const double kAxisAlignedThreshold = 1e-20;

// Whether either component is not a number. A NaN end point can hide behind finite coefficients
// (the NaN x of (0, 0)-(NaN, 0) still gives the horizontal form), so it is checked on the points.
bool HasNan(const C2DVector& point) {
    return std::isnan(point.GetData(0)) || std::isnan(point.GetData(1));
}

}  // namespace

C2DLineSegment::C2DLineSegment() : m_a(1.0), m_b(0.0), m_c(0.0) {
    m_start.SetVector(0.0, 0.0);
    m_end.SetVector(0.0, 1.0);
}

C2DLineSegment::C2DLineSegment(const C2DLineSegment& other)
    : m_a(other.m_a), m_b(other.m_b), m_c(other.m_c) {
    m_start = other.m_start;
    m_end = other.m_end;
}

C2DLineSegment::C2DLineSegment(const C2DCoordinate& start, const C2DCoordinate& end)
    : m_a(1.0), m_b(0.0), m_c(0.0) {
    SetEndPoints(start, end);
}

const C2DLineSegment& C2DLineSegment::operator=(const C2DLineSegment& other) {
    if (this != &other) {
        m_a = other.m_a;
        m_b = other.m_b;
        m_c = other.m_c;
        m_start = other.m_start;
        m_end = other.m_end;
    }
    return *this;
}

C2DLineSegment::~C2DLineSegment() = default;

void C2DLineSegment::GetEndPoints(C2DCoordinate& start, C2DCoordinate& end) const {
    start = m_start;
    end = m_end;
}

void C2DLineSegment::SetEndPoints(const C2DCoordinate& start, const C2DCoordinate& end) {
    // Through copies, so that start or end may be one of this segment's own points.
    const C2DVector newStart = start;
    const C2DVector newEnd = end;
    m_start = newStart;
    m_end = newEnd;
    CalcDirectionVector();
}

void C2DLineSegment::GetLineParams(double* const params) const {
    params[0] = m_a;
    params[1] = m_b;
    params[2] = m_c;
}

C2DVector C2DLineSegment::GetVector() const {
    return C2DVector(-m_b, m_a);
}

double C2DLineSegment::GetLength() const {
    return (m_end - m_start).GetNorm();
}

C2DCoordinate C2DLineSegment::GetCenterCoordinate() const {
    return C2DCoordinate((m_end.GetData(0) + m_start.GetData(0)) * 0.5,
                         (m_end.GetData(1) + m_start.GetData(1)) * 0.5,
                         WorldCoordinateSystem);
}

// Nearly collinear segments merge into the farthest pair of their four end points, the first
// such pair in the order (0,1), (0,2), (0,3), (1,2), (1,3), (2,3).
bool C2DLineSegment::Unify(const C2DLineSegment& segment,
                           C2DLineSegment& unified,
                           double tolerance) const {
    if (tolerance < 0.0 || std::isnan(tolerance)) {
        return false;
    }
    if (HasNan(m_start) || HasNan(m_end) || HasNan(segment.m_start) || HasNan(segment.m_end)) {
        return false;
    }
    const C2DLine line(*this);
    const double d1 = line.GetDistance(segment.m_start);
    const double d2 = line.GetDistance(segment.m_end);
    if (d1 < 0.0 || d2 < 0.0) {
        return false;
    }
    if ((d2 + d1) * 0.5 > tolerance) {
        return false;
    }
    // Copies, so that unified may be this segment or the other one.
    const C2DVector points[4] = {m_start, m_end, segment.m_start, segment.m_end};
    double best = 0.0;
    int bestStart = -1;
    int bestEnd = -1;
    for (int i = 0; i < 3; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const double length = (points[j] - points[i]).GetNorm();
            if (length > best) {
                best = length;
                bestStart = i;
                bestEnd = j;
            }
        }
    }
    if (bestStart >= 0) {
        unified.m_start = points[bestStart];
        unified.m_end = points[bestEnd];
    }
    unified.CalcDirectionVector();
    return true;
}

// The supporting line must cross the half-open image border twice, and the end points must not
// both lie beyond the same border line.
bool C2DLineSegment::IsIn(double width, double height) const {
    if (HasNan(m_start) || HasNan(m_end)) {
        return false;
    }
    int crossings = 0;
    if (m_b != 0.0) {
        const double yLeft = -(m_c / m_b);
        if (0.0 <= yLeft && yLeft < height) {
            ++crossings;
        }
        const double yRight = -((width * m_a + m_c) / m_b);
        if (0.0 <= yRight && yRight < height) {
            ++crossings;
        }
    }
    if (m_a != 0.0) {
        const double xBottom = -(m_c / m_a);
        if (0.0 <= xBottom && xBottom < width) {
            ++crossings;
        }
        const double xTop = -((height * m_b + m_c) / m_a);
        if (0.0 <= xTop && xTop < width) {
            ++crossings;
        }
    }
    if (crossings < 2) {
        return false;
    }
    const double x1 = m_start.GetData(0), y1 = m_start.GetData(1);
    const double x2 = m_end.GetData(0), y2 = m_end.GetData(1);
    if (x1 < 0.0 && x2 < 0.0) {
        return false;
    }
    if (y1 < 0.0 && y2 < 0.0) {
        return false;
    }
    if (x1 >= width && x2 >= width) {
        return false;
    }
    if (y1 >= height && y2 >= height) {
        return false;
    }
    return true;
}

// The epipolar line in camera2's image is F^T (x, y, 1) for x1^T F x2 = 0, written as
// y = slope x + intercept and sampled at the two x bounds.
bool C2DLineSegment::SetEpipolarLine(const CCameraParam& camera1,
                                     const CCameraParam& camera2,
                                     const C2DCoordinate& point,
                                     int xStart,
                                     int xEnd) {
    CExtrinsicParam relative;
    relative.SetDifferenceTwoExtrinsicParams(camera1.GetExtrinsicParam(),
                                             camera2.GetExtrinsicParam());
    const CEssentialMatrix essential(relative);
    CFundamentalMatrix fundamental;
    if (!essential.CalcFundamentalMatrix(
            camera1.GetIntrinsicParam(), camera2.GetIntrinsicParam(), fundamental)) {
        return false;
    }
    const C3DCoordinate homogeneous(point, 1.0, WorldCoordinateSystem);
    const C3DVector line = fundamental.GetTransposedMatrix() * homogeneous;
    const double l0 = line.GetData(0), l1 = line.GetData(1), l2 = line.GetData(2);
    if (l1 == 0.0 || std::isnan(l1)) {
        return false;  // vertical: not a function of x
    }
    const double slope = -(l0 / l1);
    const double intercept = -(l2 / l1);
    const double x1 = static_cast<double>(xStart);
    const double x2 = static_cast<double>(xEnd);
    const double y1 = slope * x1 + intercept;
    const double y2 = slope * x2 + intercept;
    if (!std::isfinite(y1) || !std::isfinite(y2)) {
        return false;
    }
    SetEndPoints(C2DCoordinate(x1, y1, WorldCoordinateSystem),
                 C2DCoordinate(x2, y2, WorldCoordinateSystem));
    return true;
}

// The centre line of the two supporting lines, cut to the span of the four end points along the
// axis the centre line runs closer to.
bool C2DLineSegment::CalcCenterLine(const C2DLineSegment& segment, C2DLineSegment& center) const {
    if (HasNan(m_start) || HasNan(m_end) || HasNan(segment.m_start) || HasNan(segment.m_end)) {
        return false;
    }
    C2DLine centerLine;
    if (!C2DLine(*this).CalcCenterLine(C2DLine(segment), centerLine)) {
        return false;
    }
    double params[3];  // Ca, Cb, Cc
    centerLine.GetLineParams(params);
    const double ca = params[0], cb = params[1], cc = params[2];
    const C2DVector points[4] = {m_start, m_end, segment.m_start, segment.m_end};
    double x1, y1, x2, y2;
    if (std::fabs(cb) > std::fabs(ca)) {
        double xMin = points[0].GetData(0);
        double xMax = xMin;
        for (int i = 1; i < 4; ++i) {
            const double x = points[i].GetData(0);
            if (x < xMin) {
                xMin = x;
            }
            if (x > xMax) {
                xMax = x;
            }
        }
        x1 = xMin;
        y1 = (-(xMin * ca) - cc) / cb;
        x2 = xMax;
        y2 = (-(xMax * ca) - cc) / cb;
    } else {
        if (ca == 0.0) {
            return false;
        }
        double yMin = points[0].GetData(1);
        double yMax = yMin;
        for (int i = 1; i < 4; ++i) {
            const double y = points[i].GetData(1);
            if (y < yMin) {
                yMin = y;
            }
            if (y > yMax) {
                yMax = y;
            }
        }
        x1 = (-(yMin * cb) - cc) / ca;
        y1 = yMin;
        x2 = (-(yMax * cb) - cc) / ca;
        y2 = yMax;
    }
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2)) {
        return false;
    }
    center.SetEndPoints(C2DCoordinate(x1, y1, WorldCoordinateSystem),
                        C2DCoordinate(x2, y2, WorldCoordinateSystem));
    return true;
}

// Two-point form normalised to a = 1, with the axis-parallel cases (equality included) taking the
// vertical form first; equal end points therefore give the vertical line through them.
void C2DLineSegment::CalcDirectionVector() {
    const double x1 = m_start.GetData(0), y1 = m_start.GetData(1);
    const double x2 = m_end.GetData(0), y2 = m_end.GetData(1);
    if (std::fabs(x1 - x2) <= kAxisAlignedThreshold) {
        m_a = 1.0;
        m_b = 0.0;
        m_c = -x1;
        return;
    }
    const double d = y1 - y2;
    if (std::fabs(d) <= kAxisAlignedThreshold) {
        m_a = 0.0;
        m_b = 1.0;
        m_c = -y1;
        return;
    }
    m_a = 1.0;
    m_b = (x2 - x1) / d;
    m_c = (y2 * x1 - x2 * y1) / d;
}
