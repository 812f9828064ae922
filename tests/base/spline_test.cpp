#include "base/spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace qv {
namespace {

double At(const CubicSpline& s, double t) {
  double v = 0;
  EXPECT_TRUE(EvaluateSpline(s, t, v));
  return v;
}

TEST(SplineTest, PassesThroughItsPointsAndKeepsTheirSymmetry) {
  std::vector<double> t{0, 5, 10}, y{0, 100, 0};
  CubicSpline s;
  ASSERT_EQ(BuildSpline(t, y, s), 0);
  EXPECT_DOUBLE_EQ(At(s, 5), 100);
  EXPECT_NEAR(At(s, 0), 0, 1e-9);
  for (int f = 0; f <= 5; ++f) EXPECT_NEAR(At(s, f), At(s, 10 - f), 1e-9) << f;
  EXPECT_GT(At(s, 3), 60);  // a curve, not the triangle

  // Uneven spacing: still through every point, and smooth across them.
  std::vector<double> ut{0, 1, 3, 4, 7}, uy{5, -2, 8, 8, 0};
  ASSERT_EQ(BuildSpline(ut, uy, s), 0);
  for (std::size_t i = 0; i < ut.size(); ++i) EXPECT_NEAR(At(s, ut[i]), uy[i], 1e-9);
  for (double k : {1.0, 3.0, 4.0}) EXPECT_NEAR(At(s, k - 1e-7), At(s, k + 1e-7), 1e-4) << k;
}

TEST(SplineTest, RefusesTooFewPointsRepeatedKnotsAndOutOfRangeValues) {
  CubicSpline s;
  std::vector<double> two{0, 1};
  EXPECT_EQ(BuildSpline(two, two, s), 1);
  std::vector<double> t{0, 2, 2}, y{1, 2, 3};
  EXPECT_EQ(BuildSpline(t, y, s), 1);
  std::vector<double> ok{0, 2, 4};
  ASSERT_EQ(BuildSpline(ok, y, s), 0);
  double v = 0;
  EXPECT_TRUE(EvaluateSpline(s, 5.0, v));  // the extra end knot
  EXPECT_FALSE(EvaluateSpline(s, 5.5, v));
}

}  // namespace
}  // namespace qv
