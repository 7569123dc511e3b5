#include "polyview/numeric/perpendicular_foot.h"

#include <cmath>

#include "polyview/foundations/coordinate2d.h"

namespace {

const double kAxisThreshold = 1e-20;  // |a| or |b| below this (or NaN): an axis-parallel line

}  // namespace

void dperpfoot(const double* line, C2DCoordinate point, C2DCoordinate& foot) {
    const double a = line[0];
    const double b = line[1];
    const double c = line[2];
    const double x = point.GetData(0);
    const double y = point.GetData(1);
    if (!(std::fabs(a) >= kAxisThreshold)) {
        foot.SetVector(x, -c / b);  // horizontal: b v + c = 0
        return;
    }
    if (!(std::fabs(b) >= kAxisThreshold)) {
        foot.SetVector(-c / a, y);  // vertical: a u + c = 0
        return;
    }
    // The perpendicular through the point, u + mu v + kappa = 0, meets the line.
    const double mu = -a / b;
    const double kappa = -(mu * y + x);
    const double u = -(c * mu - kappa * b) / (a * mu - b);
    const double v = -((u * 1.0 + kappa) / mu);  // order fixed
    foot.SetVector(u, v);
}

void dperpfeet(const double* line, int count, const double* points, double* feet) {
    const double a = line[0];
    const double b = line[1];
    const double c = line[2];
    if (!(std::fabs(a) >= kAxisThreshold)) {
        const double v = -c / b;
        for (int k = 0; k < count; ++k) {
            feet[2 * k] = points[2 * k];
            feet[2 * k + 1] = v;
        }
        return;
    }
    if (!(std::fabs(b) >= kAxisThreshold)) {
        const double u = -c / a;
        for (int k = 0; k < count; ++k) {
            feet[2 * k] = u;
            feet[2 * k + 1] = points[2 * k + 1];
        }
        return;
    }
    // dperpfoot's terms that depend on the line alone, formed once.
    const double mu = -a / b;
    const double cMu = c * mu;
    const double denominator = a * mu - b;
    for (int k = 0; k < count; ++k) {
        const double kappa = -(mu * points[2 * k + 1] + points[2 * k]);
        const double u = -(cMu - kappa * b) / denominator;
        feet[2 * k] = u;
        feet[2 * k + 1] = -((u * 1.0 + kappa) / mu);  // order fixed
    }
}
