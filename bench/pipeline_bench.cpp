// The apply pipeline on a 4-megapixel picture: each driver with a trivial
// worker, and every standard colour and alpha-point operation through the
// whole Apply (the selection's mask already made, as in Draw First; no undo
// levels, so a Point operation keeps no copy). "Full" runs Contrast the way
// Immediate Painting does: the mask is built and the undo copy taken on
// every apply. Operations run with one thread and with every core, over the
// whole picture and through a soft-edged selection.
#include <cmath>
#include <thread>
#include <vector>

#include "effect_bench.h"
#include "store/memory_places.h"

namespace {

using bench::kSide;

// The shared picture with an alpha ramp, so that alpha operations have work.
void PaintWithAlpha(int x, int y, std::uint8_t* p) {
  bench::RampsAndNoise(x, y, p);
  p[3] = static_cast<std::uint8_t>((x + y) & 255);
}

qv::ImageRecord* Setup(bool drawFirst, int undoLevels) {
  qv::ImageRecord* image = bench::Setup(PaintWithAlpha, false);
  qv::SetWorkMethod(drawFirst ? qv::kDrawFirst : qv::kImmediatePainting);
  qv::SetUndoLevels(qv::TheProgram().undo.levels, undoLevels);
  return image;
}

// A soft-edged selection as a drawn ellipse gives it: 255 inside, a 24-pixel
// fringe falling to 0, 0 outside; most of the picture is covered.
void SoftEllipseMask() {
  qv::AreaMask& m = qv::TheProgram().area.mask;
  auto* mask = static_cast<std::uint8_t*>(qv::LockVirtual(m.place));
  const double r = kSide * 0.55, fringe = 24;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const double dx = x - kSide / 2.0, dy = (y - kSide / 2.0) * 1.2;
      const double inside = (r - std::sqrt(dx * dx + dy * dy)) / fringe;
      mask[static_cast<std::size_t>(y) * kSide + x] =
          static_cast<std::uint8_t>(inside >= 1 ? 255 : inside <= 0 ? 0 : inside * 255);
    }
  qv::UnlockVirtual(m.place);
}

// Arguments of the operation benchmarks: threads (0 every core) and mask
// (0 everything selected, 1 the soft ellipse). Rates are by the clock, the
// only measure that shows what more threads bring.
void ThreadsAndMask(benchmark::internal::Benchmark* b) {
  b->ArgNames({"threads", "soft"})->Args({1, 0})->Args({1, 1})->Args({0, 1})->UseRealTime();
}

using bench::SetRate;

void RunOperation(benchmark::State& state, qv::OpId op, void (*configure)()) {
  Setup(true, 0);
  qv::TheProgram().settings.threads = static_cast<int>(state.range(0));
  if (state.range(1)) SoftEllipseMask();
  if (configure) configure();
  bench::ApplyEachIteration(state, op);
  SetRate(state);
  qv::ResetProgram();
}

#define OPERATION(name, id, configure)                                          \
  void BM_##name(benchmark::State& state) { RunOperation(state, id, configure); } \
  BENCHMARK(BM_##name)->Apply(ThreadsAndMask)->Unit(benchmark::kMillisecond)

OPERATION(Contrast, 3181, nullptr);
OPERATION(Brightness, 3182, [] { qv::SetParamValue(3182, 0, 10); });
OPERATION(Gamma, 3183, nullptr);
OPERATION(ColorFill, 3186, nullptr);
OPERATION(Balance, 3184, [] {
  qv::SampleColour& s = qv::Pipeline().colour.sample;
  s.red = s.green = s.blue = 128;
});
OPERATION(HistogramMap, 3185, nullptr);
OPERATION(HistogramGather, 3185, [] { qv::SetParamValue(3185, 0, 1); });
OPERATION(Sample, 3187, nullptr);
OPERATION(SampleExtremes, 3187, [] { qv::SetParamValue(3187, 1, 1); });
OPERATION(Colorize, 3188, [] { qv::SetParamValue(3188, 0, 200); });
OPERATION(Remap16, 3189, [] {
  PaletteRecord& from = qv::Pipeline().colour.remapFrom;
  PaletteRecord& to = qv::Pipeline().colour.remapTo;
  from.count = to.count = 16;
  for (int i = 0; i < 16; ++i) {
    from.red[i] = from.green[i] = from.blue[i] = static_cast<std::uint8_t>(i * 16);
    to.red[i] = static_cast<std::uint8_t>(255 - i * 16);
  }
  qv::SetParamValue(3189, 0, 4);
});
OPERATION(Monochrome, 3179, nullptr);
OPERATION(BuildPalette, 3178, nullptr);
OPERATION(BuildPaletteSelect, 3178, [] { qv::SetParamValue(3178, 2, 1); });
OPERATION(KeyToAlpha, 3193, [] { qv::SetParamValue(3193, 7, 1); });
OPERATION(InvertAlpha, 3194, nullptr);
OPERATION(HardenAlpha, 3195, [] { qv::SetParamValue(3195, 1, 50); });

// Contrast as Immediate Painting runs it: mask built, undo copy taken.
void BM_ContrastFull(benchmark::State& state) {
  Setup(false, 3);
  for (auto _ : state) benchmark::DoNotOptimize(qv::Apply(3181, 0));
  SetRate(state);
  qv::ResetProgram();
}
BENCHMARK(BM_ContrastFull)->Unit(benchmark::kMillisecond);

// The drivers alone with a worker that does next to nothing.
void Touch(std::uint8_t* p, int) { p[0] ^= 1; }
std::uint32_t Same(std::uint32_t v) { return v ^ 1u; }
void TouchAt(std::uint8_t* p, int, int, int) { p[1] ^= 1; }
int WholeImage(std::uint8_t* pixels, std::uint8_t*) {
  pixels[0] ^= 1;
  return 0;
}

void BM_Driver(benchmark::State& state) {
  const auto kind = static_cast<qv::ApplyKind>(state.range(0));
  qv::ImageRecord* image = Setup(true, static_cast<int>(state.range(2)));
  qv::TheProgram().settings.threads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    qv::ApplyContext& c = qv::Ctx();
    c = qv::ApplyContext{};
    c.image = image;
    c.op = 3181;
    c.x1 = kSide - 1;
    c.y1 = kSide - 1;
    c.routines.pointWorker = Touch;
    c.routines.valueWorker = Same;
    c.routines.pixelWorker = TouchAt;
    c.routines.imageWorker = WholeImage;
    benchmark::DoNotOptimize(qv::RunDriver(kind));
  }
  state.SetLabel(std::string(qv::ApplyKindName(kind)));
  SetRate(state);
  qv::ResetProgram();
}
// Every kind with one thread and with every core, keeping one undo level
// (the copy the desktop program takes) and keeping none (the command line).
BENCHMARK(BM_Driver)
    ->ArgNames({"kind", "threads", "undo"})
    ->ArgsProduct({benchmark::CreateDenseRange(0, 6, 1), {1, 0}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The memory's own limit, for setting the drivers against: a bare in-place
// table look-up over a 4-megapixel RGBA plane (no mask, no driver, no
// undo), split into as many row bands as threads. What two threads gain
// here is the most any driver can gain.
void BM_BareLookup(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  std::vector<std::uint8_t> plane(std::size_t{kSide} * kSide * 4);
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<std::uint8_t>(i * 7);
  std::uint8_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<std::uint8_t>(255 - i);
  auto band = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; i += 4) {
      plane[i] = table[plane[i]];
      plane[i + 1] = table[plane[i + 1]];
      plane[i + 2] = table[plane[i + 2]];
    }
  };
  for (auto _ : state) {
    std::vector<std::thread> workers;
    const std::size_t step = plane.size() / static_cast<std::size_t>(threads) / 4 * 4;
    for (int t = 1; t < threads; ++t)
      workers.emplace_back(band, step * static_cast<std::size_t>(t),
                           t + 1 == threads ? plane.size() : step * static_cast<std::size_t>(t + 1));
    band(0, threads == 1 ? plane.size() : step);
    for (auto& w : workers) w.join();
    benchmark::DoNotOptimize(plane.data());
  }
  SetRate(state);
}
BENCHMARK(BM_BareLookup)->ArgName("threads")->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
