// The interpolating cubic spline shared by the Trend curves and the Spline
// area mode. One extra knot is laid one unit before the first point and one
// after the last (holding the end values), and the knot slopes come from a
// tridiagonal system with not-a-knot end rows, so that a handful of points
// already gives a smooth curve that passes exactly through each of them.
#pragma once

#include <span>
#include <vector>

namespace qv {

struct CubicSpline {
  std::vector<double> t;  // knot parameters, strictly increasing
  std::vector<double> y;  // knot values
  std::vector<double> m;  // knot slopes
};

// Builds the spline through at least 3 points (t strictly increasing).
// 0 ok; 1 too few points or a zero pivot (logged as the classic
// "getYD_gen:divide-by-zero").
int BuildSpline(std::span<const double> t, std::span<const double> y, CubicSpline& out);

// Value at s, which must lie within the knots (the last interval serves the
// final knot). Outside the knots: false, and "ispline_gen:Out of range" is
// logged.
bool EvaluateSpline(const CubicSpline& spline, double s, double& value);

}  // namespace qv
