// Lighting and Plasma operations, one thread, on a 4-megapixel picture:
// the whole image, or (Aura, Lightning) around a centred ellipse of half
// sizes 512, counted by its box. Lightning reports its stamped pixels too.
#include "effect_bench.h"
#include "ops/glass_flame_ops.h"
#include "ops/lightning_op.h"

namespace {

constexpr double kWhole = double(bench::kSide) * bench::kSide;
constexpr double kAuraBox = (1024.0 + 2 * 289) * (1024.0 + 2 * 289);  // widened by the halo

EFFECT(Asterize, 3111, false, kWhole, nullptr);
EFFECT(Annular, 3112, false, kWhole, nullptr);
EFFECT(Shine, 3114, false, kWhole, nullptr);
EFFECT(Aura, 3212, true, kAuraBox, nullptr);
// Lightning's work is its stamps: the rate of stamped pixels beside the box's.
void BM_Lightning(benchmark::State& state) {
  bench::Setup(true);
  bench::ApplyEachIteration(state, 3211);
  bench::SetRate(state, 1025.0 * 1025.0);
  const double stamped = static_cast<double>(qv::LightningStampedPixels());
  state.counters["stamped"] = stamped;
  state.counters["Mstamped/s"] = benchmark::Counter(stamped / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
  qv::ResetProgram();
}
BENCHMARK(BM_Lightning)->Unit(benchmark::kMillisecond);
EFFECT(Refract, 3113, false, kWhole, nullptr);
EFFECT(Fire, 3213, false, kWhole, nullptr);
// Flames to the left: the steps from the edge are walked column by column
// over the whole box first.
EFFECT(FireSideways, 3213, false, kWhole, [] { qv::SetParamValue(qv::kFireOp, 1, 90); });
// Fire's narrower ways, for comparison with the widest (BM_Fire).
void BM_FireByPath(benchmark::State& state) {
  const auto path = static_cast<qv::FirePath>(state.range(0));
  if (!qv::FirePathAvailable(path)) return state.SkipWithError("not on this processor");
  qv::UseFirePath(path);
  bench::Run(state, qv::kFireOp, false, kWhole, nullptr);
  qv::UseFirePath(qv::FirePath::kBest);
}
BENCHMARK(BM_FireByPath)
    ->Arg(static_cast<int>(qv::FirePath::kPlain))
    ->Arg(static_cast<int>(qv::FirePath::kAvx2))
    ->Arg(static_cast<int>(qv::FirePath::kAvx512))
    ->Arg(static_cast<int>(qv::FirePath::kEveryPixel))
    ->Unit(benchmark::kMillisecond);

}  // namespace
