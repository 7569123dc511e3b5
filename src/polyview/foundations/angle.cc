#include "polyview/foundations/angle.h"

#include <cmath>

namespace {
const double kPi = 3.14159265358979323846;
}

CAngle::CAngle() : m_radian(0.0) {}
CAngle::CAngle(const CAngle& other) = default;
CAngle& CAngle::operator=(const CAngle& other) {
    m_radian = other.m_radian;
    return *this;
}
CAngle::~CAngle() = default;

void CAngle::SetDegree(double degree) {
    m_radian = degree * (kPi / 180.0);
}
void CAngle::ACos(double cosine) {
    const double clamped = cosine > 1.0 ? 1.0 : (cosine < -1.0 ? -1.0 : cosine);
    m_radian = std::acos(clamped);
}
double CAngle::GetRadian() const {
    return m_radian;
}
double CAngle::GetDegree() const {
    return m_radian * (180.0 / kPi);
}
