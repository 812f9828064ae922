// Output colour reduction of a 4-megapixel picture, and ImageMagick's
// quantizer on the same picture for comparison (`convert -dither
// FloydSteinberg -colors 256`, run as a separate process on a PPM copy;
// skipped when convert is missing).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/program.h"
#include "display/colour_reduce.h"
#include "store/image_record.h"

namespace {

constexpr int kSide = 2048;  // 4 megapixels

// A picture with smooth gradients, hard-edged shapes and some grain, so that
// colour choice and dithering both have work.
qv::ImageRecord* MakePicture() {
  qv::ImageRecord* image = qv::CreateLockedImage(kSide, kSide, "bnch");
  unsigned seed = 12345;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      seed = seed * 214013u + 2531011u;
      int grain = static_cast<int>((seed >> 16) & 15) - 8;
      double fx = x / double(kSide), fy = y / double(kSide);
      int r = static_cast<int>(255 * fx);
      int g = static_cast<int>(127 + 127 * std::sin(fy * 9 + fx * 3));
      int b = static_cast<int>(255 * (1 - fx) * fy);
      if ((x / 256 + y / 256) % 3 == 0) std::swap(r, b);
      double dx = fx - 0.6, dy = fy - 0.4;
      if (dx * dx + dy * dy < 0.04) r = 230, g = 200 - y % 64, b = 40;
      std::uint8_t* p = qv::PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(std::clamp(r + grain, 0, 255));
      p[1] = static_cast<std::uint8_t>(std::clamp(g + grain, 0, 255));
      p[2] = static_cast<std::uint8_t>(std::clamp(b + grain, 0, 255));
    }
  return image;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(double(kSide) * kSide / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Reduce(benchmark::State& state, int target, int source, bool ordered) {
  qv::ResetProgram();
  qv::ImageRecord* image = MakePicture();
  std::uint8_t red[256], green[256], blue[256];
  int colours = 0;
  for (auto _ : state) {
    qv::ReducedImage out = qv::ReduceColours(image, red, green, blue, target, source, ordered, true, 100);
    if (!out) state.SkipWithError("reduction failed");
    colours = out.colours();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["colours"] = colours;
  SetRate(state);
  qv::FreeImage(image);
  qv::ResetProgram();
}
BENCHMARK_CAPTURE(BM_Reduce, Chosen256Diffusion, qv::kReduce256Colours, qv::kPaletteChoose, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reduce, Chosen256Ordered, qv::kReduce256Colours, qv::kPaletteChoose, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reduce, Default256Diffusion, qv::kReduce256Colours, qv::kPaletteDefault, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reduce, Default256Ordered, qv::kReduce256Colours, qv::kPaletteDefault, true)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reduce, Chosen16Diffusion, qv::kReduce16Colours, qv::kPaletteChoose, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Reduce, TwoColours, qv::kReduce2Colours, qv::kPaletteDefault, false)
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// The same picture as a binary PPM, for the outside quantizer.
std::filesystem::path WritePpm() {
  std::filesystem::path path = std::filesystem::temp_directory_path() / "qv_reduce_bench.ppm";
  qv::ResetProgram();
  qv::ImageRecord* image = MakePicture();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fprintf(f, "P6\n%d %d\n255\n", kSide, kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) std::fwrite(qv::PixelAt(image, x, y), 1, 3, f);
    std::fclose(f);
  }
  qv::FreeImage(image);
  qv::ResetProgram();
  return path;
}

void RunCommand(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("convert failed or is missing");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  SetRate(state);
}

// One thread, as ours runs on one; reading and writing the PPM is measured
// separately so that it can be taken off.
void BM_ImageMagickFloydSteinberg256(benchmark::State& state) {
  std::string in = WritePpm().string();
  RunCommand(state, "MAGICK_THREAD_LIMIT=1 convert " + in + " -dither FloydSteinberg -colors 256 ppm:/dev/null");
}
BENCHMARK(BM_ImageMagickFloydSteinberg256)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImageMagickReadWriteOnly(benchmark::State& state) {
  std::string in = WritePpm().string();
  RunCommand(state, "MAGICK_THREAD_LIMIT=1 convert " + in + " ppm:/dev/null");
}
BENCHMARK(BM_ImageMagickReadWriteOnly)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
