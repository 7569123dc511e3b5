// Reconstruction of a cylinder's axis and radius from silhouette edges seen in several images.

#include <cmath>
#include <cstddef>

#include "polyview/cylinder/cylinder3d.h"
#include "polyview/foundations/matrix33.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/numeric/line_fit3d.h"
#include "polyview/numeric/pose_access.h"
#include "polyview/numeric/symmetric_eigen.h"
#include "polyview/numeric/workspace.h"

namespace {

const int kStackRecords = 32;  // up to this many records, the centre-line rows are on the stack
const int kStackPlanes = 64;   // up to this many tangent planes, their rows are on the stack

// 1/7: the second-smallest eigenvalue must exceed seven times the smallest (strictly).
constexpr double kOneSeventh = 0.14285714285714285;

// The centre line of a record's two edges, when both were observed and it can be formed.
bool CentreLineOf(const SImageCylinder& record, C2DLineSegment& centre) {
    if (record.edgeSegment[0].GetLength() == 0.0 || record.edgeSegment[1].GetLength() == 0.0) {
        return false;
    }
    return record.edgeSegment[0].CalcCenterLine(record.edgeSegment[1], centre);
}

// The axis of the frame with rows V, U, V x U and distance d, given as footInWorld = d U (the
// frame's second row times d) and axisInWorld = V (its first row), in one camera's frame, with
// the terms of the distances below that do not depend on the image point.
struct SAxisInCamera {
    bool usable;  // false for a focal length of 0.0
    double f;
    C2DCoordinate principal;
    C3DVector axisInCam;
    C3DVector w;  // from the axis foot point to the camera centre
    double aa;
    double ww;
    double aw;
};

void PlaceAxis(const C3DVector& footInWorld,
               const C3DVector& axisInWorld,
               const CCameraParam& camera,
               SAxisInCamera& terms) {
    terms.f = camera.GetIntrinsicParam().GetFocalLengthParam();
    terms.usable = terms.f != 0.0;
    if (!terms.usable) {
        return;
    }
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector footInCam = pose.GetRotateMatrix() * footInWorld + pose.GetTranslateVector();
    terms.axisInCam = pose.GetRotateMatrix() * axisInWorld;
    terms.principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    terms.w = footInCam * -1.0;
    terms.aa = terms.axisInCam.GetDotProduct(terms.axisInCam);
    terms.ww = terms.w.GetDotProduct(terms.w);
    terms.aw = -(terms.axisInCam.GetDotProduct(terms.w));
}

// Distance between the viewing line of an image point and the axis placed by PlaceAxis. Closest
// points of two unbounded lines from the 2 x 2 normal equations. -1.0 for a focal length of 0.0;
// 0.0 when the viewing line is parallel to the axis.
double CalcRayAxisDistance(const SAxisInCamera& terms, const C2DCoordinate& point) {
    if (!terms.usable) {
        return -1.0;
    }
    const double f = terms.f;
    const C3DVector ray((point.GetData(0) - terms.principal.GetData(0)) / f,
                        (point.GetData(1) - terms.principal.GetData(1)) / f,
                        1.0);
    const double rr = ray.GetDotProduct(ray);
    const double ra = -(ray.GetDotProduct(terms.axisInCam));
    const double aa = terms.aa;
    const double rw = ray.GetDotProduct(terms.w);
    const double ww = terms.ww;
    const double det = std::fabs(aa * rr - ra * ra);
    if (!(det > 0.0)) {
        return 0.0;  // viewing line parallel to the axis
    }
    const double aw = terms.aw;
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
    if (count < 2) {
        return false;
    }
    // The records with a centre line, in order, flattened as the 3D line fit takes them: camera
    // rows (the line solver's rotation kept with the pose, translation, focal length), line rows
    // (a, b, c, then the record's index), principal points. Beyond the stack they come from the
    // numeric workspace, whose refusal is a failure like any other.
    const CSmallMatrix<kStackRecords, 13> cameraRows(count - 1, 12);
    const CSmallMatrix<kStackRecords, 7> lineRows(count - 1, 6);
    const CSmallMatrix<kStackRecords, 1> principalXRows(count - 1, 0);
    const CSmallMatrix<kStackRecords, 1> principalYRows(count - 1, 0);
    if (cameraRows.Get() == nullptr || lineRows.Get() == nullptr ||
        principalXRows.Get() == nullptr || principalYRows.Get() == nullptr) {
        return false;  // no storage
    }
    double* const cameras = cameraRows.Get()[0];
    double* const lines = lineRows.Get()[0];
    double* const principalX = principalXRows.Get()[0];
    double* const principalY = principalYRows.Get()[0];
    int accepted = 0;
    for (int i = 0; i < count; ++i) {
        C2DLineSegment centre;
        if (!CentreLineOf(imageCylinders[i], centre)) {
            continue;
        }
        const CCameraParam& camera = imageCylinders[i].cameraParam;
        const CExtrinsicParam& pose = camera.GetExtrinsicParam();
        double* const cameraRow = cameras + 13 * static_cast<std::size_t>(accepted);
        double* const lineRow = lines + 7 * static_cast<std::size_t>(accepted);
        const double* const camFromWorld = SPoseSolverAccess::LineRotation(pose);
        for (int j = 0; j < 9; ++j) {
            cameraRow[j] = camFromWorld[j];
        }
        pose.GetTranslateVector().GetVector(cameraRow + 9);
        cameraRow[12] = camera.GetIntrinsicParam().GetFocalLengthParam();
        const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
        principalX[accepted] = principal.GetData(0);
        principalY[accepted] = principal.GetData(1);
        centre.GetLineParams(lineRow);
        lineRow[3] = i;  // not read by the fit
        ++accepted;
    }
    if (accepted < 2) {
        return false;
    }
    // The axis as C3DLine::CreateFromImageLines makes it from these centre lines.
    double fit[4];  // frame rotation vector, distance
    if (dfitline3d_matrices(accepted, cameras, lines, principalX, principalY, fit) == 0) {
        return false;
    }
    const CRotateMatrix lineFrame = CRotateVector(C3DVector(fit)).GetRotateMatrix();
    C3DAxis fitted;
    fitted.SetUVector(lineFrame.GetRowVector(1));
    fitted.SetVVector(lineFrame.GetRowVector(0));
    fitted.SetDistance(fit[3]);
    double params[4];
    fitted.GetFrom4Params(params);
    // The axis frame of the four numbers, formed once for every distance below.
    const CRotateMatrix frame = CRotateVector(C3DVector(params)).GetRotateMatrix();
    const C3DVector footInWorld = frame.GetRowVector(1) * params[3];
    const C3DVector axisInWorld = frame.GetRowVector(0);

    double sum = 0.0;
    int edges = 0;
    for (int k = 0; k < accepted; ++k) {
        const SImageCylinder& record =
            imageCylinders[static_cast<int>(lines[7 * static_cast<std::size_t>(k) + 3])];
        SAxisInCamera terms;
        PlaceAxis(footInWorld, axisInWorld, record.cameraParam, terms);
        for (const C2DLineSegment& edge : record.edgeSegment) {
            C2DCoordinate q0;
            C2DCoordinate q1;
            edge.GetEndPoints(q0, q1);
            const double d0 = CalcRayAxisDistance(terms, q0);
            const double d1 = CalcRayAxisDistance(terms, q1);
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
    // Plane i: row i holds its unit normal in the world frame (n0, n1, n2) and its constant c,
    // n . X + c = 0. Beyond the stack the rows come from the numeric workspace, whose refusal is
    // a failure like any other.
    const CSmallMatrix<kStackPlanes, 4> planeRows(planes - 1, 3);
    if (planeRows.Get() == nullptr) {
        return false;  // no storage
    }
    double** const planeOf = planeRows.Get();

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
            const C3DVector normal =
                (pose.GetRotateMatrix().GetTransposedMatrix() * normalInCam).GetNormalizedVector();
            for (int col = 0; col < 3; ++col) {
                planeOf[plane][col] = normal.GetData(col);
            }
            planeOf[plane][3] = normalInCam.GetDotProduct(pose.GetTranslateVector());
            ++plane;
        }
    }

    // A: the normal differences, beta the constant differences, row i from planes i and i + 1.
    // The products below sum from 0.0 over the rows in order, as the dense matrix products do.
    const int rows = planes - 1;
    double normalMatrix[9];  // A^T A, row-major
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double product = 0.0;
            for (int i = 0; i < rows; ++i) {
                product +=
                    (planeOf[i + 1][r] - planeOf[i][r]) * (planeOf[i + 1][c] - planeOf[i][c]);
            }
            normalMatrix[3 * r + c] = product;
        }
    }
    double byMagnitude[3];
    double columns[9];  // unit eigenvectors as columns, row-major
    if (!dsymeig_sorted_small(normalMatrix, 3, byMagnitude, columns)) {
        return false;
    }
    // Ascending by value, keeping the solver's order among equal values: a straight insertion
    // from the back.
    int order[3] = {0, 1, 2};
    for (int i = 1; i < 3; ++i) {
        const int moving = order[i];
        int j = i;
        for (; j > 0 && byMagnitude[moving] < byMagnitude[order[j - 1]]; --j) {
            order[j] = order[j - 1];
        }
        order[j] = moving;
    }
    // Conditioning: the normals must turn around the axis enough to single out one direction.
    if (!(std::fabs(byMagnitude[order[1]] * kOneSeventh) > std::fabs(byMagnitude[order[0]]))) {
        return false;
    }
    C3DVector direction(columns[order[0]], columns[3 + order[0]], columns[6 + order[0]]);
    direction.Normalize();

    // B = [A; V^T], g = [-beta; 0]: B^T B (A^T A, whose sums it continues, plus V V^T) and B^T g,
    // each sum from 0.0 in row order.
    const double directionAt[3] = {
        direction.GetData(0), direction.GetData(1), direction.GetData(2)};
    double btb[9];
    double btg[3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            btb[3 * r + c] = normalMatrix[3 * r + c] + directionAt[r] * directionAt[c];
        }
        double product = 0.0;
        for (int i = 0; i < rows; ++i) {
            product += (planeOf[i + 1][r] - planeOf[i][r]) * -(planeOf[i + 1][3] - planeOf[i][3]);
        }
        product += directionAt[r] * 0.0;
        btg[r] = product;
    }
    C33Matrix inverse;
    if (!C33Matrix(btb[0], btb[1], btb[2], btb[3], btb[4], btb[5], btb[6], btb[7], btb[8])
             .GetInverseMatrix(inverse)) {
        return false;
    }
    const C3DVector point = inverse * C3DVector(btg[0], btg[1], btg[2]);

    double sum = 0.0;
    for (int i = 0; i < planes; ++i) {
        const C3DVector normal(planeOf[i][0], planeOf[i][1], planeOf[i][2]);
        sum += std::fabs(normal.GetDotProduct(point) + planeOf[i][3]);
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
