// SPDX-License-Identifier: GPL-3.0-or-later
#include "measure/soak/SoakFits.h"

#include <algorithm>
#include <cmath>

void CLineFit::Add(double x, double y)
{
    ++n;
    const double dx = x - mx, dy = y - my;
    mx += dx / static_cast<double>(n);
    my += dy / static_cast<double>(n);
    sxx += dx * (x - mx);
    sxy += dx * (y - my);
    syy += dy * (y - my);
}

double CLineFit::SlopeError() const
{
    if (n < 3 || sxx <= 0)
        return 0;
    const double residual = std::max(0.0, syy - sxy * sxy / sxx);
    return std::sqrt(residual / static_cast<double>(n - 2) / sxx);
}

void CPiecewiseSlope::Break()
{
    if (piece.n == 0)
        return;
    closed.sxx += piece.sxx;
    closed.sxy += piece.sxy;
    closed.syy += piece.syy;
    closedPoints += piece.n;
    ++closedPieces;
    piece = CLineFit{};
}

double CPiecewiseSlope::Slope() const
{
    const double sxx = closed.sxx + piece.sxx;
    return sxx > 0 ? (closed.sxy + piece.sxy) / sxx : 0;
}

double CPiecewiseSlope::SlopeError() const
{
    const double sxx = closed.sxx + piece.sxx;
    const double sxy = closed.sxy + piece.sxy;
    const double syy = closed.syy + piece.syy;
    // One intercept per piece and the common slope are fitted.
    const std::uint64_t pieces = closedPieces + (piece.n > 0 ? 1 : 0);
    const std::uint64_t points = Count();
    if (sxx <= 0 || points < pieces + 2)
        return 0;
    const double residual = std::max(0.0, syy - sxy * sxy / sxx);
    return std::sqrt(residual / static_cast<double>(points - pieces - 1) / sxx);
}
