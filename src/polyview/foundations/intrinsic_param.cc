#include "polyview/foundations/intrinsic_param.h"

CIntrinsicParam::CIntrinsicParam() : m_focalLength(1.0), m_principalPoint(0.0, 0.0) {}
CIntrinsicParam::CIntrinsicParam(double focalLength, const C2DCoordinate& principalPoint)
    : m_focalLength(focalLength), m_principalPoint(principalPoint) {}
CIntrinsicParam::CIntrinsicParam(const CIntrinsicParam& other) = default;
CIntrinsicParam& CIntrinsicParam::operator=(const CIntrinsicParam& other) {
    m_focalLength = other.m_focalLength;
    m_principalPoint = other.m_principalPoint;
    return *this;
}
CIntrinsicParam::~CIntrinsicParam() = default;
C2DCoordinate CIntrinsicParam::GetPrincipalPointParam() const {
    return m_principalPoint;
}
void CIntrinsicParam::SetFocalLengthParam(double focalLength) {
    m_focalLength = focalLength;
}
void CIntrinsicParam::SetPrincipalPointParam(const C2DCoordinate& principalPoint) {
    m_principalPoint = principalPoint;
}
