// Whole reads and writes of a 4-megapixel generated picture (2048 x 2048),
// one thread, through the file system: GIF (the colour reduction included),
// Targa with runs, PCX at 24 bits, PNG at zlib level 6 through its loader
// library. bench/still_formats_peers.sh sets the peers against the same
// files (QV_BENCH_KEEP=1 leaves them, with the picture as a PPM).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/program.h"
#include "effect_bench.h"
#include "formats/byte_io.h"
#include "formats/gif.h"
#include "formats/image_files.h"
#include "formats/pcx.h"
#include "formats/save_choices.h"
#include "formats/targa.h"
#include "store/image_record.h"

namespace {

using bench::kSide;

// Smooth ramps with a fine pattern, every colour one of the default
// palette's, so that the 256-colour reduction keeps the picture.
void Paint(int x, int y, std::uint8_t* p) {
  const int r = x * 7 / kSide, g = y * 8 / kSide, b = ((x ^ y) >> 3) & 3;
  p[0] = static_cast<std::uint8_t>(r * 255 / 6);
  p[1] = static_cast<std::uint8_t>(g * 255 / 7);
  p[2] = static_cast<std::uint8_t>(b * 85);
}

qv::ImageRecord* Picture() { return bench::PaintedImage(Paint); }

bool Keep() { return std::getenv("QV_BENCH_KEEP") != nullptr; }

void Finish(const char* file) {
  if (!Keep()) std::remove(file);
  qv::ResetProgram();
}

void SetUp() {
  qv::ResetProgram();
  qv::TheProgram().save.chopMem = 1;
  if (Keep()) {
    // The picture for the peers' writers.
    qv::ImageRecord* image = Picture();
    qv::LockImage(image);
    qv::ByteWriter w;
    std::string head = "P6\n" + std::to_string(kSide) + " " + std::to_string(kSide) + "\n255\n";
    w.Bytes(head.data(), head.size());
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) w.Bytes(qv::PixelAt(image, x, y), 3);
    qv::WriteFileSafely("still_bench.ppm", w.Data());
    qv::UnlockImage(image);
    qv::FreeImage(image);
  }
}

void Write(benchmark::State& state, int type, int entry, int compress, const char* file) {
  SetUp();
  qv::ImageRecord* image = Picture();
  for (auto _ : state)
    if (qv::SaveImageFile(image, file, type, entry, compress, 75) != 0) state.SkipWithError("not written");
  state.SetItemsProcessed(state.iterations() * std::int64_t{kSide} * kSide);
  qv::FreeImage(image);
  Finish(file);
}

void Read(benchmark::State& state, int type, int entry, int compress, const char* file) {
  SetUp();
  qv::ImageRecord* image = Picture();
  qv::SaveImageFile(image, file, type, entry, compress, 75);
  qv::FreeImage(image);
  for (auto _ : state) {
    std::string path = file;
    qv::ImageRecord* read = qv::LoadImageFile(nullptr, path);
    if (!read) state.SkipWithError("not read");
    qv::FreeImage(read);
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{kSide} * kSide);
  Finish(file);
}

void BM_GifWrite(benchmark::State& s) { Write(s, qv::kSaveGif, qv::kDepth8, 1, "still_bench.gif"); }
void BM_GifRead(benchmark::State& s) { Read(s, qv::kSaveGif, qv::kDepth8, 1, "still_bench.gif"); }
void BM_TargaRleWrite24(benchmark::State& s) { Write(s, qv::kSaveTarga, qv::kDepthAlpha, 1, "still_bench.tga"); }
void BM_TargaRleRead24(benchmark::State& s) { Read(s, qv::kSaveTarga, qv::kDepthAlpha, 1, "still_bench.tga"); }
void BM_PcxWrite24(benchmark::State& s) { Write(s, qv::kSavePcx, qv::kDepth24, 1, "still_bench.pcx"); }
void BM_PcxRead24(benchmark::State& s) { Read(s, qv::kSavePcx, qv::kDepth24, 1, "still_bench.pcx"); }
void BM_PngWrite(benchmark::State& s) { Write(s, qv::kSavePng, qv::kDepth24, 1, "still_bench.png"); }
void BM_PngRead(benchmark::State& s) { Read(s, qv::kSavePng, qv::kDepth24, 1, "still_bench.png"); }

BENCHMARK(BM_GifWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TargaRleWrite24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TargaRleRead24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxWrite24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcxRead24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngRead)->Unit(benchmark::kMillisecond);

}  // namespace
