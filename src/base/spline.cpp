#include "base/spline.h"

#include <algorithm>

#include "base/messages.h"

namespace qv {

int BuildSpline(std::span<const double> points, std::span<const double> values, CubicSpline& out) {
  std::size_t n = std::min(points.size(), values.size());
  if (n < 3) return 1;
  out.t.assign(n + 2, 0.0);
  out.y.assign(n + 2, 0.0);
  out.t[0] = points[0] - 1.0;
  out.y[0] = values[0];
  for (std::size_t i = 0; i < n; ++i) {
    out.t[i + 1] = points[i];
    out.y[i + 1] = values[i];
  }
  out.t[n + 1] = points[n - 1] + 1.0;
  out.y[n + 1] = values[n - 1];

  // Knots 0..last, intervals 0..last-1.
  const std::size_t last = n + 1;
  std::vector<double> h(last), d(last);
  for (std::size_t i = 0; i < last; ++i) {
    h[i] = out.t[i + 1] - out.t[i];
    if (h[i] == 0.0) {
      LogLine("getYD_gen:divide-by-zero\n");
      return 1;
    }
    d[i] = (out.y[i + 1] - out.y[i]) / h[i];
  }

  // Rows as (sub, diag, super, rhs).
  std::vector<double> a(last + 1), b(last + 1), c(last + 1), r(last + 1);
  b[0] = h[1] * (h[0] + h[1]);
  c[0] = (h[0] + h[1]) * (h[0] + h[1]);
  r[0] = (3 * h[0] + 2 * h[1]) * h[1] * d[0] + h[0] * h[0] * d[1];
  for (std::size_t i = 1; i < last; ++i) {
    a[i] = h[i];
    b[i] = 2 * (h[i - 1] + h[i]);
    c[i] = h[i - 1];
    r[i] = 3 * (h[i] * d[i - 1] + h[i - 1] * d[i]);
  }
  double p = h[last - 2], q = h[last - 1];
  a[last] = (p + q) * (p + q);
  b[last] = p * (p + q);
  r[last] = (3 * q + 2 * p) * p * d[last - 1] + q * q * d[last - 2];

  for (std::size_t i = 1; i <= last; ++i) {
    if (b[i - 1] == 0.0) {
      LogLine("getYD_gen:divide-by-zero\n");
      return 1;
    }
    double f = a[i] / b[i - 1];
    b[i] -= f * c[i - 1];
    r[i] -= f * r[i - 1];
  }
  if (b[last] == 0.0) {
    LogLine("getYD_gen:divide-by-zero\n");
    return 1;
  }
  out.m.assign(last + 1, 0.0);
  out.m[last] = r[last] / b[last];
  for (std::size_t i = last; i-- > 0;) out.m[i] = (r[i] - c[i] * out.m[i + 1]) / b[i];
  return 0;
}

bool EvaluateSpline(const CubicSpline& sp, double s, double& value) {
  std::size_t count = sp.t.size();
  if (count < 2 || sp.m.size() != count || s < sp.t.front() || s > sp.t.back()) {
    LogLine("ispline_gen:Out of range\n");
    return false;
  }
  auto it = std::upper_bound(sp.t.begin(), sp.t.end(), s);
  std::size_t i = static_cast<std::size_t>(it - sp.t.begin());
  i = i == 0 ? 0 : i - 1;
  if (i >= count - 1) i = count - 2;
  double h = sp.t[i + 1] - sp.t[i];
  double d = (sp.y[i + 1] - sp.y[i]) / h;
  double c2 = (3 * d - 2 * sp.m[i] - sp.m[i + 1]) / h;
  double c3 = (sp.m[i] + sp.m[i + 1] - 2 * d) / (h * h);
  double x = s - sp.t[i];
  value = sp.y[i] + x * (sp.m[i] + x * (c2 + x * c3));
  return true;
}

}  // namespace qv
