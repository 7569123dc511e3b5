#pragma once

#include "polyview/polyview.h"

// A camera at centre whose optical axis (z) points at target; its x axis is z x hint.
inline CCameraParam BenchCamera(const C3DVector& centre,
                                const C3DVector& target,
                                const C3DVector& hint,
                                double focalLength,
                                const C2DCoordinate& principalPoint) {
    const C3DVector zAxis = (target - centre).GetNormalizedVector();
    const C3DVector xAxis = zAxis.GetCrossProduct(hint).GetNormalizedVector();
    const C3DVector yAxis = zAxis.GetCrossProduct(xAxis);
    const CRotateMatrix camFromWorld(C33Matrix(xAxis.GetData(0),
                                               xAxis.GetData(1),
                                               xAxis.GetData(2),
                                               yAxis.GetData(0),
                                               yAxis.GetData(1),
                                               yAxis.GetData(2),
                                               zAxis.GetData(0),
                                               zAxis.GetData(1),
                                               zAxis.GetData(2)));
    return CCameraParam(CIntrinsicParam(focalLength, principalPoint),
                        CExtrinsicParam(camFromWorld, (camFromWorld * centre) * -1.0));
}

// Pinhole image of a world point.
inline C2DCoordinate BenchProject(const CCameraParam& camera, const C3DVector& pointInWorld) {
    const CExtrinsicParam& pose = camera.GetExtrinsicParam();
    const C3DVector pointInCam = pose.GetRotateMatrix() * pointInWorld + pose.GetTranslateVector();
    const double f = camera.GetIntrinsicParam().GetFocalLengthParam();
    const C2DCoordinate principal = camera.GetIntrinsicParam().GetPrincipalPointParam();
    return C2DCoordinate(f * pointInCam.GetData(0) / pointInCam.GetData(2) + principal.GetData(0),
                         f * pointInCam.GetData(1) / pointInCam.GetData(2) + principal.GetData(1));
}
