#include "app/program.h"

#include "anim/timeline.h"
#include "anim/zelvane_link.h"

namespace qv {
namespace {

std::unique_ptr<Program>& Slot() {
  static std::unique_ptr<Program> program = std::make_unique<Program>();
  return program;
}

}  // namespace

// The one place that knows who listens to whom.
Program::Program() {
  images.removalListeners = {&DropViewsOf, &ForgetAreaImage};
  area.keyColour = {&KeyInColour, &SetKeyInColour};
  apply.hooks.updateFilmStrip = [](ImageRecord* image) {
    if (image) UpdateFilmAfterOperation(*image);
  };
  files.animationFiles.readFlic = &ReadFlicFrameFile;
  files.animationFiles.readAvi = &ReadAviFrameFile;
  // A still saved as an animation is a file of one frame.
  files.animationFiles.saveFlic = [](ImageRecord* image, const std::string& path, int) {
    const int r = AppendFlicFrame(image, path, 0, false);
    EndFlicRun();
    return r;
  };
  files.animationFiles.saveAvi = [](ImageRecord* image, const std::string& path, int bits) {
    ArmAvi(path);
    if (AddAviFrame(image, path, bits) != 0) {
      (void)CloseAvi();
      return 1;
    }
    return CloseAvi();
  };
  apply.hooks.areaToTimeLine = &AreaToCursorCell;
  apply.hooks.linkPrepare = &PrepareZelvane;
  apply.hooks.linkWorker = &ZelvaneWorker;
}

Program& TheProgram() { return *Slot(); }

Host& TheHost() { return *TheProgram().host; }

// Each subsystem's state, reached through its own header.
LogState& TheLog() { return TheProgram().log; }
ProgressState& ProgressStatus() { return TheProgram().progress; }
CrtRandom& RandomState() { return TheProgram().random; }
Settings& Prefs() { return TheProgram().settings; }
SaveChoices& SavePrefs() { return TheProgram().save; }
MemoryPlaces& Memory() { return TheProgram().memory; }
ImageStore& Images() { return TheProgram().images; }
UndoState& UndoStack() { return TheProgram().undo; }
PaletteLibraryState& PaletteLibrary() { return TheProgram().palettes; }
DisplayState& Display() { return TheProgram().display; }
ViewsState& Views() { return TheProgram().views; }
ColourReduceState& ReduceState() { return TheProgram().reduce; }
FileLoadState& FileLoads() { return TheProgram().files; }
AreaState& Area() { return TheProgram().area; }
AreaFilesState& AreaFiles() { return TheProgram().areaFiles; }
OpsState& Ops() { return TheProgram().ops; }
ApplyState& Pipeline() { return TheProgram().apply; }
AnimState& Anim() { return TheProgram().anim; }
FilmStrip& Film() { return TheProgram().anim.film; }
FrameState& Frame() { return TheProgram().frame; }
CaptureState& ScreenCapture() { return TheProgram().capture; }

void ResetProgram() {
  // Close the log first so that releasing the places writes nothing.
  TheProgram().log.file.reset();
  Slot() = std::make_unique<Program>();
}

}  // namespace qv
