#pragma once

class CExtrinsicParam;

// The solvers' read access to the rotations a pose keeps with its rotation matrix (formed when the
// rotation is set, so reading them costs nothing and never fails).
struct SPoseSolverAccess {
    // The point solver's rotation (camera from world, row-major), rebuilt from the pose's rotation
    // vector.
    static const double* PointRotation(const CExtrinsicParam& pose);
    // The line solver's rotation (drotvec2mat of the same rotation vector), row-major.
    static const double* LineRotation(const CExtrinsicParam& pose);
    // The rotation vector itself (3 doubles), as GetRotateMatrix().GetRotateVector() gives it.
    static const double* RotationVector(const CExtrinsicParam& pose);
};
