// ILBM against the peers on a 4-megapixel generated picture (2048 x 2048),
// whole files, one thread: writing 24 planes (the only kind the program
// writes) against `ppmtoilbm -24force`, and reading an 8-plane palette
// picture against `ilbmtoppm` and ffmpeg. The peers run as processes on the
// same files in the same run. The times are CPU seconds (user + system; of
// the peer processes for the peers), so that a busy machine does not blur
// the ratios; divide them for the ratios. Run from a scratch folder: it
// writes its files there.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/program.h"
#include "formats/iff.h"
#include "store/image_record.h"

namespace {

constexpr int kSide = 2048;

// A picture of smooth gradients and a fine pattern; with palette, one in
// at most 256 colours (the first 224 entries of the default palette).
qv::ImageRecord* Picture(bool palette) {
  qv::ImageRecord* image = qv::CreateImage(kSide, kSide, "bnch");
  qv::LockImage(image);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      if (palette) {
        int i = ((x / 16) * 7 + (y / 16) * 3 + ((x ^ y) & 3)) % 224;
        p[0] = image->red[i], p[1] = image->green[i], p[2] = image->blue[i];
      } else {
        p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = static_cast<std::uint8_t>(x ^ y);
      }
    }
  qv::UnlockImage(image);
  return image;
}

void WritePpm(qv::ImageRecord* image, const char* path) {
  std::FILE* f = std::fopen(path, "wb");
  std::fprintf(f, "P6\n%d %d\n255\n", image->width, image->height);
  qv::LockImage(image);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) std::fwrite(qv::PixelAt(image, x, y), 1, 3, f);
  qv::UnlockImage(image);
  std::fclose(f);
}

double ProcessSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  auto seconds = [](const timeval& v) { return double(v.tv_sec) + double(v.tv_usec) * 1e-6; };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// Runs the peer's command each iteration, timed by the CPU its processes
// used.
void Run(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    double before = ChildSeconds();
    if (std::system((command + " 2>/dev/null").c_str()) != 0) state.SkipWithError(command.c_str());
    state.SetIterationTime(ChildSeconds() - before);
  }
}

// Times our own work of each iteration by this process's CPU.
template <class Work>
void Time(benchmark::State& state, Work work) {
  for (auto _ : state) {
    double before = ProcessSeconds();
    work();
    state.SetIterationTime(ProcessSeconds() - before);
  }
}

struct Files {
  Files() {
    qv::ResetProgram();
    qv::ImageRecord* full = Picture(false);
    WritePpm(full, "ilbm_bench24.ppm");
    qv::FreeImage(full);
    qv::ImageRecord* indexed = Picture(true);
    WritePpm(indexed, "ilbm_bench8.ppm");
    qv::FreeImage(indexed);
    if (std::system("ppmtoilbm -maxplanes 8 -normal ilbm_bench8.ppm > ilbm_bench8.iff 2>/dev/null") != 0)
      std::remove("ilbm_bench8.iff");
    qv::ResetProgram();
  }
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

void BM_IlbmWrite24(benchmark::State& state) {
  TheFiles();
  qv::ResetProgram();
  qv::ImageRecord* image = Picture(false);
  Time(state, [&] {
    if (qv::WriteIlbm(image, "ilbm_bench_ours.iff", false, true) != 0) state.SkipWithError("write failed");
  });
  qv::ResetProgram();
}
BENCHMARK(BM_IlbmWrite24)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_Peer_Ppmtoilbm24force(benchmark::State& state) {
  TheFiles();
  Run(state, "ppmtoilbm -24force ilbm_bench24.ppm > ilbm_bench_peer.iff");
}
BENCHMARK(BM_Peer_Ppmtoilbm24force)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_IlbmRead8Planes(benchmark::State& state) {
  TheFiles();
  qv::ResetProgram();
  Time(state, [&] {
    qv::ImageRecord* image = qv::ReadIffFile("ilbm_bench8.iff");
    if (!image || image->bitDepth != 8) state.SkipWithError("not an 8-plane picture");
    qv::FreeImage(image);
  });
  qv::ResetProgram();
}
BENCHMARK(BM_IlbmRead8Planes)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_Peer_Ilbmtoppm8Planes(benchmark::State& state) {
  TheFiles();
  Run(state, "ilbmtoppm ilbm_bench8.iff > /dev/null");
}
BENCHMARK(BM_Peer_Ilbmtoppm8Planes)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_Peer_Ffmpeg8Planes(benchmark::State& state) {
  TheFiles();
  Run(state, "ffmpeg -v error -threads 1 -i ilbm_bench8.iff -f null -");
}
BENCHMARK(BM_Peer_Ffmpeg8Planes)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace
