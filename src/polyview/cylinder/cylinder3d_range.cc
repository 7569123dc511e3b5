// Extent of a cylinder along its axis from the end points of the observed silhouette edges.

#include <cmath>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/numeric/perpendicular_foot.h"

// The two extreme axis positions reached by one observation's edge end points. Each end point
// is carried to the foot of its perpendicular on the projected axis and lifted back to the axis
// position whose image has the same x (projected axis nearer horizontal) or y. A position whose
// denominator is 0.0 or that is not finite is never computed and takes no part; with none
// computed the observation fails. False, ramda untouched, without an axis or radius. ends3D: the
// axis end points of GetEndPoint3D, formed once for all observations.
bool C3DCylinder::CalcRamda(const SImageCylinder& imageCylinder,
                            const C3DCoordinate* ends3D,
                            double* const ramda) const {
    const double distance = m_axis.GetDistance();
    if (distance == 0.0 || std::isnan(distance) || m_radius == 0.0 || std::isnan(m_radius)) {
        return false;
    }
    ramda[0] = 0.0;
    ramda[1] = 0.0;
    const CCameraParam& camera = imageCylinder.cameraParam;
    C2DCoordinate ends[2];
    ProjectEndPoints(camera, ends3D, ends[0], ends[1]);
    double axisLine[3];  // the projected axis, a u + b v + c = 0
    C2DLineSegment(ends[0], ends[1]).GetLineParams(axisLine);

    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    const C3DVector uInCam = pose.GetRotateMatrix() * m_axis.GetUVector();
    const C3DVector vInCam = pose.GetRotateMatrix() * m_axis.GetVVector();
    const C3DVector& translation = pose.GetTranslateVector();
    // The axis point at position t lies at footX/Y/Z + t vInCam in the camera frame.
    const double footX = distance * uInCam.GetData(0) + translation.GetData(0);
    const double footY = distance * uInCam.GetData(1) + translation.GetData(1);
    const double footZ = distance * uInCam.GetData(2) + translation.GetData(2);

    // Lift by x when the projected axis runs closer to horizontal (|slope| < 1, strictly), else
    // by y. The slope is read from the line's coefficients, not from the feet: for a nearly
    // horizontal line (normal form a = 1 with a huge b) the v of a foot is rounding noise.
    bool useX = false;
    if (axisLine[1] != 0.0) {
        const double slope = -axisLine[0] / axisLine[1];
        useX = -1.0 < slope && slope < 1.0;
    }

    // The observed end points (x, y pairs) and their slots: t0, t1 from edge 0; t2, t3 from edge 1.
    double points[8];
    int slots[4];
    int observed = 0;
    for (int k = 0; k < 2; ++k) {
        const C2DLineSegment& edge = imageCylinder.edgeSegment[k];
        if (edge.GetLength() == 0.0) {
            continue;
        }
        C2DCoordinate q[2];
        edge.GetEndPoints(q[0], q[1]);
        for (int j = 0; j < 2; ++j) {
            points[2 * observed] = q[j].GetData(0);
            points[2 * observed + 1] = q[j].GetData(1);
            slots[observed] = 2 * k + j;
            ++observed;
        }
    }
    dperpfeet(axisLine, observed, points, points);  // the feet, in place

    double values[4] = {0.0, 0.0, 0.0, 0.0};
    bool computed[4] = {false, false, false, false};
    for (int i = 0; i < observed; ++i) {
        const double ax = points[2 * i] - principal.GetData(0);  // relative to the principal point
        const double ay = points[2 * i + 1] - principal.GetData(1);
        double t = 0.0;
        if (useX) {
            const double den = vInCam.GetData(2) * ax - vInCam.GetData(0) * f;
            if (den == 0.0) {
                continue;
            }
            t = (footX * f - footZ * ax) / den;
        } else {
            const double den = vInCam.GetData(2) * ay - vInCam.GetData(1) * f;
            if (den == 0.0) {
                continue;
            }
            t = (footY * f - footZ * ay) / den;
        }
        if (!std::isfinite(t)) {
            continue;  // not a position
        }
        values[slots[i]] = t;
        computed[slots[i]] = true;
    }

    // The farthest pair among the computed values; the first of equal distances wins.
    const int pairs[6][2] = {{0, 1}, {2, 3}, {0, 2}, {1, 3}, {0, 3}, {1, 2}};
    int best = -1;
    double bestDistance = 0.0;
    for (int i = 0; i < 6; ++i) {
        const int first = pairs[i][0];
        const int second = pairs[i][1];
        if (!computed[first] || !computed[second]) {
            continue;
        }
        const double distance = std::fabs(values[first] - values[second]);
        if (best < 0 || distance > bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    if (best >= 0) {
        ramda[0] = values[pairs[best][0]];
        ramda[1] = values[pairs[best][1]];
        return true;
    }
    for (int i = 0; i < 4; ++i) {
        if (computed[i]) {
            ramda[0] = values[i];  // a single position: the observation reaches just that one
            ramda[1] = values[i];
            return true;
        }
    }
    return false;
}

bool C3DCylinder::CalcRange(const C1DArray<SImageCylinder>& imageCylinders) {
    C3DCoordinate ends[2];
    if (!GetEndPoint3D(ends[0], ends[1])) {
        return false;  // no axis or radius: no observation yields a position
    }
    bool found = false;
    double c0 = 0.0;
    double c1 = 0.0;
    for (int i = 0; i < imageCylinders.GetSize(); ++i) {
        double r[2];
        if (!CalcRamda(imageCylinders[i], ends, r)) {
            continue;
        }
        if (!found) {
            c0 = r[0];
            c1 = r[1];
            found = true;
            continue;
        }
        // Keep the farthest pair of the four values; a later separation wins only if larger.
        const double separations[6] = {std::fabs(c0 - c1),
                                       std::fabs(r[0] - r[1]),
                                       std::fabs(c0 - r[0]),
                                       std::fabs(c0 - r[1]),
                                       std::fabs(c1 - r[0]),
                                       std::fabs(c1 - r[1])};
        int best = 0;
        for (int j = 1; j < 6; ++j) {
            if (separations[j] > separations[best]) {
                best = j;
            }
        }
        switch (best) {
            case 1:
                c0 = r[0];
                c1 = r[1];
                break;
            case 2:
                c1 = r[0];
                break;
            case 3:
                c1 = r[1];
                break;
            case 4:
                c0 = r[0];
                break;
            case 5:
                c0 = r[1];
                break;
            default:
                break;
        }
    }
    if (!found) {
        return false;  // nothing usable: the range stays
    }
    if (c0 > c1) {
        const double swap = c0;
        c0 = c1;
        c1 = swap;
    }
    CRange range;
    range.SetRange(c0, c1, true, true);
    return Set3DCylinder(GetAxis(), range, GetRadius(), false, true, false);
}
