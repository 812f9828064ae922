// Film strip files and Place image: writing and reading a film of 30 frames
// of 640 x 480, and fitting a 4-megapixel picture into a frame of that size
// (bench/film_vs_imagemagick.sh puts it beside ImageMagick's -sample).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline.h"
#include "app/program.h"
#include "store/image_record.h"

namespace {

constexpr int kFrames = 30;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

qv::ImageRecord* Pattern(int w, int h) {
  qv::ImageRecord* image = qv::CreateImage(w, h, "bnch");
  qv::LockImage(image);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(x ^ y);
      p[1] = static_cast<std::uint8_t>(x + 3 * y);
      p[2] = static_cast<std::uint8_t>(x * y);
    }
  qv::UnlockImage(image);
  return image;
}

// A program with a 30-frame film of 640 x 480 frames, every slot filled.
void FillFilm() {
  qv::ResetProgram();
  qv::InitImageTable();
  qv::Prefs().filmWidth = kWidth;
  qv::Prefs().filmHeight = kHeight;
  qv::ChangeFrameCount(kFrames);
  qv::ImageRecord* image = Pattern(kWidth, kHeight);
  for (int i = 0; i < kFrames; ++i) qv::PlaceImage(*image, i);
  qv::FreeImage(image);
}

std::filesystem::path FilmPath() {
  return std::filesystem::temp_directory_path() / ("qv-film-bench-" + std::to_string(::getpid()) + ".flm");
}

void BM_WriteFilm30Frames640x480(benchmark::State& state) {
  FillFilm();
  const auto path = FilmPath();
  for (auto _ : state)
    if (qv::SaveFilmStrip(path) != 0) state.SkipWithError("save failed");
  state.SetBytesProcessed(state.iterations() * (16 + std::int64_t{kFrames} * 3 * kWidth * kHeight));
  std::filesystem::remove(path);
  qv::ResetProgram();
}
BENCHMARK(BM_WriteFilm30Frames640x480)->Unit(benchmark::kMillisecond);

void BM_ReadFilm30Frames640x480(benchmark::State& state) {
  FillFilm();
  const auto path = FilmPath();
  if (qv::SaveFilmStrip(path) != 0) state.SkipWithError("save failed");
  for (auto _ : state)
    if (qv::LoadFilmStrip(path) != 0) state.SkipWithError("load failed");
  state.SetBytesProcessed(state.iterations() * (16 + std::int64_t{kFrames} * 3 * kWidth * kHeight));
  std::filesystem::remove(path);
  qv::ResetProgram();
}
BENCHMARK(BM_ReadFilm30Frames640x480)->Unit(benchmark::kMillisecond);

// 2309 x 1732 (4 megapixels, 4:3) fitted into one 640 x 480 frame.
void BM_PlaceImage4Megapixels(benchmark::State& state) {
  qv::ResetProgram();
  qv::InitImageTable();
  qv::Prefs().filmWidth = kWidth;
  qv::Prefs().filmHeight = kHeight;
  qv::ImageRecord* image = Pattern(2309, 1732);
  for (auto _ : state)
    if (qv::PlaceImage(*image, 0) != 0) state.SkipWithError("place failed");
  state.counters["frame pixels"] = double(kWidth) * kHeight;
  qv::FreeImage(image);
  qv::ResetProgram();
}
BENCHMARK(BM_PlaceImage4Megapixels)->Unit(benchmark::kMillisecond);

}  // namespace
