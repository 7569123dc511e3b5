#include "polyview/foundations/tangential_distortion.h"

CTangentialDistortion::CTangentialDistortion() : m_p1(0.0), m_p2(0.0) {}
CTangentialDistortion::CTangentialDistortion(const CTangentialDistortion& other) = default;
CTangentialDistortion& CTangentialDistortion::operator=(const CTangentialDistortion& other) {
    m_p1 = other.m_p1;
    m_p2 = other.m_p2;
    return *this;
}
CTangentialDistortion::~CTangentialDistortion() = default;
