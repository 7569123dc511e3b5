#pragma once

#include "polyview/foundations/array1d.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/intrinsic_param.h"
#include "polyview/foundations/tangential_distortion.h"
#include "polyview/polyview_export.h"

// A calibrated camera: intrinsics, pose and (never applied) tangential distortion.
class POLYVIEW_EXPORT CCameraParam {
  public:
    CCameraParam();  // default intrinsics and pose
    CCameraParam(const CIntrinsicParam& intrinsic, const CExtrinsicParam& extrinsic);
    CCameraParam(const CCameraParam& other);
    CCameraParam& operator=(const CCameraParam& other);
    virtual ~CCameraParam();

    const CIntrinsicParam& GetIntrinsicParam() const { return m_intrinsic; }
    const CExtrinsicParam& GetExtrinsicParam() const { return m_extrinsic; }
    void SetIntrinsicParam(const CIntrinsicParam& intrinsic);
    void SetExtrinsicParam(const CExtrinsicParam& extrinsic);

  private:
    CIntrinsicParam m_intrinsic;
    CExtrinsicParam m_extrinsic;
    CTangentialDistortion m_distortion;
};

POLYVIEW_BITWISE_RELOCATABLE(CCameraParam);
