// FLIC and AVI files of 30 generated frames of 640 x 480, on one thread,
// beside ffmpeg doing the same work in the same run (a whole ffmpeg process,
// start-up included, as a user would run it). Compare BM_Avi* with
// BM_Ffmpeg* of the same name.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/avi.h"
#include "anim/film_strip.h"
#include "anim/flic.h"
#include "anim/timeline.h"
#include "app/program.h"
#include "app/recording_host.h"
#include "store/image_record.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFrames = 30;
constexpr int kWidth = 640;
constexpr int kHeight = 480;

// Frame k of a moving picture: bands that slide, so that deltas have work.
qv::ImageRecord* Frame(int k) {
  qv::ImageRecord* image = qv::CreateImage(kWidth, kHeight, "bnch");
  qv::LockImage(image);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      p[0] = static_cast<std::uint8_t>(((x + 4 * k) / 16) * 40);
      p[1] = static_cast<std::uint8_t>((y / 24) * 30);
      p[2] = static_cast<std::uint8_t>(((x + y + 2 * k) / 32) * 50);
      p[3] = 255;
    }
  qv::UnlockImage(image);
  return image;
}

struct Frames {
  Frames() {
    qv::ResetProgram();
    qv::InitImageTable();
    for (int k = 0; k < kFrames; ++k) images[k] = Frame(k);
  }
  ~Frames() { qv::ResetProgram(); }
  qv::ImageRecord* images[kFrames];
};

fs::path Temp(const char* name) {
  return fs::temp_directory_path() / ("qv-anim-bench-" + std::to_string(::getpid()) + "-" + name);
}

bool HaveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

void WriteAvi(const Frames& f, const fs::path& path) {
  qv::ArmAvi(path.string());
  for (qv::ImageRecord* image : f.images) qv::AddAviFrame(image, path.string(), 24);
  qv::CloseAvi();
}

void BM_AviWrite24Bit30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("w.avi");
  for (auto _ : state) WriteAvi(f, path);
  fs::remove(path);
}
BENCHMARK(BM_AviWrite24Bit30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every frame read as an image, one call each, as the TimeLine's sources do.
void BM_AviReadEveryFrame30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("r.avi");
  WriteAvi(f, path);
  struct Chooser : qv::RecordingHost {
    long frame = 0;
    long ChooseVideoFrame(const qv::VideoFrameRequest&) override { return frame; }
  };
  Chooser& host = qv::InstallHost<Chooser>();
  for (auto _ : state)
    for (int k = 0; k < kFrames; ++k) {
      host.frame = k;
      qv::ImageRecord* image = qv::ReadAviFrameFile(path.string());
      if (!image) state.SkipWithError("read failed");
      qv::FreeImage(image);
    }
  fs::remove(path);
}
BENCHMARK(BM_AviReadEveryFrame30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

void WriteFlic(const Frames& f, const fs::path& path) {
  for (int k = 0; k < kFrames; ++k) qv::AppendFlicFrame(f.images[k], path.string(), k, k == kFrames - 1);
  qv::EndFlicRun();
}

void BM_FlcWrite30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("w.flc");
  for (auto _ : state) WriteFlic(f, path);
  fs::remove(path);
}
BENCHMARK(BM_FlcWrite30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every frame decoded in one pass, into the film strip.
void BM_FlcReadAllFrames30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("r.flc");
  WriteFlic(f, path);
  qv::ChangeFrameCount(kFrames);
  for (auto _ : state)
    if (qv::LoadFlicIntoFilm(path.string()) != 0) state.SkipWithError("read failed");
  fs::remove(path);
}
BENCHMARK(BM_FlcReadAllFrames30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- the peer ----

void Ffmpeg(benchmark::State& state, const std::string& args) {
  if (!HaveFfmpeg()) {
    state.SkipWithError("ffmpeg absent");
    return;
  }
  const std::string command = "ffmpeg -v error -nostdin -y -threads 1 " + args + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
}

void BM_FfmpegAviWrite24Bit30Frames(benchmark::State& state) {
  Frames f;
  const fs::path raw = Temp("in.bgr");
  {
    std::ofstream out(raw, std::ios::binary);
    for (qv::ImageRecord* image : f.images) {
      qv::LockImage(image);
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          const std::uint8_t* p = qv::PixelAt(image, x, y);
          const char bgr[3] = {static_cast<char>(p[2]), static_cast<char>(p[1]), static_cast<char>(p[0])};
          out.write(bgr, 3);
        }
      qv::UnlockImage(image);
    }
  }
  const fs::path out = Temp("ff.avi");
  Ffmpeg(state, "-f rawvideo -pix_fmt bgr24 -s 640x480 -r 25 -i " + raw.string() +
                    " -c:v rawvideo -pix_fmt bgr24 " + out.string());
  fs::remove(raw);
  fs::remove(out);
}
BENCHMARK(BM_FfmpegAviWrite24Bit30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegAviReadEveryFrame30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("ffr.avi");
  WriteAvi(f, path);
  Ffmpeg(state, "-i " + path.string() + " -f null -");
  fs::remove(path);
}
BENCHMARK(BM_FfmpegAviReadEveryFrame30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FfmpegFlcReadAllFrames30Frames(benchmark::State& state) {
  Frames f;
  const fs::path path = Temp("ffr.flc");
  WriteFlic(f, path);
  Ffmpeg(state, "-i " + path.string() + " -f null -");
  fs::remove(path);
}
BENCHMARK(BM_FfmpegFlcReadAllFrames30Frames)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
