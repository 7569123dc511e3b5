#include "workbench/epipolar.h"

#include <cmath>

#include "polyview/foundations/essential_matrix.h"
#include "polyview/foundations/extrinsic_param.h"
#include "polyview/foundations/fundamental_matrix.h"
#include "polyview/geometry2d/epipolar_line2d.h"

namespace workbench {

std::vector<core::Polyline> EpipolarPolylines(const CCamera& from,
                                              const core::Pixel& pick,
                                              const CCamera& to) {
    C2DCoordinate ideal;
    if (!core::ToIdeal(from, pick, ideal)) {
        return {};
    }
    // F with x_to^T F x_from = 0: F (x_from, 1) is the line in to's ideal image.
    CExtrinsicParam relative;
    relative.SetDifferenceTwoExtrinsicParams(to.GetCameraParam().GetExtrinsicParam(),
                                             from.GetCameraParam().GetExtrinsicParam());
    const CEssentialMatrix essential(relative);
    CFundamentalMatrix fundamental;
    if (!essential.CalcFundamentalMatrix(to.GetCameraParam().GetIntrinsicParam(),
                                         from.GetCameraParam().GetIntrinsicParam(),
                                         fundamental)) {
        return {};
    }
    CEpipolarLine line;
    line.Create(fundamental, ideal);
    double coefficients[3];
    line.GetLineParams(coefficients);
    for (const double value : coefficients) {
        if (!std::isfinite(value)) {
            return {};
        }
    }
    if (coefficients[0] == 0.0 && coefficients[1] == 0.0) {
        return {};  // the cameras share their centre: no epipolar geometry
    }
    return core::ObservedLinePolylines(to, line);
}

}  // namespace workbench
