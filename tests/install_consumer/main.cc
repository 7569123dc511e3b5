// A client of the installed package: projects a point through a calibrated camera.
#include <cmath>
#include <cstdio>

#include "polyview/polyview.h"

int main() {
    const CCameraParam camera(CIntrinsicParam(1000.0, C2DCoordinate(320.0, 240.0)),
                              CExtrinsicParam());
    const C3DPoint point(C3DCoordinate(0.1, -0.2, 2.0));
    C2DCoordinate image;
    if (!point.Reproject(camera, image, nullptr, nullptr)) {
        return 1;
    }
    std::printf("projected to (%.1f, %.1f)\n", image.GetData(0), image.GetData(1));
    return std::fabs(image.GetData(0) - 370.0) < 1e-9 && std::fabs(image.GetData(1) - 140.0) < 1e-9
               ? 0
               : 1;
}
