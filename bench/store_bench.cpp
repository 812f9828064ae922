// Costs of the image store: place look-ups are linear scans, so measure them
// with a few hundred places in use; and the whole-picture work of creating
// and cloning images.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/program.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace {

void BM_LockUnlockWithPlacesInUse(benchmark::State& state) {
  qv::ResetProgram();
  std::vector<qv::PlaceHandle> handles;
  for (int i = 0; i < state.range(0); ++i) handles.push_back(qv::AllocVirtual(64, "bnch"));
  qv::PlaceHandle last = handles.back();
  for (auto _ : state) {
    benchmark::DoNotOptimize(qv::LockVirtual(last));
    qv::UnlockVirtual(last);
  }
  qv::ResetProgram();
}
BENCHMARK(BM_LockUnlockWithPlacesInUse)->Arg(10)->Arg(300)->Arg(1000);

void BM_AllocFreeReal(benchmark::State& state) {
  qv::ResetProgram();
  for (int i = 0; i < 300; ++i) qv::AllocReal(16, "fill");
  for (auto _ : state) {
    void* p = qv::AllocReal(state.range(0), "bnch");
    benchmark::DoNotOptimize(p);
    qv::FreeReal(p, "bnch");
  }
  qv::ResetProgram();
}
BENCHMARK(BM_AllocFreeReal)->Arg(64)->Arg(1 << 20);

void BM_CreateImage(benchmark::State& state) {
  qv::ResetProgram();
  int side = static_cast<int>(state.range(0));
  for (auto _ : state) {
    qv::ImageRecord* image = qv::CreateImage(side, side, "bnch");
    benchmark::DoNotOptimize(image);
    qv::FreeImage(image);
  }
  state.SetBytesProcessed(state.iterations() * side * side * 4);
  qv::ResetProgram();
}
BENCHMARK(BM_CreateImage)->Arg(256)->Arg(2048);

void BM_CloneImage(benchmark::State& state) {
  qv::ResetProgram();
  int side = static_cast<int>(state.range(0));
  qv::ImageRecord* source = qv::CreateImage(side, side, "bnch");
  for (auto _ : state) {
    qv::ImageRecord* clone = qv::CloneImage(source, false);
    benchmark::DoNotOptimize(clone);
    qv::FreeImage(clone);
  }
  state.SetBytesProcessed(state.iterations() * side * side * 4);
  qv::ResetProgram();
}
BENCHMARK(BM_CloneImage)->Arg(256)->Arg(2048);

}  // namespace
