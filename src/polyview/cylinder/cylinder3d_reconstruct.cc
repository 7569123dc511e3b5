// Reconstruction of a cylinder's axis and radius from silhouette edges seen in several images.

#include <cmath>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/matrix_mn.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector_nd.h"
#include "polyview/shapes3d/line3d.h"

namespace {

// 1/7: the second-smallest eigenvalue must exceed seven times the smallest (strictly).
constexpr double kOneSeventh = 0.14285714285714285;

// The centre line of a record's two edges, when both were observed and it can be formed.
bool CentreLineOf(const SImageCylinder& record, C2DLineSegment& centre) {
    if (record.edgeSegment[0].GetLength() == 0.0 || record.edgeSegment[1].GetLength() == 0.0) {
        return false;
    }
    return record.edgeSegment[0].CalcCenterLine(record.edgeSegment[1], centre);
}

// Distance between the viewing line of an image point and the axis of the frame with rows V, U,
// V x U and distance d, given as footInWorld = d U (the frame's second row times d) and
// axisInWorld = V (its first row). Closest points of two unbounded lines from the 2 x 2 normal
// equations. -1.0 for a focal length of 0.0; 0.0 when the viewing line is parallel to the axis.
double CalcRayAxisDistance(const C3DVector& footInWorld,
                           const C3DVector& axisInWorld,
                           const CCameraParam& camera,
                           const C2DCoordinate& point) {
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    if (f == 0.0) {
        return -1.0;
    }
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector footInCam = pose.GetRotateMatrix() * footInWorld + pose.GetTranslateVector();
    const C3DVector axisInCam = pose.GetRotateMatrix() * axisInWorld;
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    const C3DVector ray((point.GetData(0) - principal.GetData(0)) / f,
                        (point.GetData(1) - principal.GetData(1)) / f,
                        1.0);
    const C3DVector w = footInCam * -1.0;  // from the axis foot point to the camera centre
    const double rr = ray.GetDotProduct(ray);
    const double ra = -(ray.GetDotProduct(axisInCam));
    const double aa = axisInCam.GetDotProduct(axisInCam);
    const double rw = ray.GetDotProduct(w);
    const double ww = w.GetDotProduct(w);
    const double det = std::fabs(aa * rr - ra * ra);
    if (!(det > 0.0)) {
        return 0.0;  // viewing line parallel to the axis
    }
    const double aw = -(axisInCam.GetDotProduct(w));
    const double inv = 1.0 / det;
    const double s = (aw * ra - rw * aa) * inv;  // on the viewing line s * ray
    const double t = (rw * ra - aw * rr) * inv;  // on the axis footInCam + t * axisInCam
    return std::sqrt(t * (t * aa + s * ra + 2.0 * aw) + s * (t * ra + s * rr + 2.0 * rw) + ww);
}

}  // namespace

bool C3DCylinder::CreateFromImageCylinder(const C1DArray<SImageCylinder>& imageCylinders,
                                          bool fullFit) {
    return fullFit ? CreateCylinder(imageCylinders) : CreateTempCylinder(imageCylinders);
}

// Centre-line method: the centre line between the two edges of each image is taken as the image
// of the axis, the axis is the 3D line through them, and the radius is the mean distance between
// the axis and the viewing lines of the edge end points.
bool C3DCylinder::CreateTempCylinder(const C1DArray<SImageCylinder>& imageCylinders) {
    const int count = imageCylinders.GetSize();
    // The records with a centre line, in order; the array is sized once and trimmed after.
    C1DArray<SImageLine> centreLines;
    centreLines.SetSize(count);
    if (centreLines.GetSize() != count) {
        return false;  // no storage
    }
    int accepted = 0;
    for (int i = 0; i < count; ++i) {
        C2DLineSegment centre;
        if (!CentreLineOf(imageCylinders[i], centre)) {
            continue;
        }
        centreLines[accepted].cameraParam = imageCylinders[i].cameraParam;
        centreLines[accepted].lineSegment = centre;
        ++accepted;
    }
    centreLines.SetSize(accepted);  // shrinking keeps the block
    if (accepted < 2) {
        return false;
    }
    C3DLine line;
    if (!line.CreateFromImageLines(centreLines)) {
        return false;
    }
    double params[4];
    line.Get3DAxis().GetFrom4Params(params);
    // The axis frame of the four numbers, formed once for every distance below.
    const CRotateMatrix frame = CRotateVector(C3DVector(params)).GetRotateMatrix();
    const C3DVector footInWorld = frame.GetRowVector(1) * params[3];
    const C3DVector axisInWorld = frame.GetRowVector(0);

    double sum = 0.0;
    int edges = 0;
    for (int i = 0; i < count; ++i) {
        C2DLineSegment centre;
        if (!CentreLineOf(imageCylinders[i], centre)) {
            continue;  // the same records as above, in the same order
        }
        const CCameraParam& camera = imageCylinders[i].cameraParam;
        for (const C2DLineSegment& edge : imageCylinders[i].edgeSegment) {
            C2DCoordinate q0;
            C2DCoordinate q1;
            edge.GetEndPoints(q0, q1);
            const double d0 = CalcRayAxisDistance(footInWorld, axisInWorld, camera, q0);
            const double d1 = CalcRayAxisDistance(footInWorld, axisInWorld, camera, q1);
            if (d0 > 0.0 && d1 > 0.0) {
                sum = (d1 + d0) + sum;
                ++edges;
            }
        }
    }
    if (edges == 0) {
        return false;
    }
    const double radius = sum / (2.0 * edges);
    if (!std::isfinite(radius)) {
        return false;  // the distances overflowed (cameras far beyond the scene's scale)
    }

    C3DAxis axis;
    axis.SetUVector(frame.GetRowVector(1));
    axis.SetVVector(frame.GetRowVector(0));
    axis.SetDistance(params[3]);
    Set3DCylinder(axis, CRange(), radius, true, false, true);
    return CalcRange(imageCylinders);
}

// Tangent-plane method. Each observed edge and its camera centre span a plane tangent to the
// cylinder, oriented so that the cylinder lies on its non-negative side: n . X + delta = radius
// on the axis. Differences of consecutive planes cancel the radius; the axis direction is the
// eigenvector of the smallest eigenvalue of A^T A (A: the normal differences), the axis point the
// least-squares solution of the difference equations with V . P = 0, the radius the mean plane
// distance of that point.
bool C3DCylinder::CreateCylinder(const C1DArray<SImageCylinder>& imageCylinders) {
    const int count = imageCylinders.GetSize();
    if (count < 2) {
        return false;
    }
    int planes = 0;
    for (int i = 0; i < count; ++i) {
        for (const C2DLineSegment& edge : imageCylinders[i].edgeSegment) {
            if (edge.GetLength() != 0.0) {
                ++planes;
            }
        }
    }
    if (planes < 3) {
        return false;
    }
    C1DArray<C3DVector> normals;  // world frame, unit
    C1DArray<double> constants;   // plane i: normals[i] . X + constants[i] = 0
    normals.SetSize(planes);
    constants.SetSize(planes);
    if (normals.GetSize() != planes || constants.GetSize() != planes) {
        return false;  // no storage
    }

    int plane = 0;
    for (int i = 0; i < count; ++i) {
        const SImageCylinder& record = imageCylinders[i];
        const CExtrinsicParam& pose = record.cameraParam.GetExtrinsicParam();
        const double f = record.cameraParam.GetIntrinsicParam().GetFocalLengthParam();
        const C2DCoordinate principal =
            record.cameraParam.GetIntrinsicParam().GetPrincipalPointParam();
        const bool seen[2] = {record.edgeSegment[0].GetLength() != 0.0,
                              record.edgeSegment[1].GetLength() != 0.0};
        for (int slot = 0; slot < 2; ++slot) {
            if (!seen[slot]) {
                continue;
            }
            const C2DLineSegment& edge = record.edgeSegment[slot];
            double line[3];  // a u + b v + c = 0
            edge.GetLineParams(line);
            bool negate = false;
            if (seen[1 - slot]) {
                // Two edges: the other edge on the non-negative side.
                C2DCoordinate other0;
                C2DCoordinate other1;
                record.edgeSegment[1 - slot].GetEndPoints(other0, other1);
                negate = line[0] * other0.GetData(0) + line[1] * other0.GetData(1) + line[2] < 0.0;
            } else {
                // One edge: the normal (a, b) along (dy, -dx) of the running direction, also for a
                // vertical edge (b = 0), which the slope test alone never turns.
                C2DCoordinate p0;
                C2DCoordinate p1;
                edge.GetEndPoints(p0, p1);
                const double dx = p1.GetData(0) - p0.GetData(0);
                const double dy = p1.GetData(1) - p0.GetData(1);
                negate = dx * line[1] > 0.0 || (line[1] == 0.0 && dy * line[0] < 0.0);
            }
            if (negate) {
                for (double& coefficient : line) {
                    coefficient = -coefficient;
                }
            }
            // The plane through the camera centre and the image line, camera frame.
            C3DVector normalInCam(
                line[0] * f,
                line[1] * f,
                line[0] * principal.GetData(0) + line[1] * principal.GetData(1) + line[2]);
            if (!normalInCam.GetNormalizedVector(normalInCam)) {
                return false;  // the edge spans no plane (focal length 0 or not a number)
            }
            constants[plane] = normalInCam.GetDotProduct(pose.GetTranslateVector());
            normals[plane] =
                (pose.GetRotateMatrix().GetTransposedMatrix() * normalInCam).GetNormalizedVector();
            ++plane;
        }
    }

    const int rows = planes - 1;
    CMNMatrix a(rows, 3, 0.0);
    C1DArray<double> beta;
    beta.SetSize(rows);
    if (beta.GetSize() != rows) {
        return false;
    }
    for (int i = 0; i < rows; ++i) {
        const C3DVector difference = normals[i + 1] - normals[i];
        for (int col = 0; col < 3; ++col) {
            a(i, col) = difference.GetData(col);
        }
        beta[i] = constants[i + 1] - constants[i];
    }
    const CMNMatrix normalMatrix = a.GetTransposed() * a;
    C1DArray<double> values;
    C1DArray<CNDVector> vectors;
    if (!normalMatrix.GetEigenVector4EigenValue(values, vectors)) {
        return false;
    }
    if (values.GetSize() < 2 || vectors.GetSize() < 1) {
        return false;
    }
    // Conditioning: the normals must turn around the axis enough to single out one direction.
    if (!(std::fabs(values[1] * kOneSeventh) > std::fabs(values[0]))) {
        return false;
    }
    C3DVector direction(static_cast<C3DVector>(vectors[0]));
    direction.Normalize();

    CMNMatrix b(rows + 1, 3, 0.0);
    CMNMatrix g(rows + 1, 1, 0.0);
    for (int i = 0; i < rows; ++i) {
        for (int col = 0; col < 3; ++col) {
            b(i, col) = a(i, col);
        }
        g(i, 0) = -beta[i];
    }
    for (int col = 0; col < 3; ++col) {
        b(rows, col) = direction.GetData(col);
    }
    g(rows, 0) = 0.0;
    const CMNMatrix bt = b.GetTransposed();
    C33Matrix inverse;
    if (!static_cast<C33Matrix>(bt * b).GetInverseMatrix(inverse)) {
        return false;
    }
    const CMNMatrix btg = bt * g;
    const C3DVector point = inverse * C3DVector(btg(0, 0), btg(1, 0), btg(2, 0));

    double sum = 0.0;
    for (int i = 0; i < planes; ++i) {
        sum += std::fabs(normals[i].GetDotProduct(point) + constants[i]);
    }
    const double radius = sum / planes;

    const C3DVector foot = point + direction * (-(direction.GetDotProduct(point)));
    if (!std::isfinite(radius) || !std::isfinite(foot.GetNorm())) {
        return false;  // the solve overflowed: no axis point or radius to store
    }
    const C3DAxis axis(foot.GetNormalizedVector(), direction, foot.GetNorm());
    Set3DCylinder(axis, CRange(), radius, true, false, true);
    return CalcRange(imageCylinders);
}
