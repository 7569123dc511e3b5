#pragma once

#include <cmath>
#include <random>

#include "polyview/foundations/camera_param.h"
#include "polyview/foundations/coordinate2d.h"
#include "polyview/foundations/coordinate3d.h"
#include "polyview/foundations/rotate_matrix.h"
#include "polyview/foundations/rotate_vector.h"
#include "polyview/foundations/vector3d.h"

// A camera at centreInWorld looking at targetInWorld (optical axis +z towards the target), with
// the image y axis roughly along -up.
inline CCameraParam LookAtCamera(const C3DVector& centreInWorld,
                                 const C3DVector& targetInWorld,
                                 double focalLength,
                                 double cx = 0.0,
                                 double cy = 0.0,
                                 const C3DVector& up = C3DVector(0.0, 0.0, 1.0)) {
    const C3DVector zAxis = (targetInWorld - centreInWorld).GetNormalizedVector();
    C3DVector xAxis = zAxis.GetCrossProduct(up * -1.0);
    if (xAxis.GetNorm() < 1e-9) {
        xAxis = zAxis.GetCrossProduct(C3DVector(0.0, 1.0, 0.0));
    }
    xAxis = xAxis.GetNormalizedVector();
    const C3DVector yAxis = zAxis.GetCrossProduct(xAxis);
    // Rows of camFromWorld are the camera axes in world coordinates.
    const CRotateMatrix camFromWorld(C33Matrix(xAxis.GetData(0),
                                               xAxis.GetData(1),
                                               xAxis.GetData(2),
                                               yAxis.GetData(0),
                                               yAxis.GetData(1),
                                               yAxis.GetData(2),
                                               zAxis.GetData(0),
                                               zAxis.GetData(1),
                                               zAxis.GetData(2)));
    const C3DVector translation = (camFromWorld * centreInWorld) * -1.0;
    return CCameraParam(CIntrinsicParam(focalLength, C2DCoordinate(cx, cy)),
                        CExtrinsicParam(camFromWorld, translation));
}

// Pinhole projection of a world point, computed independently of the library's shapes.
inline C2DCoordinate ProjectPoint(const CCameraParam& camera, const C3DVector& pointInWorld) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector pointInCam = pose.GetRotateMatrix() * pointInWorld + pose.GetTranslateVector();
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    return C2DCoordinate(f * pointInCam.GetData(0) / pointInCam.GetData(2) + principal.GetData(0),
                         f * pointInCam.GetData(1) / pointInCam.GetData(2) + principal.GetData(1));
}

// The camera centre in world coordinates, -R^T T.
inline C3DVector CameraCentre(const CCameraParam& camera) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    return (pose.GetRotateMatrix().GetTransposedMatrix() * pose.GetTranslateVector()) * -1.0;
}

// A uniformly random rotation (from a random unit quaternion), for a seeded generator.
inline CRotateMatrix RandomRotation(std::mt19937_64& generator) {
    std::normal_distribution<double> normal(0.0, 1.0);
    double q[4];
    double length = 0.0;
    for (double& value : q) {
        value = normal(generator);
        length += value * value;
    }
    length = std::sqrt(length);
    const double w = q[0] / length, x = q[1] / length, y = q[2] / length, z = q[3] / length;
    return CRotateMatrix(C33Matrix(1 - 2 * (y * y + z * z),
                                   2 * (x * y - w * z),
                                   2 * (x * z + w * y),
                                   2 * (x * y + w * z),
                                   1 - 2 * (x * x + z * z),
                                   2 * (y * z - w * x),
                                   2 * (x * z - w * y),
                                   2 * (y * z + w * x),
                                   1 - 2 * (x * x + y * y)));
}
