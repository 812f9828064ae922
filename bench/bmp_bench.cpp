// BMP reading and writing of a 4-megapixel, 24-bit picture (2048 x 2048),
// in memory and through the file system, to set against the peers' tools
// (bmptopnm, ppmtobmp, ImageMagick) on the same file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "app/program.h"
#include "effect_bench.h"
#include "formats/bmp.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace {

using bench::kSide;

void Paint(int x, int y, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = static_cast<std::uint8_t>(x ^ y);
}

qv::ImageRecord* Picture() { return bench::PaintedImage(Paint); }

void BM_BmpEncode24(benchmark::State& state) {
  qv::ResetProgram();
  qv::ImageRecord* image = Picture();
  for (auto _ : state) benchmark::DoNotOptimize(qv::EncodeBmp(image, 24));
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSide} * kSide * 3);
  qv::ResetProgram();
}
BENCHMARK(BM_BmpEncode24)->Unit(benchmark::kMillisecond);

void BM_BmpWriteFile24(benchmark::State& state) {
  qv::ResetProgram();
  qv::ImageRecord* image = Picture();
  for (auto _ : state) benchmark::DoNotOptimize(qv::WriteBmp(image, "bmp_bench.bmp", 24));
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSide} * kSide * 3);
  std::remove("bmp_bench.bmp");
  qv::ResetProgram();
}
BENCHMARK(BM_BmpWriteFile24)->Unit(benchmark::kMillisecond);

void BM_BmpDecode24(benchmark::State& state) {
  qv::ResetProgram();
  qv::ImageRecord* image = Picture();
  std::vector<std::uint8_t> file = qv::EncodeBmp(image, 24);
  for (auto _ : state) qv::FreeImage(qv::ReadBmp(file));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
  qv::ResetProgram();
}
BENCHMARK(BM_BmpDecode24)->Unit(benchmark::kMillisecond);

void BM_BmpReadFile24(benchmark::State& state) {
  qv::ResetProgram();
  qv::ImageRecord* image = Picture();
  qv::WriteBmp(image, "bmp_bench_in.bmp", 24);
  for (auto _ : state) qv::FreeImage(qv::ReadBmpFile("bmp_bench_in.bmp"));
  state.SetBytesProcessed(state.iterations() * std::int64_t{kSide} * kSide * 3);
  std::remove("bmp_bench_in.bmp");
  qv::ResetProgram();
}
BENCHMARK(BM_BmpReadFile24)->Unit(benchmark::kMillisecond);

}  // namespace
