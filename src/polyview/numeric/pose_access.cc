#include "polyview/numeric/pose_access.h"

#include "polyview/foundations/extrinsic_param.h"

const double* SPoseSolverAccess::PointRotation(const CExtrinsicParam& pose) {
    return pose.m_pointRotation;
}
const double* SPoseSolverAccess::LineRotation(const CExtrinsicParam& pose) {
    return pose.m_lineRotation;
}
const double* SPoseSolverAccess::RotationVector(const CExtrinsicParam& pose) {
    return pose.m_rotationVector;
}
