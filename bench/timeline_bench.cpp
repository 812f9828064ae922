// TimeLine files and area interpolation: reading a TimeLine of 100 levels by
// 1000 frames (every cell of it written), writing it again, and the row by
// row tween of two 4-megapixel masks (bench/tween_vs_imagemagick.sh puts it
// beside ImageMagick's -morph).
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "area/stored_area.h"

namespace {

constexpr int kLevels = 100;
constexpr int kFrames = 1000;

// A file of every row kind on every level: a key every 50 frames, holds
// between, an op with a Trend on each level.
const std::string& BigTimeLine() {
  static const std::string text = [] {
    std::string t = "TIMELINE - big.tml\nFrames:" + std::to_string(kFrames) + "\n";
    for (int l = 1; l <= kLevels; ++l)
      for (int f = 1; f <= kFrames; ++f) {
        const std::string at = " L:" + std::to_string(l) + " F:" + std::to_string(f);
        const bool key = f % 50 == 1;
        const char* hold = f % 50 == 0 ? " ==" : " =";
        t += "SRC" + at + (key ? " V:0 S:1 I:1 pictures/frame" + std::to_string(f) + ".bmp" : hold) + "\n";
        if (key)
          t += "AREA" + at + "\n- Mode:Ellipse\n- Image:640,480\n- Center:320,240\n- Pos:200,140,440,340\n"
               "- TranLevel:255\n- TranEdge:0\n- TranGrow:100\n- Interpolate:1\n- Prompt:0\n- Modify:0\n- Exclude:0\n";
        else
          t += std::string("AREA") + at + hold + "\n";
        if (key)
          t += "OP" + at + " \"Contrast\"\n- Interpolate:1\n- Var:\"Amount\"," + std::to_string(f % 100) +
               "\n- Trend Var:\"Amount\" Splined:1 1,0 500,100 1000,-50\n\n";
        else
          t += std::string("OP") + at + hold + "\n";
        t += "ACT" + at + hold + "\n";
      }
    return t;
  }();
  return text;
}

void BM_ReadTimeLine100Levels1000Frames(benchmark::State& state) {
  qv::ResetProgram();
  const std::string& text = BigTimeLine();
  for (auto _ : state)
    if (qv::ReadTimeLineText(text) != 0) state.SkipWithError("read failed");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.counters["cells"] = qv::LevelsInUse() * qv::FrameCount() * 4.0;
  qv::ResetProgram();
}
BENCHMARK(BM_ReadTimeLine100Levels1000Frames)->Unit(benchmark::kMillisecond);

void BM_WriteTimeLine100Levels1000Frames(benchmark::State& state) {
  qv::ResetProgram();
  if (qv::ReadTimeLineText(BigTimeLine()) != 0) state.SkipWithError("read failed");
  std::size_t bytes = 0;
  for (auto _ : state) bytes += qv::TimeLineText("big.tml").size();
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  qv::ResetProgram();
}
BENCHMARK(BM_WriteTimeLine100Levels1000Frames)->Unit(benchmark::kMillisecond);

// An ellipse tweened half-way into a rectangle on 2048 x 2048 bytes.
void BM_MaskTween4MP(benchmark::State& state) {
  constexpr int w = 2048, h = 2048;
  std::vector<std::uint8_t> a(std::size_t{w} * h), b(a.size()), out(a.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x - 700) / 600.0, dy = (y - 1000) / 900.0;
      a[static_cast<std::size_t>(y) * w + x] = dx * dx + dy * dy <= 1 ? 255 : 0;
      b[static_cast<std::size_t>(y) * w + x] = x >= 1200 && x <= 1900 && y >= 300 && y <= 1700 ? 200 : 0;
    }
  qv::ResetProgram();
  for (auto _ : state) {
    qv::TweenMasks(a.data(), {100, 100, 1300, 1900}, b.data(), {1200, 300, 1900, 1700}, w, h, 1, 2, out.data());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{w} * h);
}
BENCHMARK(BM_MaskTween4MP)->Unit(benchmark::kMillisecond);

}  // namespace
