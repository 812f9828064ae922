// The Collage and Alpha operations on a generated 4-megapixel picture,
// whole image, one thread, through the whole Apply (the undo copy these
// image operations take is part of every apply). Rates are of output
// pixels: Enlarge 200 % makes 16.8 million, Reduce 50 % one million.
// Beside Enlarge and Reduce, ImageMagick's -resize on the same picture with
// one thread (less its own reading and writing), and in the same run the
// ratio of its time to ours. Numbers are reported, never asserted:
//   build/bench/collage_bench --benchmark_counters_tabular=true
#include <chrono>

#include "effect_bench.h"
#include "ops/collage_ops.h"

namespace {

using bench::kSide;

unsigned NoiseAt(int x, int y) {
  unsigned h = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u;
  return (h ^ (h >> 13)) * 0x5bd1e995u;
}

// Gradients, edges and noise; the blue key colour in one checker square of
// four, so that Key In keys out a quarter of the picture.
void Paint(int x, int y, std::uint8_t* p) {
  const bool key = ((x / 64) & 1) && ((y / 64) & 1);
  p[0] = key ? 0 : static_cast<std::uint8_t>(x * 255 / kSide);
  p[1] = key ? 0 : static_cast<std::uint8_t>(((x / 64 + y / 64) & 1) ? 220 : 30);
  p[2] = key ? 255 : static_cast<std::uint8_t>(NoiseAt(x, y) >> 24);
  p[3] = 255;
}

// The picture laid in: a second painted image of the same size, chosen as
// the source (so it is read, not the action image's copy).
void WithSource() {
  qv::ImageRecord* action = qv::ActionImage();
  qv::ImageRecord* picture = bench::PaintedImage(Paint);
  qv::AddImage(picture, false);
  qv::TheProgram().images.currentAction = action;
  qv::Pipeline().source = picture;
}

// Removes the image the last apply made, marked saved first: an unsaved one
// would stay (the removal asks first), and every later apply would then fill
// fresh memory.
void DropMadeImage(benchmark::State& state) {
  qv::ImageRecord* made = qv::Ctx().result;
  if (!made) return;
  made->changed = 0;
  if (qv::RemoveImage(made) != 0) state.SkipWithError("the new image stays");
}

void RunOperation(benchmark::State& state, qv::OpId op, void (*configure)(), double pixels) {
  bench::Setup(Paint, false);
  if (configure) configure();
  for (auto _ : state) {
    const int result = qv::Apply(static_cast<int>(op), 0);
    if (result != 0) state.SkipWithError("the apply failed");
    // A new image each time: it goes again, untimed.
    if (qv::Ctx().result) {
      state.PauseTiming();
      DropMadeImage(state);
      state.ResumeTiming();
    }
  }
  bench::SetRate(state, pixels);
  qv::ResetProgram();
}

constexpr double kWhole = double(kSide) * kSide;

void Resize(qv::OpId op, int percent) {
  qv::SetParamValue(op, 0, percent);
  qv::SetParamValue(op, 1, percent);
  qv::SetParamValue(op, 4, 0);  // a new image, so the picture keeps its size
  qv::SetParamValue(op, 5, 1);  // Constant zoom
}

#define OPERATION(name, id, configure, pixels)                                            \
  void BM_##name(benchmark::State& state) { RunOperation(state, id, configure, pixels); } \
  BENCHMARK(BM_##name)->Unit(benchmark::kMillisecond)

OPERATION(Place, qv::kPlace, WithSource, kWhole);
OPERATION(Merge, qv::kMerge, WithSource, kWhole);
OPERATION(MergeWarpToShape, qv::kMerge, [] {
  WithSource();
  qv::SetParamValue(qv::kMerge, 0, 1);
}, kWhole);
OPERATION(KeyIn, qv::kKeyIn, WithSource, kWhole);
OPERATION(MakeAlpha, qv::kMakeAlpha, nullptr, kWhole);
OPERATION(MakeAlphaWithSource, qv::kMakeAlpha, [] {
  WithSource();
  qv::SetParamValue(qv::kMakeAlpha, 1, 1);
}, kWhole);
OPERATION(Enlarge200, qv::kEnlarge, [] { Resize(qv::kEnlarge, 200); }, 4 * kWhole);
OPERATION(Reduce50, qv::kReduce, [] { Resize(qv::kReduce, 50); }, kWhole / 4);

// Ours and ImageMagick's in one run: our apply's time, the peer's time less
// its reading and writing, and the peer's time over ours ("x faster").
void CompareResize(benchmark::State& state, qv::OpId op, int percent) {
  const std::string in = bench::PeerPicture(Paint);
  if (in.empty()) {
    state.SkipWithError("cannot write the peer's picture");
    return;
  }
  const std::string magick = "convert-im6.q16 -limit thread 1";
  const std::string resize = " -resize " + std::to_string(percent) + "% ";
  double ours = 0, theirs = 0;
  bench::Setup(Paint, false);
  Resize(op, percent);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int result = qv::Apply(static_cast<int>(op), 0);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 0) {
      state.SkipWithError("the apply failed");
      break;
    }
    DropMadeImage(state);
    const double with = bench::Seconds(magick + resize + in + " " + in + ".out.ppm");
    const double without = bench::Seconds(magick + " " + in + " " + in + ".out.ppm");
    if (with < 0 || without < 0) {
      state.SkipWithError("ImageMagick is not installed or failed");
      break;
    }
    ours += took;
    theirs += std::max(with - without, 1e-6);
    state.SetIterationTime(took);
  }
  qv::ResetProgram();
  const double n = static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["ours_ms"] = ours / n * 1e3;
  state.counters["magick_ms"] = theirs / n * 1e3;
  state.counters["magick/ours"] = ours > 0 ? theirs / ours : 0;
}

void BM_Enlarge200_vs_Magick(benchmark::State& state) { CompareResize(state, qv::kEnlarge, 200); }
BENCHMARK(BM_Enlarge200_vs_Magick)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
void BM_Reduce50_vs_Magick(benchmark::State& state) { CompareResize(state, qv::kReduce, 50); }
BENCHMARK(BM_Reduce50_vs_Magick)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
