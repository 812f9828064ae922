// All mutable program-wide state, one plain struct per subsystem, owned by a
// single Program. Each subsystem reaches its own state through the accessor
// in its own header; only the top of the program (app, cli, the windows, the
// tests) sees the whole. Tests call ResetProgram() to start clean.
#pragma once

#include <memory>
#include <utility>

#include "anim/anim_state.h"
#include "app/frame.h"
#include "app/headless_host.h"
#include "app/settings.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "base/crt_random.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "capture/capture.h"
#include "display/colour_reduce.h"
#include "display/render_state.h"
#include "display/views.h"
#include "extlib/palette_library.h"
#include "formats/formats_state.h"
#include "ops/apply_state.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv {

struct Program {
  Program();

  std::unique_ptr<Host> host = std::make_unique<HeadlessHost>();
  LogState log;
  ProgressState progress;
  MemoryPlaces memory;
  ImageStore images;
  SaveChoices save;
  FileLoadState files;
  CrtRandom random;
  DisplayState display;
  OpsState ops;
  ColourReduceState reduce;
  AreaState area;
  AreaFilesState areaFiles;
  UndoState undo;
  FrameState frame;
  Settings settings;
  PaletteLibraryState palettes;
  ApplyState apply;
  ViewsState views;
  AnimState anim;
  CaptureState capture;
};

Program& TheProgram();

// Drops all state: the log is closed, every memory place is released without
// a report, and the headless host is installed again.
void ResetProgram();

// Installs a host and returns it; the Program owns it.
template <class H, class... Args>
H& InstallHost(Args&&... args) {
  auto host = std::make_unique<H>(std::forward<Args>(args)...);
  H& ref = *host;
  TheProgram().host = std::move(host);
  return ref;
}

}  // namespace qv
