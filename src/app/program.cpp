#include "app/program.h"

#include "anim/timeline.h"

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
  apply.hooks.areaToTimeLine = &AreaToCursorCell;
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
FrameState& Frame() { return TheProgram().frame; }

void ResetProgram() {
  // Close the log first so that releasing the places writes nothing.
  TheProgram().log.file.reset();
  Slot() = std::make_unique<Program>();
}

}  // namespace qv
