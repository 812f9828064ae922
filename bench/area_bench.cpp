// Masks per second on a 4-megapixel image: the box and ellipse fills, the
// even-odd fill of a 1000-point polygon, and a colour-wand flood fill.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "app/program.h"
#include "area/area_mask.h"
#include "store/image_record.h"

namespace {

constexpr int kWidth = 2048;
constexpr int kHeight = 2048;

qv::ImageRecord* Picture() {
  qv::ResetProgram();
  qv::TheProgram().host = std::make_unique<qv::HeadlessHost>();
  qv::ImageRecord* image = qv::CreateImage(kWidth, kHeight, "bnch");
  qv::LockImage(image);
  // Grey with a darker disc, so the wand has an edge to stop at.
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      int dx = x - kWidth / 2, dy = y - kHeight / 2;
      std::uint8_t v = dx * dx + dy * dy < 800 * 800 ? 90 : 200;
      p[0] = p[1] = p[2] = v;
    }
  qv::UnlockImage(image);
  return image;
}

void Run(benchmark::State& state, qv::ImageRecord* image, int mode) {
  for (auto _ : state) {
    if (qv::BuildAreaMaskWith(image, mode, false, false) != 0) state.SkipWithError("mask failed");
  }
  state.SetItemsProcessed(state.iterations());
  qv::ResetProgram();
}

void BM_RectangleMask(benchmark::State& state) {
  qv::ImageRecord* image = Picture();
  auto& s = qv::TheProgram().area.selection;
  s.left = 100, s.top = 200, s.right = 1900, s.bottom = 1800;
  Run(state, image, qv::kAreaRectangle);
}
BENCHMARK(BM_RectangleMask)->Unit(benchmark::kMillisecond);

void BM_EllipseMask(benchmark::State& state) {
  qv::ImageRecord* image = Picture();
  auto& s = qv::TheProgram().area.selection;
  s.centreX = 1024, s.centreY = 1024, s.radiusX = 900, s.radiusY = 700;
  Run(state, image, qv::kAreaEllipse);
}
BENCHMARK(BM_EllipseMask)->Unit(benchmark::kMillisecond);

void BM_PolygonMask1000Points(benchmark::State& state) {
  qv::ImageRecord* image = Picture();
  auto& s = qv::TheProgram().area.selection;
  qv::ClearPointList(s.capture);
  // A star-like outline: radius alternating between two rings.
  for (int i = 0; i <= 1000; ++i) {
    double a = 2 * 3.14159265358979 * (i % 1000) / 1000.0;
    double r = (i % 2) ? 950 : 600;
    qv::PushPoint(s.capture, 1024 + static_cast<int>(r * std::cos(a)), 1024 + static_cast<int>(r * std::sin(a)),
                  i == 0 ? qv::kPenUp : qv::kPenDown);
  }
  Run(state, image, qv::kAreaPolygon);
}
BENCHMARK(BM_PolygonMask1000Points)->Unit(benchmark::kMillisecond);

void BM_WandFill(benchmark::State& state) {
  qv::ImageRecord* image = Picture();
  auto& s = qv::TheProgram().area.selection;
  s.seedX = 10, s.seedY = 10;
  s.wandRanges.useHsl = state.range(0) != 0;
  Run(state, image, qv::kAreaColourWand);
}
BENCHMARK(BM_WandFill)->Arg(0)->Arg(1)->ArgNames({"hsl"})->Unit(benchmark::kMillisecond);

}  // namespace
