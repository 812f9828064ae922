// A 4-megapixel generated picture in the image table, selected whole or by
// a centred ellipse of half sizes 512, and one operation applied over and
// over through the whole Apply (Draw First, the mask made once).
#pragma once

#include <benchmark/benchmark.h>

#include "app/program.h"
#include "area/area_mask.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace bench {

constexpr int kSide = 2048;

inline qv::ImageRecord* Setup(bool ellipse) {
  qv::ResetProgram();
  qv::InstallHost<qv::HeadlessHost>().SetQuiet(true);
  qv::InitImageTable();
  qv::ImageRecord* image = qv::CreateLockedImage(kSide, kSide, "bnch");
  unsigned seed = 99;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      seed = seed * 214013u + 2531011u;
      std::uint8_t* p = qv::PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x * 255 / kSide);
      p[1] = static_cast<std::uint8_t>(y * 255 / kSide);
      p[2] = static_cast<std::uint8_t>((seed >> 16) & 255);
      p[3] = 255;
    }
  qv::UnlockImage(image);
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

// Rate in megapixels of the given count per apply.
inline void Run(benchmark::State& state, qv::OpId op, bool ellipse, double pixels, void (*configure)()) {
  Setup(ellipse);
  if (configure) configure();
  for (auto _ : state) {
    int result = qv::Apply(static_cast<int>(op), 0);
    if (result != 0) state.SkipWithError("the apply failed");
    benchmark::DoNotOptimize(result);
  }
  state.counters["MP/s"] = benchmark::Counter(pixels / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
  qv::ResetProgram();
}

}  // namespace bench

#define EFFECT(name, id, ellipse, pixels, configure)                                           \
  void BM_##name(benchmark::State& state) { bench::Run(state, id, ellipse, pixels, configure); } \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)
