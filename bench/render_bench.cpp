// RenderView over a 4-megapixel picture in every display mode, at 1:1 and
// fitted into a maximised 1280 x 1024 window, in megapixels of window per
// second.
#include <benchmark/benchmark.h>

#include "app/program.h"
#include "base/crt_random.h"
#include "display/render.h"
#include "store/image_record.h"

namespace {

constexpr int kSide = 2048;

qv::ImageRecord* MakePicture() {
  qv::ImageRecord* image = qv::CreateImage(kSide, kSide, "bnch");
  qv::LockImage(image);
  qv::Srand(7);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      int noise = qv::Rand() & 15;
      p[0] = static_cast<std::uint8_t>((x / 8 + noise) & 255);
      p[1] = static_cast<std::uint8_t>((y / 8 + noise) & 255);
      p[2] = static_cast<std::uint8_t>(((x + y) / 16) & 255);
      p[3] = static_cast<std::uint8_t>(255 - (x & 63));
    }
  qv::UnlockImage(image);
  image->hasAlpha = 1;  // every pixel goes through the blend
  return image;
}

void Run(benchmark::State& state, qv::ViewRecord* view) {
  int mode = static_cast<int>(state.range(0));
  qv::ImageRecord* image = view ? view->image : MakePicture();
  int width = view ? view->clientWidth : image->width;
  int height = view ? view->clientHeight : image->height;
  for (auto _ : state) {
    qv::PlaceHandle dib = qv::RenderView(image, view, nullptr, mode, 0, height - 1);
    benchmark::DoNotOptimize(dib);
    qv::FreeVirtual(dib);
  }
  state.counters["MP/s"] = benchmark::Counter(double(width) * height / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RenderOneToOne(benchmark::State& state) {
  qv::ResetProgram();
  Run(state, nullptr);
  qv::ResetProgram();
}

void BM_RenderFitToWindow(benchmark::State& state) {
  qv::ResetProgram();
  qv::ViewRecord view{.image = MakePicture(), .right = kSide - 1, .bottom = kSide - 1, .clientWidth = 1280,
                      .clientHeight = 1024, .placement = qv::ViewPlacement::Maximised};
  Run(state, &view);
  qv::ResetProgram();
}

BENCHMARK(BM_RenderOneToOne)->DenseRange(0, qv::kDisplayModeCount - 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFitToWindow)->DenseRange(0, qv::kDisplayModeCount - 1)->Unit(benchmark::kMillisecond);

}  // namespace
