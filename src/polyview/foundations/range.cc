#include "polyview/foundations/range.h"

#include <cmath>

CRange::CRange() : m_start(0.0), m_end(1.0) {}
CRange::CRange(double start, double end) : m_start(start), m_end(end) {}
CRange::CRange(const CRange& other) = default;
CRange& CRange::operator=(const CRange& other) {
    m_start = other.m_start;
    m_end = other.m_end;
    return *this;
}
CRange::~CRange() = default;

double CRange::GetStartPosition() const {
    return m_start;
}
double CRange::GetEndPosition() const {
    return m_end;
}
bool CRange::SetRange(double start, double end, bool setStart, bool setEnd) {
    if (setStart) {
        m_start = start;
    }
    if (setEnd) {
        m_end = end;
    }
    return true;
}
double CRange::GetLength() const {
    return std::fabs(m_start - m_end);
}
