// The harness the operation benchmarks share: a 4-megapixel generated
// picture in the image table, selected whole or by a centred ellipse of half
// sizes 512, one operation applied over and over through the whole Apply
// (Draw First, the mask made once, no undo levels), and the peers' tools
// timed on the same picture written once as a PPM.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/program.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace bench {

constexpr int kSide = 2048;

// Paints one pixel's four bytes at (x, y).
using Painter = void (*)(int x, int y, std::uint8_t* p);

// Horizontal and vertical ramps with noise in blue, opaque.
inline void RampsAndNoise(int x, int y, std::uint8_t* p) {
  unsigned seed = static_cast<unsigned>(y * kSide + x) * 214013u + 2531011u;
  p[0] = static_cast<std::uint8_t>(x * 255 / kSide);
  p[1] = static_cast<std::uint8_t>(y * 255 / kSide);
  p[2] = static_cast<std::uint8_t>((seed >> 16) & 255);
  p[3] = 255;
}

// A new kSide x kSide image (unlocked, not in the table) painted pixel by pixel.
inline qv::ImageRecord* PaintedImage(Painter paint) {
  qv::ImageRecord* image = qv::CreateLockedImage(kSide, kSide, "bnch");
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) paint(x, y, qv::PixelAt(image, x, y));
  qv::UnlockImage(image);
  return image;
}

inline qv::ImageRecord* Setup(Painter paint, bool ellipse) {
  qv::ResetProgram();
  qv::InstallHost<qv::HeadlessHost>().SetQuiet(true);
  qv::InitImageTable();
  qv::ImageRecord* image = PaintedImage(paint);
  qv::AddImage(image, false);
  qv::TheProgram().images.currentAction = image;
  qv::AreaSelection& s = qv::TheProgram().area.selection;
  if (ellipse) {
    s.mode = qv::kAreaEllipse;
    s.centreX = s.centreY = kSide / 2;
    s.radiusX = s.radiusY = 512;
    s.left = s.top = kSide / 2 - 512;
    s.right = s.bottom = kSide / 2 + 512;
  } else {
    s.mode = qv::kAreaEntire;
  }
  qv::BuildAreaMask(image, 0);
  qv::SetWorkMethod(qv::kDrawFirst);
  qv::SetUndoLevels(qv::TheProgram().undo.levels, 0);
  qv::TheProgram().settings.modAlpha = qv::kAffectRgbOnly;
  qv::TheProgram().settings.threads = 1;  // the rates are one thread's
  return image;
}

inline qv::ImageRecord* Setup(bool ellipse) { return Setup(RampsAndNoise, ellipse); }

// Megapixels of the given count per iteration, as a rate.
inline void SetRate(benchmark::State& state, double pixels = double(kSide) * kSide) {
  state.counters["MP/s"] = benchmark::Counter(pixels / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

inline void ApplyEachIteration(benchmark::State& state, qv::OpId op) {
  for (auto _ : state) {
    int result = qv::Apply(static_cast<int>(op), 0);
    if (result != 0) state.SkipWithError("the apply failed");
    benchmark::DoNotOptimize(result);
  }
}

inline void Run(benchmark::State& state, qv::OpId op, bool ellipse, double pixels, void (*configure)()) {
  Setup(ellipse);
  if (configure) configure();
  ApplyEachIteration(state, op);
  SetRate(state, pixels);
  qv::ResetProgram();
}

// The picture a painter makes, written once per process as a binary PPM for
// the peers' tools; empty when it cannot be written.
inline std::string PeerPicture(Painter paint) {
  static const std::string path = [paint] {
    std::string p = (std::filesystem::temp_directory_path() / "qv_effect_bench.ppm").string();
    std::FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) return std::string();
    std::fprintf(f, "P6\n%d %d\n255\n", kSide, kSide);
    std::uint8_t px[4];
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        paint(x, y, px);
        std::fwrite(px, 1, 3, f);
      }
    return std::fclose(f) == 0 ? p : std::string();
  }();
  return path;
}

// Wall time of a shell command, or -1 when it fails (or is not installed).
inline double Seconds(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  auto end = std::chrono::steady_clock::now();
  if (status != 0) return -1;
  return std::chrono::duration<double>(end - start).count();
}

// A peer's time with the effect less its time without (its own reading and
// writing): the effect alone. Both commands get "IN OUT" appended.
inline void RunPeer(benchmark::State& state, Painter paint, const std::string& effect, const std::string& plain) {
  const std::string in = PeerPicture(paint);
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

inline const std::string kMagick = "MAGICK_THREAD_LIMIT=1 convert-im6.q16";

}  // namespace bench

#define EFFECT(name, id, ellipse, pixels, configure)                                           \
  void BM_##name(benchmark::State& state) { bench::Run(state, id, ellipse, pixels, configure); } \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)
