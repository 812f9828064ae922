// The geometric operations on a generated 4-megapixel picture, whole image,
// one thread, through the whole Apply (mask made as in Draw First; the undo
// copy these operations read is taken on every apply). Beside them the
// peers on the same picture in the same run: ImageMagick's -swirl, -wave and
// -implode (MAGICK_THREAD_LIMIT=1) less its own reading and writing of the
// file, and libvips' rotate (VIPS_CONCURRENCY=1) where it is installed.
// Numbers are reported, never asserted:
//   build/bench/geometric_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/program.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/geometric_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace {

constexpr int kSide = 2048;  // 4 megapixels

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

qv::ImageRecord* Setup() {
  qv::ResetProgram();
  qv::InstallHost<qv::HeadlessHost>().SetQuiet(true);
  qv::InitImageTable();
  qv::ImageRecord* image = qv::CreateLockedImage(kSide, kSide, "bnch");
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      for (int c = 0; c < 3; ++c) p[c] = Channel(x, y, c);
      p[3] = 255;
    }
  qv::UnlockImage(image);
  qv::AddImage(image, false);
  qv::TheProgram().images.currentAction = image;
  qv::TheProgram().area.selection.mode = qv::kAreaEntire;
  qv::BuildAreaMask(image, 0);
  qv::SetWorkMethod(qv::kDrawFirst);
  qv::SetUndoLevels(qv::TheProgram().undo.levels, 0);
  qv::TheProgram().settings.modAlpha = qv::kAffectRgbOnly;
  return image;
}

void SetRate(benchmark::State& state) {
  state.counters["MP/s"] =
      benchmark::Counter(double(kSide) * kSide / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

void RunOperation(benchmark::State& state, qv::OpId op, void (*configure)()) {
  Setup();
  if (configure) configure();
  for (auto _ : state) {
    int result = qv::Apply(static_cast<int>(op), 0);
    if (result != 0) state.SkipWithError("the apply failed");
    benchmark::DoNotOptimize(result);
  }
  SetRate(state);
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

// The peers, on the same picture written once as a PPM.
std::string PeerPicture() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "qv_geometric_bench.ppm").string();
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) return std::string();
    std::fprintf(f, "P6\n%d %d\n255\n", kSide, kSide);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        for (int c = 0; c < 3; ++c) std::fputc(Channel(x, y, c), f);
    std::fclose(f);
    return p;
  }();
  return path;
}

double Seconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  auto end = std::chrono::steady_clock::now();
  if (status != 0) return -1;
  return std::chrono::duration<double>(end - start).count();
}

// The peer's time with the effect less its time without: the effect alone.
void RunPeer(benchmark::State& state, const std::string& effect, const std::string& plain) {
  const std::string in = PeerPicture();
  if (in.empty()) {
    state.SkipWithError("cannot write the peer's picture");
    return;
  }
  const std::string out = in + ".out.ppm";
  for (auto _ : state) {
    const double with = Seconds(effect + " " + in + " " + out);
    const double without = Seconds(plain + " " + in + " " + out);
    if (with < 0 || without < 0) {
      state.SkipWithError("the peer is not installed or failed");
      return;
    }
    state.SetIterationTime(std::max(with - without, 1e-6));
  }
  SetRate(state);
}

const std::string kMagick = "MAGICK_THREAD_LIMIT=1 convert-im6.q16";

#define PEER(name, effect, plain)                                                   \
  void BM_##name(benchmark::State& state) { RunPeer(state, effect, plain); }        \
  BENCHMARK(BM_##name)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond)

PEER(Magick_Swirl, kMagick + " -swirl 100", kMagick);
PEER(Magick_Wave, kMagick + " -wave 10x50", kMagick);
PEER(Magick_Implode, kMagick + " -implode -1", kMagick);
PEER(Magick_Flip, kMagick + " -flip", kMagick);
PEER(Magick_Rotate90, kMagick + " -rotate 90", kMagick);
// libvips reads and writes through its own commands: rotate less copy.
void BM_Vips_Rotate45(benchmark::State& state) {
  const std::string in = PeerPicture();
  const std::string out = in + ".v";
  for (auto _ : state) {
    const double with = Seconds("VIPS_CONCURRENCY=1 vips rotate " + in + " " + out + ".ppm 45");
    const double without = Seconds("VIPS_CONCURRENCY=1 vips copy " + in + " " + out + ".ppm");
    if (with < 0 || without < 0) {
      state.SkipWithError("libvips-tools is not installed");
      return;
    }
    state.SetIterationTime(std::max(with - without, 1e-6));
  }
  SetRate(state);
}
BENCHMARK(BM_Vips_Rotate45)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
