// SPDX-License-Identifier: GPL-3.0-or-later
// Least-squares slopes kept in constant memory, for the soak's clocks: a
// device's frames against the monotonic clock (its true rate), and the
// latency against the input's frames (the drift), whose line may restart
// at a glitch with the same slope in every piece.
#pragma once

#include <cstdint>

// One straight line through points added one by one (Welford's sums, so
// hours of points lose no precision).
class CLineFit {
public:
    void Add(double x, double y);
    std::uint64_t Count() const { return n; }
    // The slope; 0 with fewer than two distinct x.
    double Slope() const { return sxx > 0 ? sxy / sxx : 0; }
    // The slope's standard error; 0 with fewer than three points.
    double SlopeError() const;

private:
    friend class CPiecewiseSlope;
    std::uint64_t n = 0;
    double mx = 0, my = 0, sxx = 0, sxy = 0, syy = 0;
};

// Lines with one common slope and an intercept of their own per piece: a
// new piece starts at each Break.
class CPiecewiseSlope {
public:
    void Add(double x, double y) { piece.Add(x, y); }
    void Break();
    // Points in all pieces, and whether a slope can be told (two points in
    // one piece at least).
    std::uint64_t Count() const { return closedPoints + piece.n; }
    bool HasSlope() const { return closed.sxx + piece.sxx > 0; }
    double Slope() const;
    double SlopeError() const;

private:
    CLineFit piece;
    // The closed pieces' pooled sums about their own means.
    struct {
        double sxx = 0, sxy = 0, syy = 0;
    } closed;
    std::uint64_t closedPoints = 0;
    std::uint64_t closedPieces = 0;
};
