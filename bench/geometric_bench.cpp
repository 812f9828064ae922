// The geometric operations on a generated 4-megapixel picture, whole image,
// one thread, through the whole Apply (mask made as in Draw First; the undo
// copy these operations read is taken on every apply). Beside them the
// peers on the same picture in the same run: ImageMagick's -swirl, -wave and
// -implode (MAGICK_THREAD_LIMIT=1) less its own reading and writing of the
// file, and libvips' rotate (VIPS_CONCURRENCY=1) where it is installed.
// Numbers are reported, never asserted:
//   build/bench/geometric_bench --benchmark_counters_tabular=true
#include "effect_bench.h"
#include <cmath>
#include <vector>

#include "ops/bilinear.h"
#include "ops/geometric_ops.h"

namespace {

using bench::kSide;

unsigned NoiseAt(int x, int y) {
  unsigned h = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u;
  return (h ^ (h >> 13)) * 0x5bd1e995u;
}

// A picture with gradients, edges and noise, so that sampling has work to do.
std::uint8_t Channel(int x, int y, int c) {
  if (c == 0) return static_cast<std::uint8_t>(x * 255 / kSide);
  if (c == 1) return static_cast<std::uint8_t>(((x / 64 + y / 64) & 1) ? 220 : 30);
  return static_cast<std::uint8_t>(NoiseAt(x, y) >> 24);
}

void Paint(int x, int y, std::uint8_t* p) {
  for (int c = 0; c < 3; ++c) p[c] = Channel(x, y, c);
  p[3] = 255;
}

void RunOperation(benchmark::State& state, qv::OpId op, void (*configure)()) {
  bench::Setup(Paint, false);
  if (configure) configure();
  bench::ApplyEachIteration(state, op);
  bench::SetRate(state);
  qv::ResetProgram();
}

#define OPERATION(name, id, configure)                                          \
  void BM_##name(benchmark::State& state) { RunOperation(state, id, configure); } \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)

OPERATION(Swirl, qv::kSwirl, nullptr);
OPERATION(Waves, qv::kWaves, nullptr);
OPERATION(Dome, qv::kDome, nullptr);
OPERATION(Caricature, qv::kCaricature, nullptr);
OPERATION(Turbulence8, qv::kTurbulence, [] { qv::SetParamValue(qv::kTurbulence, 0, 8); });
OPERATION(RadialWave, qv::kRadialWave, nullptr);
OPERATION(SurfaceWarp, qv::kSurfaceWarp, nullptr);
OPERATION(Perspective, qv::kPerspective, [] { qv::SetParamValue(qv::kPerspective, 2, 30); });
OPERATION(Rotate45InPlace, qv::kRotate, nullptr);
OPERATION(Flip, qv::kFlip, nullptr);
OPERATION(FlipBoth, qv::kFlip, [] { qv::SetParamValue(qv::kFlip, 1, 1); });
OPERATION(Turn90, qv::kTurn90, nullptr);

// The sampler alone on a 4-megapixel plane, in runs of 128 as the warps
// call it: each output row read along a line turned by `angle` degrees
// about the centre (0: along the rows, nearly all neighbours in cache; 80:
// almost down the columns, two new rows every pixel).
void BM_SampleRun(benchmark::State& state) {
  constexpr int kRun = 128;
  std::vector<std::uint8_t> pixels(std::size_t{4} * kSide * kSide);
  std::vector<std::uint32_t> rows(kSide);
  for (int y = 0; y < kSide; ++y) {
    rows[y] = static_cast<std::uint32_t>(y) * kSide;
    for (int x = 0; x < kSide; ++x) Paint(x, y, &pixels[(std::size_t{rows[y]} + x) * 4]);
  }
  const qv::PixelPlane plane{pixels.data(), rows.data(), 0, 0, kSide, kSide};
  const double angle = static_cast<double>(state.range(0)) * 3.14159265358979 / 180;
  const double c = std::cos(angle) * 0.7, s = std::sin(angle) * 0.7, mid = kSide / 2.0;
  std::vector<std::uint8_t> out(std::size_t{4} * kSide), valid(kSide);
  double sx[kRun], sy[kRun];
  for (auto _ : state) {
    for (int y = 0; y < kSide; ++y)
      for (int x0 = 0; x0 < kSide; x0 += kRun) {
        for (int i = 0; i < kRun; ++i) {
          const double u = x0 + i - mid + 0.37, v = y - mid + 0.61;
          sx[i] = mid + c * u - s * v;
          sy[i] = mid + s * u + c * v;
        }
        qv::SampleRun(plane, sx, sy, kRun, out.data() + std::size_t{4} * x0, valid.data() + x0);
      }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kSide) * kSide * state.iterations(),
                                             benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SampleRun)->Arg(0)->Arg(30)->Arg(80)->Unit(benchmark::kMillisecond);

using bench::kMagick;

#define PEER(name, effect, plain)                                                   \
  void BM_##name(benchmark::State& state) { bench::RunPeer(state, Paint, effect, plain); }        \
  BENCHMARK(BM_##name)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond)

PEER(Magick_Swirl, kMagick + " -swirl 100", kMagick);
PEER(Magick_Wave, kMagick + " -wave 10x50", kMagick);
PEER(Magick_Implode, kMagick + " -implode -1", kMagick);
PEER(Magick_Flip, kMagick + " -flip", kMagick);
PEER(Magick_Rotate90, kMagick + " -rotate 90", kMagick);
// libvips reads and writes through its own commands: rotate less copy.
void BM_Vips_Rotate45(benchmark::State& state) {
  const std::string in = bench::PeerPicture(Paint);
  const std::string out = in + ".v";
  for (auto _ : state) {
    const double with = bench::Seconds("VIPS_CONCURRENCY=1 vips rotate " + in + " " + out + ".ppm 45");
    const double without = bench::Seconds("VIPS_CONCURRENCY=1 vips copy " + in + " " + out + ".ppm");
    if (with < 0 || without < 0) {
      state.SkipWithError("libvips-tools is not installed");
      return;
    }
    state.SetIterationTime(std::max(with - without, 1e-6));
  }
  bench::SetRate(state);
}
BENCHMARK(BM_Vips_Rotate45)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
