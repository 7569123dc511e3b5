#include "polyview/foundations/camera_param.h"

CCameraParam::CCameraParam() = default;
CCameraParam::CCameraParam(const CIntrinsicParam& intrinsic, const CExtrinsicParam& extrinsic)
    : m_intrinsic(intrinsic), m_extrinsic(extrinsic) {}
CCameraParam::CCameraParam(const CCameraParam& other) = default;
CCameraParam& CCameraParam::operator=(const CCameraParam& other) {
    m_intrinsic = other.m_intrinsic;
    m_extrinsic = other.m_extrinsic;
    m_distortion = other.m_distortion;
    return *this;
}
CCameraParam::~CCameraParam() = default;
void CCameraParam::SetIntrinsicParam(const CIntrinsicParam& intrinsic) {
    m_intrinsic = intrinsic;
}
void CCameraParam::SetExtrinsicParam(const CExtrinsicParam& extrinsic) {
    m_extrinsic = extrinsic;
}
