// Run Sheet Sequence: ten frames of a 4-megapixel background with an actor
// merged over it, each written as a 24-bit bitmap
// (bench/sheet_vs_imagemagick.sh puts it beside ImageMagick's -composite of
// the same two files, once per frame).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/sequence.h"
#include "app/program.h"
#include "app/recording_host.h"
#include "formats/save_choices.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace {

constexpr int kFrames = 10;
constexpr int kWidth = 2309;
constexpr int kHeight = 1732;

// The background opaque, the actor a disc of colour on clear alpha.
void WritePicture(const std::filesystem::path& path, bool actor) {
  qv::ImageRecord* image = qv::CreateLockedImage(kWidth, kHeight, "bnch");
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      std::uint8_t* p = qv::PixelAt(image, x, y);
      const int dx = x - kWidth / 2, dy = y - kHeight / 2;
      const bool inside = dx * dx + dy * dy < (kHeight / 3) * (kHeight / 3);
      p[0] = static_cast<std::uint8_t>(actor ? 250 : x ^ y);
      p[1] = static_cast<std::uint8_t>(actor ? 200 : x + 3 * y);
      p[2] = static_cast<std::uint8_t>(actor ? 20 : x * y);
      p[3] = static_cast<std::uint8_t>(!actor || inside ? 255 : 0);
    }
  image->hasAlpha = actor;
  qv::UnlockImage(image);
  qv::SaveImageFile(image, path.string(), actor ? qv::kSaveTarga : qv::kSaveBitmap,
                    actor ? qv::kDepthAlpha : qv::kDepth24, 0, 75);
  qv::FreeImage(image);
}

void BM_SheetRun10Frames4MP(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() / ("qv-sheet-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  qv::ResetProgram();
  qv::InstallHost<qv::RecordingHost>();
  qv::InitImageTable();
  WritePicture(dir / "bg.bmp", false);
  WritePicture(dir / "actor.tga", true);
  qv::SetUndoLevels(qv::TheProgram().undo.levels, 0);
  qv::ChangeFrameCount(kFrames);
  for (int f = 0; f < kFrames; ++f) {
    qv::PutSheetRecord(0, f, qv::SheetFileRecord((dir / "bg.bmp").string()));
    qv::PutSheetRecord(1, f, qv::SheetFileRecord((dir / "actor.tga").string()));
  }
  qv::GenerateRequest r;
  r.begin = 1;
  r.finish = kFrames;
  r.save = true;
  r.replace = true;
  r.outPath = (dir / "f").string();
  r.extension = "bmp";
  r.type = qv::kSaveBitmap;
  r.depthEntry = qv::kDepth24;
  for (auto _ : state)
    if (qv::RunSheet(r) != 0) state.SkipWithError("the run failed");
  state.SetItemsProcessed(state.iterations() * kFrames);
  qv::ResetProgram();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SheetRun10Frames4MP)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
