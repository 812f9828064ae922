// The engine's side of a capture: the screen's 32-bit blue-green-red rows
// turned into an image's red-green-blue-alpha pixels, in megapixels a
// second on one thread (the grab itself is the X server's and Qt's).
#include <benchmark/benchmark.h>

#include "app/program.h"
#include "capture/capture.h"
#include "store/image_record.h"

namespace {

void BM_GrabConversion(benchmark::State& state) {
  qv::ResetProgram();
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  qv::ScreenPixels screen;
  screen.width = width;
  screen.height = height;
  screen.depth = 24;
  screen.stride = static_cast<std::size_t>(width) * 4;
  screen.bytes.resize(screen.stride * height);
  for (std::size_t i = 0; i < screen.bytes.size(); ++i) screen.bytes[i] = static_cast<std::uint8_t>(i * 7);
  qv::ImageRecord* image = qv::CreateLockedImage(width, height, "bnch");
  for (auto _ : state) {
    qv::ConvertScreenRows(screen, *image);
    benchmark::DoNotOptimize(image->pixels);
    benchmark::ClobberMemory();
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(width) * height * state.iterations() / 1e6,
                                              benchmark::Counter::kIsRate);
  qv::FreeImage(image);
  qv::ResetProgram();
}
BENCHMARK(BM_GrabConversion)->Args({640, 480})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond);

}  // namespace
