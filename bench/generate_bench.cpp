// Generation's own cost: 30 frames of 640x480, a colour operation and a
// warp each driven by a Trend, placed into the film strip and written as
// bitmaps, beside the same 60
// applies on their own. The difference over 30 is what generation adds to
// a frame (level walk, copies that let every frame start afresh, the film
// step, naming, the safe save); the target is under 5 ms a frame.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "anim/anim_state.h"
#include "anim/sequence.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "formats/save_choices.h"
#include "ops/apply.h"
#include "ops/op_settings.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/sample_picture.h"
#include "store/undo.h"

namespace {

namespace fs = std::filesystem;
constexpr int kFrames = 30;
constexpr qv::OpId kBrightness = 3182;
constexpr qv::OpId kSwirl = 3133;

std::string OpRun(int level, const std::string& op, const std::string& vars) {
  std::string text = "OP L:" + std::to_string(level) + " F:1 \"" + op + "\"\n- Interpolate:1\n" + vars;
  for (int f = 2; f <= kFrames; ++f)
    text += "OP L:" + std::to_string(level) + " F:" + std::to_string(f) + (f == kFrames ? " ==\n" : " =\n");
  return text;
}

const std::string& TimeLineText() {
  static const std::string text =
      "TIMELINE - bench.tml\nFrames:" + std::to_string(kFrames) + "\n" +
      OpRun(1, "Brightness", "- Var:\"Amount\",0\n- Trend Var:\"Amount\" Splined:0 1,0 30,80\n") +
      OpRun(2, "Swirl", "- Var:\"Angle\",0\n- Trend Var:\"Angle\" Splined:1 1,0 15,200 30,-90\n");
  return text;
}

qv::ImageRecord* Start(const fs::path& dir) {
  qv::ResetProgram();
  qv::InitImageTable();
  qv::SetUndoLevels(qv::UndoStack().levels, 0);
  qv::SetWorkMethod(qv::kDrawFirst);  // no selection: the whole image
  fs::remove_all(dir);
  fs::create_directories(dir);
  qv::ImageRecord* image = qv::MakeSamplePicture(640, 480);
  qv::AddImage(image, false);
  return image;
}

void BM_Generate30FramesToBitmaps(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "qv-generate-bench";
  qv::ImageRecord* image = Start(dir);
  if (qv::ReadTimeLineText(TimeLineText()) != 0) state.SkipWithError("TimeLine");
  qv::GenerateRequest r;
  r.begin = 1;
  r.finish = kFrames;
  r.save = true;
  r.outPath = (dir / "f").string();
  r.extension = "bmp";
  r.type = qv::kSaveBitmap;
  r.depthEntry = qv::kDepth24;
  r.replace = true;
  r.film = true;  // each frame also fitted into the film strip
  r.image = image;
  for (auto _ : state)
    if (qv::Generate(r) != 0) state.SkipWithError("generate failed");
  state.counters["ms/frame"] =
      benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  qv::ResetProgram();
  fs::remove_all(dir);
}
BENCHMARK(BM_Generate30FramesToBitmaps)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 60 applies alone, with the values the Trends give, on one image.
void BM_Applies60Alone(benchmark::State& state) {
  const fs::path dir = fs::temp_directory_path() / "qv-generate-bench-alone";
  qv::ImageRecord* image = Start(dir);
  qv::Pipeline().generating = true;  // as in a run: no messages, no film update
  for (auto _ : state) {
    for (int f = 0; f < kFrames; ++f) {
      qv::Ops().current = kBrightness;
      qv::SetParamValue(kBrightness, 0, 80 * f / (kFrames - 1));
      if (qv::ApplyOperation(kBrightness, image, 0) == 1) state.SkipWithError("brightness");
      qv::Ops().current = kSwirl;
      qv::SetParamValue(kSwirl, 0, f < 15 ? 200 * f / 14 : 200 - 290 * (f - 14) / 15);
      if (qv::ApplyOperation(kSwirl, image, 0) == 1) state.SkipWithError("swirl");
    }
  }
  qv::ResetProgram();
  fs::remove_all(dir);
}
BENCHMARK(BM_Applies60Alone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
